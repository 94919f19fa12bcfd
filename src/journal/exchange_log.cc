#include "journal/exchange_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
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

}  // namespace

void AppendWarningCount(Language language, int64_t count, char* out, size_t size) {
  if (count == 1) {
    Append(out, size, "%s", Text(language, Msg::kOneWarning));
  } else {
    Append(out, size, Text(language, Msg::kWarnings), static_cast<int>(count));
  }
}

namespace {

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
    if (IsWarning(e.body) && ++notes.warnings > kWarningsToldInFull) {
      // A table of thousands of missing entries would flood the log: past
      // the first ones only the count goes on, and the first names.
      if (notes.unwritten_names.size() < kUnwrittenNamesNoted) {
        notes.unwritten_names.push_back(WarningName(e.body));
      }
      return;
    }
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
          } else if constexpr (std::is_same_v<T, event::EntryTailNotSent>) {
            const Language language = LogLanguageOf(st_);
            char id[4];
            HandheldText(st_.LineTable[e.line], id);
            LogMessage(st_, Msg::kTailNotSent, Text(language, Msg::kWarning), e.line + 1, id,
                       body.entry.c_str(), static_cast<long long>(body.tail), body.path.c_str(),
                       static_cast<long long>(body.size), static_cast<int>(body.block_size));
          } else if constexpr (std::is_same_v<T, event::TableNotRead>) {
            char why[200];
            std::snprintf(why, sizeof why, "%s (%s)", SkipText(LogLanguageOf(st_), body.why),
                          body.detail.c_str());
            Warn(e.line, Msg::kTableNotRead, body.table_path.c_str(), why);
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
          } else if constexpr (std::is_same_v<T, event::ResultLogFailed>) {
            LogMessage(st_, Msg::kResultLogFailedLog, Text(LogLanguageOf(st_), Msg::kError),
                       body.file.c_str(), body.reason.c_str());
          } else if constexpr (std::is_same_v<T, event::ResultLogRestored>) {
            LogMessage(st_, Msg::kResultLogRestoredLog, body.file.c_str(),
                       static_cast<long long>(body.records));
          }
        },
        e.body);
  }

 private:
  static constexpr size_t kUnwrittenNamesNoted = 5;

  struct Notes {
    FileList received;
    FileList sent;
    std::string refused_header;                // the last upload header refused
    int64_t warnings = 0;                      // of this exchange, written or not
    std::vector<std::string> unwritten_names;  // the first warnings not written
  };

  // What a warning is about, for the line that sums up those not written.
  static std::string WarningName(const EventBody& body) {
    return std::visit(
        [](const auto& b) -> std::string {
          using T = std::decay_t<decltype(b)>;
          if constexpr (std::is_same_v<T, event::EntrySkipped> ||
                        std::is_same_v<T, event::EntryTailNotSent>) {
            return "'" + b.entry + "'";
          } else if constexpr (std::is_same_v<T, event::TableNotRead>) {
            return b.table_path;
          } else if constexpr (std::is_same_v<T, event::AppendKeptAside> ||
                               std::is_same_v<T, event::RepeatKeptAside>) {
            return b.name;
          } else {
            return {};
          }
        },
        body);
  }

  static const char* SkipText(Language language, SkipWhy why) {
    switch (why) {
      case SkipWhy::kUnsafeName:
        return Text(language, Msg::kUnsafeName);
      case SkipWhy::kMissingFile:
        return Text(language, Msg::kMissingFile);
      case SkipWhy::kUnsendableSize:
        return Text(language, Msg::kUnsendableSize);
      case SkipWhy::kUnreadable:
        return Text(language, Msg::kUnreadableFile);
      case SkipWhy::kDirectory:
        return Text(language, Msg::kIsDirectory);
      case SkipWhy::kNotRegular:
        return Text(language, Msg::kNotRegularFile);
      case SkipWhy::kMisaligned:
        return Text(language, Msg::kMisalignedRecords);
    }
    return Text(language, Msg::kGenericError);
  }

  // One warning line: the warning word, the line, its handheld, then the
  // rest of text |id| (one more %s) with |arg|, and |arg2| when it has two.
  void Warn(int line, Msg id, const char* arg, const char* arg2 = nullptr) {
    char handheld[4];
    HandheldText(st_.LineTable[line], handheld);
    LogMessage(st_, id, Text(LogLanguageOf(st_), Msg::kWarning), line + 1, handheld, arg, arg2);
  }

  void WarnSkippedEntry(int line, const event::EntrySkipped& skip) {
    const Language language = LogLanguageOf(st_);
    const char* because = SkipText(language, skip.why);
    char detail[200] = {};
    if (skip.why == SkipWhy::kUnsendableSize) {
      std::snprintf(detail, sizeof detail, Text(language, Msg::kUnsendableSizeDetail),
                    static_cast<long long>(skip.size), skip.block_size.c_str());
    } else if (skip.why == SkipWhy::kMisaligned) {
      std::snprintf(detail, sizeof detail, Text(language, Msg::kMisalignedDetail),
                    skip.detail.c_str(), static_cast<long long>(skip.size),
                    static_cast<int>(std::strtol(skip.block_size.c_str(), nullptr, 10)));
    } else {
      std::snprintf(detail, sizeof detail, "%s", skip.detail.c_str());
    }
    char why_text[260];
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
    if (notes.warnings > kWarningsToldInFull) {
      std::string names;
      for (const std::string& name : notes.unwritten_names) {
        if (!names.empty()) names += ", ";
        names += name;
      }
      if (notes.warnings - kWarningsToldInFull > static_cast<int64_t>(notes.unwritten_names.size()))
        names += ", ...";
      char handheld[4];
      HandheldText(line, handheld);
      LogMessage(st_, Msg::kMoreWarnings, Text(language, Msg::kWarning), line_index + 1, handheld,
                 static_cast<long long>(notes.warnings - kWarningsToldInFull), names.c_str());
    }
    char result_text[sizeof reason + 48];
    std::snprintf(result_text, sizeof result_text, reason[0] != 0 ? "%s (%s)" : "%s", code, reason);
    if (notes.warnings > 0) {
      Append(result_text, sizeof result_text, ", ");
      AppendWarningCount(language, notes.warnings, result_text, sizeof result_text);
    }
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
