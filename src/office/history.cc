#include "office/history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>

#include "journal/records.h"

namespace kavelin2::office {
namespace {

std::tm Local(int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

// Two decimal digits at |p|, or -1.
int TwoDigits(const char* p) {
  if (p[0] < '0' || p[0] > '9' || p[1] < '0' || p[1] > '9') return -1;
  return (p[0] - '0') * 10 + (p[1] - '0');
}

// The key an exchange is known by in both logs: its line, handheld and local
// start to the second.
std::string Key(const ExchangeRecord& r) {
  std::tm tm = Local(r.start);
  char text[64];
  std::snprintf(text, sizeof text, "%d|%s|%04d%02d%02d%02d%02d%02d", r.line, r.handheld.c_str(),
                tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

bool ReadWhole(FileSystem& fs, const std::string& path, std::string* out) {
  std::unique_ptr<File> file;
  if (!fs.Open(path, OpenOptions{}, &file).ok() || !file->IsRegular()) return false;
  out->clear();
  char buf[8192];
  for (;;) {
    size_t got = 0;
    if (!file->Read(buf, sizeof buf, &got).ok()) return false;
    if (got == 0) return true;
    out->append(buf, got);
  }
}

}  // namespace

void History::Add(const ExchangeRecord& record) {
  // Exchanges end in start order on one line, nearly so across two lines and
  // a loaded history: the new one goes after the last one that began before it.
  auto at = recent.end();
  while (at != recent.begin() && std::prev(at)->start > record.start) --at;
  recent.insert(at, record);
  while (recent.size() > kRecentKept) recent.pop_front();

  if (!record.handheld.empty() && record.handheld.find('?') == std::string::npos) {
    HandheldRecord& h = handhelds[record.handheld];
    if (record.start >= h.last_exchange) {
      h.last_exchange = record.start;
      h.last_result = record.result;
    }
    if (record.result == "OK") {
      h.last_ok = std::max(h.last_ok, record.start);
    } else if (record.start >= h.last_failure) {
      h.last_failure = record.start;
      h.last_failure_result = record.result;
      h.last_failure_reason = record.reason;
    }
  }

  DayCount& day = days[LocalDay(record.start)];
  (record.result == "OK" ? day.ok : record.result == "TO" ? day.to : day.er) += 1;
  while (days.size() > kDaysKept) days.erase(days.begin());
}

std::string LocalDay(int64_t seconds) {
  std::tm tm = Local(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  return text;
}

std::string LocalIso8601(int64_t seconds) {
  std::tm tm = Local(seconds);
  // The local time read as if it were UTC, less the instant: the offset from
  // UTC at that instant, on every C library (Windows's has no tm_gmtoff).
  std::tm as_utc = tm;
  long offset = static_cast<long>(static_cast<int64_t>(timegm(&as_utc)) - seconds);
  char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  // Offsets are below a day: two digits of hours, two of minutes.
  int oh = static_cast<int>(offset / 3600 % 24), om = static_cast<int>(offset / 60 % 60);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, sign, oh, om);
  return text;
}

std::vector<ExchangeRecord> ParseResultLog(const std::string& bytes, int* skipped) {
  std::vector<ExchangeRecord> out;
  int bad = 0;
  for (size_t at = 0; at + kStatRecordSize <= bytes.size(); at += kStatRecordSize) {
    const char* r = bytes.data() + at;
    ExchangeRecord e;
    e.result.assign(r, 2);
    int day = TwoDigits(r + 9), month = TwoDigits(r + 12), year = TwoDigits(r + 15);
    int hour = TwoDigits(r + 18), minute = TwoDigits(r + 21), second = TwoDigits(r + 24);
    int eh = TwoDigits(r + 27), em = TwoDigits(r + 30), es = TwoDigits(r + 33);
    bool ok = (e.result == "OK" || e.result == "TO" || e.result == "ER") && r[35] == '\r' &&
              r[36] == '\n' && r[7] >= '1' && r[7] <= '2' && day >= 1 && month >= 1 &&
              month <= 12 && year >= 0 && hour >= 0 && minute >= 0 && second >= 0 && eh >= 0 &&
              em >= 0 && es >= 0;
    if (!ok) {
      ++bad;
      continue;
    }
    for (int i = 3; i < 6 && r[i] != 0; ++i) e.handheld += r[i];
    e.line = r[7] - '0';
    std::tm tm{};
    tm.tm_year = 100 + year;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    e.start = static_cast<int64_t>(std::mktime(&tm));
    e.duration_s = eh * 3600 + em * 60 + es;
    e.result_log_only = true;
    out.push_back(std::move(e));
  }
  if (skipped != nullptr) *skipped = bad + (bytes.size() % kStatRecordSize != 0 ? 1 : 0);
  return out;
}

std::vector<ExchangeRecord> MergeHistory(std::vector<ExchangeRecord> journal,
                                         const std::vector<ExchangeRecord>& result_log) {
  std::multiset<std::string> known;
  for (const ExchangeRecord& r : journal) known.insert(Key(r) + "|" + r.result);
  for (const ExchangeRecord& r : result_log) {
    auto it = known.find(Key(r) + "|" + r.result);
    if (it != known.end()) {
      known.erase(it);  // the journal's line of the same exchange
    } else {
      journal.push_back(r);
    }
  }
  std::stable_sort(
      journal.begin(), journal.end(),
      [](const ExchangeRecord& a, const ExchangeRecord& b) { return a.start < b.start; });
  return journal;
}

void JournalFile::RotateIfFull() {
  FileInfo info;
  if (!fs_.Stat(path_, &info).ok() || !info.regular || info.size < max_bytes_) return;
  // The oldest goes; each other moves one place up; the full one becomes .1.
  fs_.Remove(path_ + "." + std::to_string(keep_));
  for (int i = keep_ - 1; i >= 1; --i) {
    fs_.Rename(path_ + "." + std::to_string(i), path_ + "." + std::to_string(i + 1));
  }
  if (keep_ >= 1) {
    fs_.Rename(path_, path_ + ".1");
  } else {
    fs_.Remove(path_);
  }
}

bool JournalFile::Append(const ExchangeRecord& record, std::string* error) {
  RotateIfFull();
  const std::string line = ExchangeToJsonLine(record) + "\n";
  std::unique_ptr<File> file;
  FsStatus status = fs_.Create(path_, CreateMode::kAppend, &file);
  int64_t before = 0;
  if (status.ok()) status = file->Size(&before);
  if (status.ok()) {
    status = file->Write(line.data(), line.size());
    // Half a line would spoil the next one: take it back.
    if (!status.ok()) file->Truncate(before);
  }
  if (status.ok()) status = file->Sync();
  if (file != nullptr) {
    FsStatus closed = file->Close();
    if (status.ok()) status = closed;
  }
  if (!status.ok() && error != nullptr) *error = status.text();
  return status.ok();
}

std::vector<ExchangeRecord> JournalFile::ReadAll(int* skipped) const {
  std::vector<ExchangeRecord> out;
  int bad = 0;
  for (int i = keep_; i >= 0; --i) {
    std::string text;
    if (!ReadWhole(fs_, i == 0 ? path_ : path_ + "." + std::to_string(i), &text)) continue;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.empty()) continue;
      ExchangeRecord r;
      if (ExchangeFromJsonLine(line, &r)) {
        out.push_back(std::move(r));
      } else {
        ++bad;
      }
    }
  }
  if (skipped != nullptr) *skipped = bad;
  return out;
}

History LoadHistory(FileSystem& fs, const std::string& dir) {
  const std::string prefix = dir.empty() ? std::string() : dir + "/";
  JournalFile journal(fs, prefix + kJournalFileName);
  std::string stat;
  ReadWhole(fs, prefix + kStatFileName, &stat);  // absent: the journal alone
  History history;
  for (const ExchangeRecord& r : MergeHistory(journal.ReadAll(), ParseResultLog(stat)))
    history.Add(r);
  return history;
}

}  // namespace kavelin2::office
