#include "journal/exchange_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include "display/station_text.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

// Appends printf-style text to |out| (of |size| bytes), never past its end.
void Append(char* out, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
void Append(char* out, size_t size, const char* format, ...) {
  size_t used = strnlen(out, size);
  if (used + 1 >= size) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(out + used, size - used, format, args);
  va_end(args);
}

// The files of one way of an exchange: only the first kNotedFiles are named,
// the count goes on.
struct FileList {
  static constexpr size_t kNotedFiles = 16;
  struct Note {
    std::string name;
    int32_t records;
    int64_t bytes;
  };
  std::vector<Note> named;
  int64_t count = 0;

  void Add(const std::string& name, int32_t records, int64_t bytes) {
    if (named.size() < kNotedFiles) named.push_back({name.substr(0, 12), records, bytes});
    ++count;
  }
};

// "A (2 records, 30 bytes), B (...)" or "none".
void ListFiles(Language language, const FileList& list, char* out, size_t size) {
  out[0] = 0;
  if (list.count <= 0) {
    Append(out, size, "%s", Text(language, Msg::kNoFiles));
    return;
  }
  const char* item = Text(language, Msg::kFileItem);
  for (size_t i = 0; i < list.named.size(); ++i) {
    if (i > 0) Append(out, size, ", ");
    char one[96];
    std::snprintf(one, sizeof one, item, list.named[i].name.c_str(),
                  static_cast<int>(list.named[i].records),
                  static_cast<long long>(list.named[i].bytes));
    Append(out, size, "%s", one);
  }
  if (list.count > static_cast<int64_t>(list.named.size())) {
    Append(out, size, Text(language, Msg::kMoreFiles),
           static_cast<int>(list.count - static_cast<int64_t>(list.named.size())));
  }
}

// The handheld's identifier as far as the exchange made it known.
void HandheldText(const LineEntry& line, char (&out)[4]) {
  for (int i = 0; i < 3; ++i) {
    unsigned char c = static_cast<unsigned char>(line.HandheldId[i]);
    out[i] = (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  out[3] = 0;
}

const char* FailText(Language language, FailWhy why, ExchangeResult result) {
  switch (why) {
    case FailWhy::kTimeouts:
      return Text(language, Msg::kTimeoutsInARow);
    case FailWhy::kNaks:
      return Text(language, Msg::kNaksInARow);
    case FailWhy::kRejectedFile:
      return Text(language, Msg::kReceivedFileRejected);
    case FailWhy::kDeviceLost:
      return Text(language, Msg::kDeviceLost);
    case FailWhy::kWriteFailure:
      return Text(language, Msg::kWriteFailure);
    case FailWhy::kNotStored:
      return Text(language, Msg::kUploadNotStored);
    case FailWhy::kNone:
      break;
  }
  return result == ExchangeResult::kTimeout ? Text(language, Msg::kTimeoutsInARow)
                                            : Text(language, Msg::kGenericError);
}

class ExchangeJournal : public EventSink {
 public:
  explicit ExchangeJournal(Station& st) : st_(st) {}

  void OnEvent(const Event& e) override {
    Notes& notes = notes_[e.line];
    std::visit(
        [&](const auto& body) {
          using T = std::decay_t<decltype(body)>;
          if constexpr (std::is_same_v<T, event::HeaderRefused>) {
            notes.refused_header = body.name;
          } else if constexpr (std::is_same_v<T, event::HeaderAccepted>) {
            notes.refused_header.clear();  // accepted after all
          } else if constexpr (std::is_same_v<T, event::FileReceived>) {
            notes.received.Add(body.name, body.records, body.bytes);
          } else if constexpr (std::is_same_v<T, event::EntrySent>) {
            notes.sent.Add(body.name, body.records, body.bytes);
          } else if constexpr (std::is_same_v<T, event::ExchangeEnded>) {
            Summarise(e.line, body);
            notes = Notes{};
          } else if constexpr (std::is_same_v<T, event::EntrySkipped>) {
            WarnSkippedEntry(e.line, body);
          } else if constexpr (std::is_same_v<T, event::NoTable>) {
            Warn(e.line, Msg::kNoTable, body.table_path.c_str());
          } else if constexpr (std::is_same_v<T, event::AppendKeptAside>) {
            Warn(e.line, Msg::kAppendFailedLog, body.name.c_str(), body.kept.c_str());
          } else if constexpr (std::is_same_v<T, event::RepeatKeptAside>) {
            Warn(e.line, Msg::kRepeatKeptLog, body.name.c_str(), body.kept.c_str());
          } else if constexpr (std::is_same_v<T, event::AppendStuck>) {
            LogMessage(st_, Msg::kUploadStuck, e.line + 1, body.target.c_str(),
                       body.pending.c_str());
          } else if constexpr (std::is_same_v<T, event::DeviceLost>) {
            LogMessage(st_, Msg::kDeviceLostLog, e.line + 1, body.device.c_str(),
                       body.reason.c_str());
          } else if constexpr (std::is_same_v<T, event::DeviceBack>) {
            LogMessage(st_, Msg::kDeviceBackLog, e.line + 1, body.device.c_str());
          }
        },
        e.body);
  }

 private:
  struct Notes {
    FileList received;
    FileList sent;
    std::string refused_header;  // the last upload header refused
  };

  // One warning line: the warning word, the line, its handheld, then the
  // rest of text |id| (one more %s) with |arg|, and |arg2| when it has two.
  void Warn(int line, Msg id, const char* arg, const char* arg2 = nullptr) {
    char handheld[4];
    HandheldText(st_.LineTable[line], handheld);
    LogMessage(st_, id, Text(LogLanguageOf(st_), Msg::kWarning), line + 1, handheld, arg, arg2);
  }

  void WarnSkippedEntry(int line, const event::EntrySkipped& skip) {
    const Language language = LogLanguageOf(st_);
    const char* because = nullptr;
    switch (skip.why) {
      case SkipWhy::kUnsafeName:
        because = Text(language, Msg::kUnsafeName);
        break;
      case SkipWhy::kMissingFile:
        because = Text(language, Msg::kMissingFile);
        break;
      case SkipWhy::kUnsendableSize:
        because = Text(language, Msg::kUnsendableSize);
        break;
    }
    char detail[128] = {};
    if (skip.why == SkipWhy::kUnsendableSize) {
      std::snprintf(detail, sizeof detail, Text(language, Msg::kUnsendableSizeDetail),
                    static_cast<long long>(skip.size), skip.block_size.c_str());
    } else {
      std::snprintf(detail, sizeof detail, "%s", skip.detail.c_str());
    }
    char why_text[160];
    std::snprintf(why_text, sizeof why_text, detail[0] != 0 ? "%s (%s)" : "%s", because, detail);
    char id[4];
    HandheldText(st_.LineTable[line], id);
    LogMessage(st_, Msg::kEntrySkipped, Text(language, Msg::kWarning), line + 1, id,
               skip.entry.c_str(), why_text);
  }

  void Summarise(int line_index, const event::ExchangeEnded& ended) {
    LineEntry& line = st_.LineTable[line_index];
    const Notes& notes = notes_[line_index];
    static const char* const kCodes[] = {"OK", "TO", "ER"};
    const char* code = kCodes[static_cast<int>(ended.result)];

    const Language language = LogLanguageOf(st_);
    char reason[sizeof line.LastReason] = {};
    if (ended.result != ExchangeResult::kOk) {
      const char* text = FailText(language, ended.why, ended.result);
      if (!ended.detail.empty()) {
        Append(reason, sizeof reason, "%s (%s)", text, ended.detail.c_str());
      } else {
        Append(reason, sizeof reason, "%s", text);
      }
      if (!notes.refused_header.empty()) {
        Append(reason, sizeof reason, Text(language, Msg::kHeaderRefused),
               notes.refused_header.c_str());
      }
    }
    std::snprintf(line.LastResult, sizeof line.LastResult, "%s", code);
    std::snprintf(line.LastReason, sizeof line.LastReason, "%s", reason);

    char received[480];
    char sent[480];
    ListFiles(language, notes.received, received, sizeof received);
    ListFiles(language, notes.sent, sent, sizeof sent);
    char id[4];
    HandheldText(line, id);
    char result_text[sizeof reason + 8];
    std::snprintf(result_text, sizeof result_text, reason[0] != 0 ? "%s (%s)" : "%s", code, reason);
    long elapsed = ended.elapsed_seconds < 0 ? 0 : static_cast<long>(ended.elapsed_seconds);
    LogMessage(st_, Msg::kExchangeSummary, line_index + 1, id, result_text, elapsed, received,
               sent);
  }

  Station& st_;
  Notes notes_[kLineCount];
};

}  // namespace

std::unique_ptr<EventSink> NewExchangeJournal(Station& st) {
  return std::make_unique<ExchangeJournal>(st);
}

}  // namespace kavelin2
