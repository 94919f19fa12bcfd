// The office view's consumer of the station's events: it keeps what the
// office wants to see (each line now, the recent exchanges, each handheld's
// last exchange, last OK and last failure, counters) and publishes it as a
// snapshot for the HTTP server. It runs in the on-line loop's thread, like
// every consumer; it writes its own journal of exchanges (EXCHANGES.JSONL)
// and never writes the result log.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "office/history.h"
#include "office/snapshot.h"
#include "station/events.h"

namespace kavelin2 {
struct LineEntry;
struct Station;
}  // namespace kavelin2

namespace kavelin2::office {

// What happened that may deserve an alert (office/alerts.h), told by the view
// as it sees it.
struct Happening {
  enum class Kind { kExchangeFailed, kLineLost, kLineBack, kResultLogFailed };
  Kind kind = Kind::kExchangeFailed;
  int line = 0;  // 1 or 2
  std::string handheld;
  std::string result;
  std::string detail;
};

struct ViewOptions {
  // Where EXCHANGES.JSONL and STAT.TXT are: the station's working directory.
  std::string dir = ".";
  // A line's progress is published at most this often (events at once).
  int32_t publish_interval_ms = 250;
  // Told of each happening, in the on-line loop's thread; must not block.
  std::function<void(const Happening&)> on_happening;
};

class OfficeView : public EventSink {
 public:
  OfficeView(Station& st, std::shared_ptr<SnapshotStore> store, ViewOptions options);

  void OnEvent(const Event& event) override;
  void OnPass() override;

 private:
  struct Notes {
    std::vector<FileNote> received;
    std::vector<FileNote> sent;
    std::vector<std::string> warnings;
    int64_t warnings_not_kept = 0;  // past the first kWarningsToldInFull
  };

  void Ended(int line, const event::ExchangeEnded& ended);
  void Warn(int line, std::string text);
  LiveLine Sample(int line) const;
  void Publish();
  void Tell(Happening happening);

  Station& st_;
  std::shared_ptr<SnapshotStore> store_;
  ViewOptions options_;
  JournalFile journal_;
  bool journal_failed_ = false;  // said once on the log until it works again
  std::shared_ptr<const History> history_;
  Counters counters_;
  Notes notes_[2];
  std::array<LiveLine, 2> published_lines_;
  Counters published_counters_;
  int64_t seen_log_errors_ = 0;
  int32_t published_at_ms_ = 0;
};

// The handheld as far as the exchange on |line| made it known: three
// printable characters, '?' for any other.
std::string HandheldOf(const LineEntry& line);
// "OK", "TO" or "ER", as the result log writes it.
const char* ResultCode(ExchangeResult result);

}  // namespace kavelin2::office
