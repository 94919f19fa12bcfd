// What the office view knows, as one immutable snapshot. The on-line loop
// builds a new snapshot and publishes it; the HTTP threads only ever read a
// published one, so no request waits for an exchange and no exchange waits
// for a request (beyond swapping one pointer under a mutex).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kavelin2::office {

// A file of an exchange, one way.
struct FileNote {
  std::string name;
  int64_t records = 0;
  int64_t bytes = 0;
};

// One ended exchange.
struct ExchangeRecord {
  int64_t start = 0;  // calendar seconds
  int line = 0;       // 1 or 2
  std::string handheld;
  std::string result;  // "OK", "TO" or "ER"
  int64_t duration_s = 0;
  std::string reason;  // empty for OK
  std::vector<FileNote> received;
  std::vector<FileNote> sent;
  std::vector<std::string> warnings;
  // Known from the result log alone: the files and warnings are unknown.
  bool result_log_only = false;
};

// What is known of one handheld. Times are calendar seconds, 0 for never.
struct HandheldRecord {
  int64_t last_exchange = 0;
  std::string last_result;
  int64_t last_ok = 0;
  int64_t last_failure = 0;
  std::string last_failure_result;
  std::string last_failure_reason;
};

// Exchanges of one local day, by result.
struct DayCount {
  int64_t ok = 0;
  int64_t to = 0;
  int64_t er = 0;
};

// The ended exchanges: the recent ones in full, every handheld ever seen and
// the exchanges per day.
struct History {
  static constexpr size_t kRecentKept = 500;
  static constexpr size_t kDaysKept = 62;
  std::deque<ExchangeRecord> recent;  // oldest first
  std::map<std::string, HandheldRecord> handhelds;
  std::map<std::string, DayCount> days;  // "YYYY-MM-DD", local time

  // Takes |record| in: into the recent list (in start order), its handheld's
  // record and its day.
  void Add(const ExchangeRecord& record);
};

// One line as it is now.
struct LiveLine {
  bool active = false;        // the settings serve it
  bool connected = false;     // its device is open
  bool disconnected = false;  // its device went away and is looked for again
  std::string port;           // "COM1"
  std::string state;          // "off", "idle", "upload", "download", "disconnected"
  std::string handheld;       // during an exchange, once known
  std::string file;           // the file being received or sent
  int64_t done = 0;           // blocks of |file| done
  int64_t total = 0;          // blocks of |file| announced (0: unknown)
  std::string last_result;    // of the line's last exchange, "" before one
  std::string last_reason;

  bool operator==(const LiveLine&) const = default;
};

// Counted since the station started.
struct Counters {
  // [line 0/1][result OK/TO/ER]
  std::array<std::array<int64_t, 3>, 2> exchanges{};
  int64_t records_received = 0;
  int64_t bytes_received = 0;
  int64_t records_sent = 0;
  int64_t bytes_sent = 0;
  int64_t result_log_write_errors = 0;

  bool operator==(const Counters&) const = default;
};

struct Snapshot {
  std::string language;    // "Francais", "Anglais", "Espagnol" (other: English)
  std::string tables_dir;  // prefix of the table files, "" for the working directory
  // The handhelds with a table file there when the snapshot was taken.
  std::vector<std::string> table_handhelds;
  std::array<LiveLine, 2> lines;
  Counters counters;
  std::shared_ptr<const History> history;
  int64_t published_at = 0;  // calendar seconds
};

// The one place a snapshot passes from the on-line loop to the HTTP threads.
class SnapshotStore {
 public:
  void Publish(std::shared_ptr<const Snapshot> snapshot) {
    std::lock_guard<std::mutex> lock(mutex_);
    current_ = std::move(snapshot);
  }
  // Never null once the view published its first snapshot.
  std::shared_ptr<const Snapshot> Current() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return current_;
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const Snapshot> current_;
};

// The three result codes, in the result log's order.
inline int ResultIndex(const std::string& result) {
  return result == "OK" ? 0 : result == "TO" ? 1 : 2;
}

}  // namespace kavelin2::office
