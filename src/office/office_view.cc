#include "office/office_view.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <variant>

#include "office/render.h"
#include "station/station.h"

namespace kavelin2::office {
namespace {

// A name from a fixed field, bounded by it, its padding blanks and any
// unprintable byte dropped ("CLIENTS .TXT" is "CLIENTS.TXT").
std::string FieldText(const char* text, size_t width) {
  std::string out;
  for (size_t i = 0; i < width && text[i] != 0; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c > 0x20 && c < 0x7F) out += static_cast<char>(c);
  }
  return out;
}

// A number of decimal digits from a fixed field; 0 when it holds none.
int64_t FieldNumber(const char* text, size_t width) {
  int64_t v = 0;
  for (size_t i = 0; i < width && text[i] >= '0' && text[i] <= '9'; ++i)
    v = v * 10 + (text[i] - '0');
  return v;
}

const char* SkipWhyText(SkipWhy why) {
  switch (why) {
    case SkipWhy::kUnsafeName:
      return "unsafe name";
    case SkipWhy::kMissingFile:
      return "missing file";
    case SkipWhy::kUnsendableSize:
      return "size cannot be sent";
    case SkipWhy::kUnreadable:
      return "unreadable file";
    case SkipWhy::kDirectory:
      return "is a directory";
    case SkipWhy::kNotRegular:
      return "not a regular file";
    case SkipWhy::kMisaligned:
      return "records do not end in CR LF";
  }
  return "skipped";
}

}  // namespace

OfficeView::OfficeView(Station& st, std::shared_ptr<SnapshotStore> store, ViewOptions options)
    : st_(st),
      store_(std::move(store)),
      options_(std::move(options)),
      journal_(st.fs,
               (options_.dir.empty() ? std::string() : options_.dir + "/") + kJournalFileName),
      history_(std::make_shared<const History>(LoadHistory(st.fs, options_.dir))) {
  seen_log_errors_ = st_.ResultLogWriteErrors;
  Publish();
}

void OfficeView::Warn(int line, std::string text) {
  Notes& notes = notes_[line];
  // An exchange that skips a thousand entries keeps the first ones only,
  // as many as the log writes; the rest are counted.
  if (notes.warnings.size() < static_cast<size_t>(kWarningsToldInFull)) {
    notes.warnings.push_back(std::move(text));
  } else {
    ++notes.warnings_not_kept;
  }
}

void OfficeView::OnEvent(const Event& e) {
  if (e.line < 0 || e.line >= kLineCount) return;
  Notes& notes = notes_[e.line];
  // Past the warnings kept, one more is only counted: its text is not even
  // made (a table of half a million missing entries).
  if (IsWarning(e.body) && notes.warnings.size() >= static_cast<size_t>(kWarningsToldInFull)) {
    ++notes.warnings_not_kept;
    return;
  }
  std::visit(
      [&](const auto& body) {
        using T = std::decay_t<decltype(body)>;
        if constexpr (std::is_same_v<T, event::ExchangeStarted>) {
          notes = Notes{};
          Publish();
        } else if constexpr (std::is_same_v<T, event::FileReceived>) {
          if (notes.received.size() < 64)
            notes.received.push_back({body.name, body.records, body.bytes});
          counters_.records_received += body.records;
          counters_.bytes_received += body.bytes;
        } else if constexpr (std::is_same_v<T, event::EntrySent>) {
          if (notes.sent.size() < 64) notes.sent.push_back({body.name, body.records, body.bytes});
          counters_.records_sent += body.records;
          counters_.bytes_sent += body.bytes;
        } else if constexpr (std::is_same_v<T, event::EntrySkipped>) {
          std::string text = "table entry '" + body.entry + "' skipped: " + SkipWhyText(body.why);
          if (!body.detail.empty()) text += " (" + body.detail + ")";
          if (body.why == SkipWhy::kUnsendableSize || body.why == SkipWhy::kMisaligned) {
            text +=
                " (" + std::to_string(body.size) + " bytes, blocks of '" + body.block_size + "')";
          }
          Warn(e.line, std::move(text));
        } else if constexpr (std::is_same_v<T, event::EntryTailNotSent>) {
          Warn(e.line, "table entry '" + body.entry + "': last " + std::to_string(body.tail) +
                           " bytes not sent (" + body.path + ", " + std::to_string(body.size) +
                           " bytes, records of " + std::to_string(body.block_size) + ")");
        } else if constexpr (std::is_same_v<T, event::TableNotRead>) {
          Warn(e.line, "table file " + body.table_path + " not read: " + SkipWhyText(body.why) +
                           " (" + body.detail + ")");
        } else if constexpr (std::is_same_v<T, event::NoTable>) {
          Warn(e.line, "no table file " + body.table_path);
        } else if constexpr (std::is_same_v<T, event::AppendKeptAside>) {
          Warn(e.line, "append of " + body.name + " failed, upload kept as " + body.kept);
        } else if constexpr (std::is_same_v<T, event::RepeatKeptAside>) {
          Warn(e.line, body.name +
                           " sent again after its append was completed at restart, kept as " +
                           body.kept);
        } else if constexpr (std::is_same_v<T, event::AppendStuck>) {
          Warn(e.line, "append to " + body.target + " failed, pending in " + body.pending);
        } else if constexpr (std::is_same_v<T, event::UploadLeftOnDisk>) {
          Warn(e.line, "upload " + body.upload + " left on disk as " + body.path);
        } else if constexpr (std::is_same_v<T, event::ExchangeEnded>) {
          Ended(e.line, body);
        } else if constexpr (std::is_same_v<T, event::DeviceLost>) {
          Tell({Happening::Kind::kLineLost, e.line + 1, "", "", body.device + ": " + body.reason});
          Publish();
        } else if constexpr (std::is_same_v<T, event::DeviceBack>) {
          Tell({Happening::Kind::kLineBack, e.line + 1, "", "", body.device});
          Publish();
        }
      },
      e.body);
}

void OfficeView::Ended(int line_index, const event::ExchangeEnded& ended) {
  const LineEntry& line = st_.LineTable[line_index];
  Notes& notes = notes_[line_index];
  ExchangeRecord r;
  r.start = line.ExchangeStart;
  r.line = line_index + 1;
  r.handheld = HandheldOf(line);
  r.result = ResultCode(ended.result);
  r.duration_s = ended.elapsed_seconds < 0 ? 0 : ended.elapsed_seconds;
  // The journal consumer, which runs before this one, put the reason in the
  // station's language.
  if (ended.result != ExchangeResult::kOk)
    r.reason = std::string(line.LastReason, strnlen(line.LastReason, sizeof line.LastReason));
  r.received = std::move(notes.received);
  r.sent = std::move(notes.sent);
  r.warnings = std::move(notes.warnings);
  if (notes.warnings_not_kept > 0) {
    r.warnings.push_back("and " + std::to_string(notes.warnings_not_kept) + " more warnings");
  }
  if (st_.ResultLogWriteErrors != seen_log_errors_) {
    seen_log_errors_ = st_.ResultLogWriteErrors;
    r.warnings.push_back(std::string("result log ") + "STAT.TXT" + " not written");
    Tell({Happening::Kind::kResultLogFailed, r.line, r.handheld, r.result, "STAT.TXT"});
  }
  notes = Notes{};
  counters_.exchanges[line_index][static_cast<int>(ended.result)] += 1;

  std::string error;
  if (journal_.Append(r, &error)) {
    journal_failed_ = false;
  } else if (!journal_failed_) {
    journal_failed_ = true;
    LogEvent(st_, "office view: journal of exchanges not written: %s", error.c_str());
  }
  auto next = std::make_shared<History>(*history_);
  next->Add(r);
  history_ = std::move(next);
  if (r.result != "OK") {
    Tell({Happening::Kind::kExchangeFailed, r.line, r.handheld, r.result, r.reason});
  }
  Publish();
}

LiveLine OfficeView::Sample(int i) const {
  const LineEntry& line = st_.LineTable[i];
  const PortEntry& port = st_.Ports.line[i];
  LiveLine l;
  l.active = port.ACTIVE == 'O';
  l.port = PortName(port);
  l.connected = l.active && line.PortHandle != nullptr;
  l.disconnected = l.active && line.Disconnected;
  l.last_result = FieldText(line.LastResult, sizeof line.LastResult);
  l.last_reason = std::string(line.LastReason, strnlen(line.LastReason, sizeof line.LastReason));
  if (!l.active) {
    l.state = "off";
  } else if (l.disconnected) {
    l.state = "disconnected";
  } else if (!l.connected) {
    l.state = "closed";
  } else if (line.LinePhase == kPhaseNone) {
    l.state = "idle";
  } else {
    l.state = line.LinePhase == kPhaseUpload ? "upload" : "download";
    std::string id = HandheldOf(line);
    if (id.find('?') == std::string::npos) l.handheld = id;
    if (line.LinePhase == kPhaseUpload) {
      l.file = FieldText(line.UploadName, sizeof line.UploadName);
      l.done = line.NextBlockNumber > 0 ? line.NextBlockNumber - 1 : 0;
    } else {
      l.file = FieldText(line.TableEntryName, sizeof line.TableEntryName);
      l.done = line.BlocksSent;
    }
    if (!l.file.empty()) l.total = FieldNumber(line.BlockCountText, sizeof line.BlockCountText);
  }
  return l;
}

void OfficeView::OnPass() {
  const int32_t now = st_.clock.NowMs();
  if (static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(published_at_ms_)) <
      options_.publish_interval_ms) {
    return;
  }
  if (st_.ResultLogWriteErrors != seen_log_errors_) {
    // A record lost outside an exchange's end (none today) is still told.
    seen_log_errors_ = st_.ResultLogWriteErrors;
    Tell({Happening::Kind::kResultLogFailed, 0, "", "", "STAT.TXT"});
  }
  counters_.result_log_write_errors = st_.ResultLogWriteErrors;
  std::array<LiveLine, 2> lines{Sample(0), Sample(1)};
  if (lines == published_lines_ && counters_ == published_counters_) return;
  Publish();
}

void OfficeView::Publish() {
  auto s = std::make_shared<Snapshot>();
  s->language = FieldText(st_.CurrentLanguage, sizeof st_.CurrentLanguage);
  s->tables_dir = std::string(st_.Paths.TABLE, strnlen(st_.Paths.TABLE, sizeof st_.Paths.TABLE));
  // Listed here, on the station's side: the server never touches a file.
  s->table_handhelds = TableHandhelds(st_.fs, s->tables_dir);
  counters_.result_log_write_errors = st_.ResultLogWriteErrors;
  for (int i = 0; i < kLineCount; ++i) s->lines[i] = Sample(i);
  s->counters = counters_;
  s->history = history_;
  s->published_at = st_.clock.NowSeconds();
  published_lines_ = s->lines;
  published_counters_ = counters_;
  published_at_ms_ = st_.clock.NowMs();
  store_->Publish(std::move(s));
}

void OfficeView::Tell(Happening happening) {
  if (options_.on_happening) options_.on_happening(happening);
}

std::string HandheldOf(const LineEntry& line) {
  std::string id;
  for (int i = 0; i < 3; ++i) {
    unsigned char c = static_cast<unsigned char>(line.HandheldId[i]);
    id += (c > 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  return id;
}

const char* ResultCode(ExchangeResult result) {
  static constexpr const char* kCodes[] = {"OK", "TO", "ER"};
  return kCodes[static_cast<int>(result)];
}

}  // namespace kavelin2::office
