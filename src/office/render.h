// What the office view serves, rendered from one snapshot: the page, the
// JSON status, the CSV of the exchanges and the Prometheus metrics. Each
// renderer is a plain function of the facts, run in the HTTP thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "office/snapshot.h"
#include "platform/file_system.h"

namespace kavelin2::office {

struct HandheldFacts {
  std::string id;
  bool has_table = false;  // TABLE.<id> is in the tables directory
  HandheldRecord record;   // all zero when never seen
  bool overdue = false;    // no OK for the overdue period
};

struct DayFacts {
  std::string day;  // "YYYY-MM-DD"
  DayCount count;
};

// The facts every renderer shows, gathered once per request.
struct Facts {
  const Snapshot* snapshot = nullptr;
  int64_t now = 0;  // calendar seconds
  int overdue_hours = 24;
  std::vector<HandheldFacts> handhelds;  // by identifier
  std::vector<DayFacts> days;            // the last kChartDays, oldest first
  static constexpr int kChartDays = 30;
};

// The handhelds that have a table file: "TABLE.xxx" in |tables_dir| (a prefix
// of file names, "" for the working directory).
std::vector<std::string> TableHandhelds(FileSystem& fs, const std::string& tables_dir);

// Every handheld of the history or of a table file, and the chart's days.
Facts GatherFacts(const Snapshot& snapshot, int64_t now, int overdue_hours);

// One self-contained HTML page in the station's language.
std::string RenderPage(const Facts& facts, int refresh_seconds = 5);
// The recent exchanges, oldest first, with a header row.
std::string RenderCsv(const Snapshot& snapshot);
// Prometheus text exposition format 0.0.4.
std::string RenderMetrics(const Facts& facts);
// The same facts as the page, as JSON.
std::string RenderStatusJson(const Facts& facts);

}  // namespace kavelin2::office
