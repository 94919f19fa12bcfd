// Everything of the office view that speaks JSON: the journal's lines and
// /status.json. The JSON library stays in this one file.
#include <nlohmann/json.hpp>

#include "office/history.h"
#include "office/render.h"

namespace kavelin2::office {
namespace {

using nlohmann::json;

json Files(const std::vector<FileNote>& files) {
  json out = json::array();
  for (const FileNote& f : files)
    out.push_back({{"name", f.name}, {"records", f.records}, {"bytes", f.bytes}});
  return out;
}

// Reads back what Files wrote; false when |in| is not such a list.
bool ReadFiles(const json& in, std::vector<FileNote>* out) {
  if (!in.is_array()) return false;
  for (const json& f : in) {
    if (!f.is_object() || !f.value("name", json()).is_string()) return false;
    out->push_back({f["name"].get<std::string>(), f.value("records", int64_t{0}),
                    f.value("bytes", int64_t{0})});
  }
  return true;
}

json Exchange(const ExchangeRecord& r) {
  json o = {{"start", r.start},      {"start_iso", LocalIso8601(r.start)},
            {"line", r.line},        {"handheld", r.handheld},
            {"result", r.result},    {"duration_s", r.duration_s},
            {"reason", r.reason},    {"received", Files(r.received)},
            {"sent", Files(r.sent)}, {"warnings", r.warnings}};
  if (r.result_log_only) o["result_log_only"] = true;
  return o;
}

// Text of |j| kept as it is when it is not valid UTF-8 (a handheld's name
// field may hold any byte): each such byte is replaced, never thrown over.
std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

json Time(int64_t t) { return t == 0 ? json(nullptr) : json(LocalIso8601(t)); }

}  // namespace

std::string ExchangeToJsonLine(const ExchangeRecord& record) { return Dump(Exchange(record)); }

bool ExchangeFromJsonLine(const std::string& line, ExchangeRecord* record) {
  json j = json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (!j.is_object()) return false;
  try {
    ExchangeRecord r;
    r.start = j.at("start").get<int64_t>();
    r.line = j.at("line").get<int>();
    r.handheld = j.at("handheld").get<std::string>();
    r.result = j.at("result").get<std::string>();
    if (r.result != "OK" && r.result != "TO" && r.result != "ER") return false;
    r.duration_s = j.value("duration_s", int64_t{0});
    r.reason = j.value("reason", std::string());
    if (!ReadFiles(j.value("received", json::array()), &r.received) ||
        !ReadFiles(j.value("sent", json::array()), &r.sent))
      return false;
    for (const json& w : j.value("warnings", json::array()))
      if (w.is_string()) r.warnings.push_back(w.get<std::string>());
    r.result_log_only = j.value("result_log_only", false);
    *record = std::move(r);
    return true;
  } catch (const json::exception&) {
    return false;  // a field of the wrong type: not one of our lines
  }
}

std::string RenderStatusJson(const Facts& facts) {
  const Snapshot& s = *facts.snapshot;
  json lines = json::array();
  for (size_t i = 0; i < s.lines.size(); ++i) {
    const LiveLine& l = s.lines[i];
    lines.push_back({{"line", i + 1},
                     {"port", l.port},
                     {"state", l.state},
                     {"connected", l.connected},
                     {"disconnected", l.disconnected},
                     {"handheld", l.handheld},
                     {"file", l.file},
                     {"blocks_done", l.done},
                     {"blocks_total", l.total},
                     {"last_result", l.last_result},
                     {"last_reason", l.last_reason}});
  }
  json exchanges = json::array();
  const auto& recent = s.history->recent;
  // Newest first, as on the page.
  for (auto it = recent.rbegin(); it != recent.rend(); ++it) exchanges.push_back(Exchange(*it));
  json handhelds = json::array();
  for (const HandheldFacts& h : facts.handhelds) {
    handhelds.push_back({{"handheld", h.id},
                         {"has_table", h.has_table},
                         {"last_exchange", Time(h.record.last_exchange)},
                         {"last_result", h.record.last_result},
                         {"last_ok", Time(h.record.last_ok)},
                         {"last_failure", Time(h.record.last_failure)},
                         {"last_failure_result", h.record.last_failure_result},
                         {"last_failure_reason", h.record.last_failure_reason},
                         {"overdue", h.overdue}});
  }
  json days = json::array();
  for (const DayFacts& d : facts.days)
    days.push_back({{"day", d.day}, {"OK", d.count.ok}, {"TO", d.count.to}, {"ER", d.count.er}});
  const Counters& c = s.counters;
  json counters = {{"records_received", c.records_received},
                   {"bytes_received", c.bytes_received},
                   {"records_sent", c.records_sent},
                   {"bytes_sent", c.bytes_sent},
                   {"result_log_write_errors", c.result_log_write_errors}};
  json by_line = json::array();
  for (size_t i = 0; i < c.exchanges.size(); ++i)
    by_line.push_back({{"line", i + 1},
                       {"OK", c.exchanges[i][0]},
                       {"TO", c.exchanges[i][1]},
                       {"ER", c.exchanges[i][2]}});
  counters["exchanges"] = by_line;
  json out = {{"now", LocalIso8601(facts.now)},
              {"language", s.language},
              {"overdue_hours", facts.overdue_hours},
              {"lines", lines},
              {"exchanges", exchanges},
              {"handhelds", handhelds},
              {"days", days},
              {"counters_since_start", counters}};
  return Dump(out) + "\n";
}

}  // namespace kavelin2::office
