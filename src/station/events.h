// What the exchanges do, told as typed events. The exchange code reports each
// step it takes to the station's consumers (the result log, the journal's
// summary and warning lines, the on-line display, the service status) and
// never looks at what they make of it; no consumer looks at line state before
// and after a step to guess what happened.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace kavelin2 {

// The result of an exchange, with its code in the result log (0 OK, 1 TO,
// 2 ER).
enum class ExchangeResult { kOk = 0, kTimeout = 1, kError = 2 };

// Why an exchange failed.
enum class FailWhy {
  kNone,
  kTimeouts,      // 11 time-outs in a row
  kNaks,          // 11 NAKs in a row
  kRejectedFile,  // an upload whose size disagrees with its header, or not stored
  kDeviceLost,    // detail: the system's word for the loss
  kWriteFailure,  // the line did not take a write
  kNotStored,     // an upload the disk did not take; detail: the system's reason
};

// Why a table entry (or a table) was not sent.
enum class SkipWhy {
  kUnsafeName,
  kMissingFile,
  kUnsendableSize,
  kUnreadable,  // the open failed for another reason: detail the system's words
  kDirectory,   // a directory stands at the name
  kNotRegular,  // a FIFO, a device, a socket: detail says which
  kMisaligned,  // text layout: a record does not end in CR LF where the block size puts it
};

namespace event {

// The first control byte of an exchange was stamped.
struct ExchangeStarted {};
// An upload header was refused (NAK); |name| is printable, trimmed.
struct HeaderRefused {
  std::string name;
};
// An upload header was accepted after all (a header refused earlier in the
// exchange no longer counts against it).
struct HeaderAccepted {
  std::string name;
};
// An upload's end of file was accepted: the file stands under its name.
struct FileReceived {
  std::string name;
  int32_t records = 0;
  int64_t bytes = 0;
};
// A received upload could not be removed after a failed exchange and stays
// on disk as |path|, the upload it held being |upload|.
struct UploadLeftOnDisk {
  std::string path;
  std::string upload;
};
// An upload that could not be appended to |name| was kept as |kept|.
struct AppendKeptAside {
  std::string name;
  std::string kept;
};
// An upload repeating the one whose append the recovery after a restart
// finished (its ACK may have been lost) was kept as |kept|, not appended to
// |name| a second time.
struct RepeatKeptAside {
  std::string name;
  std::string kept;
};
// An acknowledged upload could be neither appended to |target| nor kept
// aside: it stays in |pending| and the line takes no upload until it can.
struct AppendStuck {
  std::string target;
  std::string pending;
};
// The handheld acknowledged the last block of a table entry.
struct EntrySent {
  std::string name;
  int32_t records = 0;
  int64_t bytes = 0;
};
// A table entry the handheld will not get; |detail| the path looked for (may
// be empty), with what stands there or the system's reason when it could not
// be read; for an unsendable size or misaligned records, the size found and
// the block size field.
struct EntrySkipped {
  std::string entry;
  SkipWhy why = SkipWhy::kMissingFile;
  std::string detail;
  int64_t size = -1;
  std::string block_size;
};
// A table entry is sent without the last |tail| bytes of its file |path|
// (|size| bytes, records of |block_size|): they do not make a whole record.
struct EntryTailNotSent {
  std::string entry;
  std::string path;
  int64_t size = 0;
  int32_t block_size = 0;
  int64_t tail = 0;
};
// The handheld's table file is there but cannot be read as one (|why|:
// unreadable, a directory, not a regular file; |detail| the system's words or
// what it is): the handheld is told that nothing comes.
struct TableNotRead {
  std::string table_path;
  SkipWhy why = SkipWhy::kUnreadable;
  std::string detail;
};
// The handheld asked for its download and has no table file.
struct NoTable {
  std::string table_path;
};
// The exchange ended. The line still holds its stamp (date, time, handheld)
// while the consumers run; it is back to idle right after.
struct ExchangeEnded {
  ExchangeResult result = ExchangeResult::kOk;
  FailWhy why = FailWhy::kNone;
  std::string detail;
  int64_t elapsed_seconds = 0;
};
// The line's device went away (|device| its path, |reason| the system's
// words), or came back.
struct DeviceLost {
  std::string device;
  std::string reason;
};
struct DeviceBack {
  std::string device;
};
// The result log (|file|: "STAT.TXT" or "UNLINK.TXT") could not take a
// record, for |reason| (the system's words): told once per outage, by the
// result log itself; records of the outage wait in memory, in order.
struct ResultLogFailed {
  std::string file;
  std::string reason;
};
// The result log took its waiting records again (|records| of them).
struct ResultLogRestored {
  std::string file;
  int64_t records = 0;
};

}  // namespace event

using EventBody = std::variant<event::ExchangeStarted, event::HeaderRefused, event::HeaderAccepted,
                               event::FileReceived, event::UploadLeftOnDisk, event::AppendKeptAside,
                               event::RepeatKeptAside, event::AppendStuck, event::EntrySent,
                               event::EntrySkipped, event::EntryTailNotSent, event::TableNotRead,
                               event::NoTable, event::ExchangeEnded, event::DeviceLost,
                               event::DeviceBack, event::ResultLogFailed, event::ResultLogRestored>;

struct Event {
  int line = 0;  // index into the line table (0 or 1)
  EventBody body;
};

// Whether |body| is a warning of its exchange: something the handheld was
// not given, or an upload not stored where it was meant to go. Every
// consumer counts the same ones. A handheld without a table is not one: it
// has nothing to download, the usual case.
inline bool IsWarning(const EventBody& body) {
  return std::holds_alternative<event::EntrySkipped>(body) ||
         std::holds_alternative<event::EntryTailNotSent>(body) ||
         std::holds_alternative<event::TableNotRead>(body) ||
         std::holds_alternative<event::AppendKeptAside>(body) ||
         std::holds_alternative<event::RepeatKeptAside>(body);
}

// Warnings of one exchange told one by one; the rest are summed up in one
// line at its end (their count and the first names).
inline constexpr int kWarningsToldInFull = 10;

// A consumer of the station's events. Consumers run in the order they were
// added, synchronously, before the step that reported the event goes on.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void OnEvent(const Event& event) = 0;
  // Once per pass of the on-line loop (at least every 100 ms), after the
  // lines were served: for a consumer that follows what no event tells, such
  // as a transfer's progress. Must return at once.
  virtual void OnPass() {}
  // Once, when the station program is about to end: a consumer's last
  // chance to hand over what it still holds.
  virtual void OnStop() {}
};

}  // namespace kavelin2
