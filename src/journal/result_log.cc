// The result log: one record per ended exchange, one per upload that could
// not be removed after a failure.
//
// A record that its file does not take (a full or read-only disk, a file
// replaced by a directory) is never dropped: it waits in memory with those
// before it, and all are written, in order and in one append, as soon as the
// file takes them again: at the next record, or at the latest kRetryMs after
// the last attempt. The start and the end of such an outage are events; a
// station that stops during one hands the waiting records to standard error.
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <variant>

#include "journal/exchange_log.h"
#include "journal/records.h"
#include "platform/clock.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

// How often waiting records are tried again when no new record comes.
constexpr int32_t kRetryMs = 10000;

// One of the two log files and the records it has not taken yet.
struct LogFile {
  const char* name;
  std::deque<std::string> waiting;
  int64_t torn_at = -1;  // a failed write's tail still to cut off
};

class ResultLog : public EventSink {
 public:
  ResultLog(Station& st, std::function<void(const std::string&)> at_stop)
      : st_(st), at_stop_(std::move(at_stop)) {}

  void OnEvent(const Event& e) override {
    const LineEntry& line = st_.LineTable[e.line];
    if (const auto* ended = std::get_if<event::ExchangeEnded>(&e.body)) {
      char record[kStatRecordSize];
      BuildStatRecord(static_cast<int>(ended->result), line, e.line + 1,
                      static_cast<long>(ended->elapsed_seconds), record);
      // Counted for the office, which may raise an alert.
      if (!Add(kStat, e.line, std::string(record, sizeof record))) ++st_.ResultLogWriteErrors;
    } else if (std::holds_alternative<event::UploadLeftOnDisk>(e.body)) {
      char record[kUnlinkRecordSize];
      BuildUnlinkRecord(line, e.line + 1, record);
      Add(kUnlink, e.line, std::string(record, sizeof record));
    }
  }

  void OnPass() override {
    if (logs_[kStat].waiting.empty() && logs_[kUnlink].waiting.empty()) return;
    if (!retry_at_.PassedAt(st_.clock.NowMs())) return;
    for (int i : {kStat, kUnlink}) Flush(i, 0);
  }

  void OnStop() override {
    for (int i : {kStat, kUnlink}) {
      LogFile& log = logs_[i];
      if (log.waiting.empty()) continue;
      if (Flush(i, 0)) continue;
      // The journal of the service keeps what the disk did not.
      char head[512];
      std::snprintf(head, sizeof head,
                    "kavelin2: %s could not be written (%s); its %lld waiting records follow\n",
                    log.name, st_.ResultLogOutages[i].reason.c_str(),
                    static_cast<long long>(log.waiting.size()));
      at_stop_(head);
      for (const std::string& record : log.waiting) at_stop_(record);
    }
  }

 private:
  static constexpr int kStat = 0;
  static constexpr int kUnlink = 1;

  // Queues |record| behind those waiting and writes them all. True when the
  // record is written.
  bool Add(int i, int line, std::string record) {
    logs_[i].waiting.push_back(std::move(record));
    return Flush(i, line);
  }

  // Writes the waiting records of log |i| in one append. True when none is
  // left waiting.
  bool Flush(int i, int line) {
    LogFile& log = logs_[i];
    if (log.waiting.empty()) return true;
    std::string bytes;
    for (const std::string& record : log.waiting) bytes += record;
    FsStatus s = AppendRecord(st_.fs, log.name, bytes.data(), bytes.size(), &log.torn_at);
    Station::ResultLogOutage& outage = st_.ResultLogOutages[i];
    if (s.ok()) {
      const int64_t written = static_cast<int64_t>(log.waiting.size());
      log.waiting.clear();
      if (!outage.file.empty()) {
        outage = {};
        st_.Report(line, event::ResultLogRestored{log.name, written});
      }
      return true;
    }
    retry_at_ = Deadline::After(st_.clock.NowMs(), kRetryMs);
    const bool starts = outage.file.empty();
    outage.file = log.name;
    outage.reason = s.text();
    outage.waiting = static_cast<int64_t>(log.waiting.size());
    // Told once per outage, not at every record or attempt.
    if (starts) st_.Report(line, event::ResultLogFailed{log.name, s.text()});
    return false;
  }

  Station& st_;
  std::function<void(const std::string&)> at_stop_;
  LogFile logs_[2] = {{kStatFileName, {}, -1}, {kUnlinkFileName, {}, -1}};
  Deadline retry_at_;
};

void ToStandardError(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

std::unique_ptr<EventSink> NewResultLog(Station& st,
                                        std::function<void(const std::string&)> at_stop) {
  return std::make_unique<ResultLog>(st, at_stop ? std::move(at_stop) : ToStandardError);
}

}  // namespace kavelin2
