// The history of the exchanges as the office view loads it at start: the
// result log STAT.TXT (read only, never written here) and the station's own
// journal of exchanges, EXCHANGES.JSONL, which also holds what STAT.TXT has
// no room for (reasons, files, warnings) and survives a deleted STAT.TXT.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "office/snapshot.h"
#include "platform/file_system.h"

namespace kavelin2::office {

constexpr const char* kJournalFileName = "EXCHANGES.JSONL";

// Local-time texts of calendar seconds: "2026-12-06" and
// "2026-12-06T09:15:02+01:00".
std::string LocalDay(int64_t seconds);
std::string LocalIso8601(int64_t seconds);

// The 37-byte records of a result log, oldest first. A record that does not
// parse (a torn or foreign line) is skipped and counted in |skipped|.
std::vector<ExchangeRecord> ParseResultLog(const std::string& bytes, int* skipped = nullptr);

// The journal's records and, after them in start order, every result log
// record the journal does not hold (an exchange from before the journal, or
// one whose journal line was lost).
std::vector<ExchangeRecord> MergeHistory(std::vector<ExchangeRecord> journal,
                                         const std::vector<ExchangeRecord>& result_log);

// One exchange as one line of JSON (no newline), and back. Errors as values:
// false for a line that is not such an object.
std::string ExchangeToJsonLine(const ExchangeRecord& record);
bool ExchangeFromJsonLine(const std::string& line, ExchangeRecord* record);

// The journal file: one JSON object per line, appended and flushed to disk at
// the end of each exchange. Past |max_bytes| the file is renamed PATH.1 (PATH.1
// to PATH.2 and so on, |keep| old files at most) and a new one begun.
class JournalFile {
 public:
  JournalFile(FileSystem& fs, std::string path, int64_t max_bytes = 4 << 20, int keep = 3)
      : fs_(fs), path_(std::move(path)), max_bytes_(max_bytes), keep_(keep) {}

  // False, with the system's reason in |error|, when the line could not be
  // written whole and flushed.
  bool Append(const ExchangeRecord& record, std::string* error);
  // Every record of the old files and the current one, oldest first; lines
  // that do not parse are skipped and counted in |skipped|.
  std::vector<ExchangeRecord> ReadAll(int* skipped = nullptr) const;
  const std::string& path() const { return path_; }

 private:
  void RotateIfFull();

  FileSystem& fs_;
  std::string path_;
  int64_t max_bytes_;
  int keep_;
};

// The history the view starts from: the journal in |dir| merged with the
// result log there.
History LoadHistory(FileSystem& fs, const std::string& dir);

}  // namespace kavelin2::office
