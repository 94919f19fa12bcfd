#include "office/render.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>

#include "office/history.h"

namespace kavelin2::office {
namespace {

// The page's words in one language.
struct Words {
  const char* lang;
  const char* title;
  const char* lines;
  const char* line;
  const char* port;
  const char* state;
  const char* handheld;
  const char* file;
  const char* progress;
  const char* last_result;
  const char* handhelds;
  const char* table;
  const char* last_exchange;
  const char* last_ok;
  const char* last_failure;
  const char* reason;
  const char* overdue;
  const char* exchanges;
  const char* start;
  const char* result;
  const char* duration;
  const char* received;
  const char* sent;
  const char* warnings;
  const char* per_day;
  const char* never;
  const char* yes;
  const char* no;
  const char* state_off;
  const char* state_closed;
  const char* state_idle;
  const char* state_upload;
  const char* state_download;
  const char* state_disconnected;
  const char* updated;
  const char* none;
  const char* records;
  const char* bytes;
};

constexpr Words kFrench{"fr",
                        "Station kavelin2 : vue du bureau",
                        "Lignes",
                        "Ligne",
                        "Port",
                        "Etat",
                        "Portable",
                        "Fichier",
                        "Avancement",
                        "Dernier resultat",
                        "Portables",
                        "Table",
                        "Dernier echange",
                        "Dernier OK",
                        "Dernier echec",
                        "Raison",
                        "en retard",
                        "Echanges recents",
                        "Debut",
                        "Resultat",
                        "Duree",
                        "Recus",
                        "Envoyes",
                        "Avertissements",
                        "Echanges par jour (30 jours)",
                        "jamais",
                        "oui",
                        "non",
                        "arretee",
                        "fermee",
                        "en attente",
                        "reception",
                        "envoi",
                        "deconnectee",
                        "Mis a jour",
                        "aucun",
                        "enreg.",
                        "octets"};
constexpr Words kEnglish{"en",
                         "kavelin2 station: office view",
                         "Lines",
                         "Line",
                         "Port",
                         "State",
                         "Handheld",
                         "File",
                         "Progress",
                         "Last result",
                         "Handhelds",
                         "Table",
                         "Last exchange",
                         "Last OK",
                         "Last failure",
                         "Reason",
                         "overdue",
                         "Recent exchanges",
                         "Start",
                         "Result",
                         "Duration",
                         "Received",
                         "Sent",
                         "Warnings",
                         "Exchanges per day (30 days)",
                         "never",
                         "yes",
                         "no",
                         "off",
                         "closed",
                         "waiting",
                         "receiving",
                         "sending",
                         "disconnected",
                         "Updated",
                         "none",
                         "records",
                         "bytes"};
constexpr Words kSpanish{"es",
                         "Estacion kavelin2: vista de oficina",
                         "Lineas",
                         "Linea",
                         "Puerto",
                         "Estado",
                         "Portatil",
                         "Fichero",
                         "Progreso",
                         "Ultimo resultado",
                         "Portatiles",
                         "Tabla",
                         "Ultimo intercambio",
                         "Ultimo OK",
                         "Ultimo fallo",
                         "Motivo",
                         "retrasado",
                         "Intercambios recientes",
                         "Inicio",
                         "Resultado",
                         "Duracion",
                         "Recibidos",
                         "Enviados",
                         "Avisos",
                         "Intercambios por dia (30 dias)",
                         "nunca",
                         "si",
                         "no",
                         "apagada",
                         "cerrada",
                         "espera",
                         "recepcion",
                         "envio",
                         "desconectada",
                         "Actualizado",
                         "ninguno",
                         "registros",
                         "bytes"};

const Words& WordsOf(const std::string& language) {
  if (language == "Francais") return kFrench;
  if (language == "Espagnol") return kSpanish;
  return kEnglish;
}

const char* StateWord(const Words& w, const std::string& state) {
  if (state == "off") return w.state_off;
  if (state == "closed") return w.state_closed;
  if (state == "idle") return w.state_idle;
  if (state == "upload") return w.state_upload;
  if (state == "download") return w.state_download;
  return w.state_disconnected;
}

std::string Html(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        // Control bytes are no text; bytes above 0x7F are shown as they are
        // only when they form UTF-8, which the page does not check: '?'.
        out += (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) ? '?'
                                                                                               : c;
    }
  }
  return out;
}

std::string When(const Words& w, int64_t t) {
  if (t == 0) return w.never;
  std::string iso = LocalIso8601(t);
  return iso.substr(0, 10) + " " + iso.substr(11, 8);
}

std::string Duration(int64_t s) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  return text;
}

std::string FileList(const std::vector<FileNote>& files, const Words& w = kEnglish) {
  std::string out;
  for (const FileNote& f : files) {
    if (!out.empty()) out += "; ";
    out += f.name + " (" + std::to_string(f.records) + " " + w.records + ", " +
           std::to_string(f.bytes) + " " + w.bytes + ")";
  }
  return out;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& s : items) out += (out.empty() ? "" : "; ") + s;
  return out;
}

std::string ResultClass(const std::string& result) {
  return result == "OK" ? "ok" : result == "TO" ? "to" : result.empty() ? "" : "er";
}

// The chart: one stacked bar per day, OK below, then TO, then ER.
std::string Chart(const Facts& f, const Words& w) {
  int64_t top = 1;
  for (const DayFacts& d : f.days) top = std::max(top, d.count.ok + d.count.to + d.count.er);
  constexpr int kWidth = 900, kHeight = 200, kLeft = 40, kBottom = 30, kBar = 24, kStep = 28;
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kWidth) +
                    "\" height=\"" + std::to_string(kHeight + kBottom) +
                    "\" role=\"img\" aria-label=\"" + Html(w.per_day) + "\">";
  svg += "<text x=\"0\" y=\"12\" font-size=\"11\">" + std::to_string(top) + "</text>";
  svg += "<text x=\"0\" y=\"" + std::to_string(kHeight) + "\" font-size=\"11\">0</text>";
  svg += "<line x1=\"" + std::to_string(kLeft - 4) + "\" y1=\"" + std::to_string(kHeight) +
         "\" x2=\"" + std::to_string(kWidth) + "\" y2=\"" + std::to_string(kHeight) +
         "\" stroke=\"#888\"/>";
  for (size_t i = 0; i < f.days.size(); ++i) {
    const DayFacts& d = f.days[i];
    int x = kLeft + static_cast<int>(i) * kStep;
    double y = kHeight;
    const std::pair<int64_t, const char*> parts[] = {
        {d.count.ok, "#2e7d32"}, {d.count.to, "#ef6c00"}, {d.count.er, "#c62828"}};
    for (const auto& [n, color] : parts) {
      if (n == 0) continue;
      double h = static_cast<double>(n) * (kHeight - 16) / static_cast<double>(top);
      y -= h;
      char rect[200];
      std::snprintf(rect, sizeof rect,
                    "<rect x=\"%d\" y=\"%.1f\" width=\"%d\" height=\"%.1f\" fill=\"%s\"/>", x, y,
                    kBar, h, color);
      svg += rect;
    }
    svg += "<title>" + d.day + ": OK " + std::to_string(d.count.ok) + ", TO " +
           std::to_string(d.count.to) + ", ER " + std::to_string(d.count.er) + "</title>";
    if (i % 5 == 0 || i + 1 == f.days.size()) {
      svg += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(kHeight + 16) +
             "\" font-size=\"10\">" + d.day.substr(5) + "</text>";
    }
  }
  svg += "<rect x=\"" + std::to_string(kWidth - 150) +
         "\" y=\"2\" width=\"10\" height=\"10\" fill=\"#2e7d32\"/><text x=\"" +
         std::to_string(kWidth - 136) + "\" y=\"11\" font-size=\"11\">OK</text>";
  svg += "<rect x=\"" + std::to_string(kWidth - 100) +
         "\" y=\"2\" width=\"10\" height=\"10\" fill=\"#ef6c00\"/><text x=\"" +
         std::to_string(kWidth - 86) + "\" y=\"11\" font-size=\"11\">TO</text>";
  svg += "<rect x=\"" + std::to_string(kWidth - 50) +
         "\" y=\"2\" width=\"10\" height=\"10\" fill=\"#c62828\"/><text x=\"" +
         std::to_string(kWidth - 36) + "\" y=\"11\" font-size=\"11\">ER</text>";
  return svg + "</svg>";
}

std::string Label(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out;
}

std::string Csv(const std::string& field) {
  std::string text = field;
  // A field a spreadsheet would take for a formula is kept as text.
  if (!text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@'))
    text = "'" + text;
  if (text.find_first_of(",\"\r\n;") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

}  // namespace

std::vector<std::string> TableHandhelds(FileSystem& fs, const std::string& tables_dir) {
  std::vector<std::string> ids;
  std::string dir = tables_dir;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (dir.empty()) dir = ".";
  std::vector<std::string> names;
  if (!fs.ListDirectory(dir, &names).ok()) return ids;
  for (const std::string& name : names) {
    if (name.size() == 9 && name.compare(0, 6, "TABLE.") == 0) {
      std::string id = name.substr(6);
      bool printable = std::all_of(id.begin(), id.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F;
      });
      if (printable) ids.push_back(id);
    }
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

Facts GatherFacts(const Snapshot& snapshot, int64_t now, int overdue_hours) {
  Facts f;
  f.snapshot = &snapshot;
  f.now = now;
  f.overdue_hours = overdue_hours;
  std::map<std::string, HandheldFacts> all;
  for (const auto& [id, record] : snapshot.history->handhelds) {
    all[id].id = id;
    all[id].record = record;
  }
  for (const std::string& id : snapshot.table_handhelds) {
    all[id].id = id;
    all[id].has_table = true;
  }
  for (auto& [id, h] : all) {
    h.overdue = h.record.last_ok == 0 || now - h.record.last_ok > int64_t{overdue_hours} * 3600;
    f.handhelds.push_back(h);
  }
  // The days by their local date, each taken at noon so that a change of
  // daylight saving time neither skips nor doubles one.
  std::time_t t = static_cast<std::time_t>(now);
  std::tm today{};
  localtime_r(&t, &today);
  for (int back = Facts::kChartDays - 1; back >= 0; --back) {
    std::tm day = today;
    day.tm_mday -= back;
    day.tm_hour = 12;
    day.tm_min = day.tm_sec = 0;
    day.tm_isdst = -1;
    DayFacts d;
    d.day = LocalDay(static_cast<int64_t>(std::mktime(&day)));
    auto it = snapshot.history->days.find(d.day);
    if (it != snapshot.history->days.end()) d.count = it->second;
    f.days.push_back(d);
  }
  return f;
}

std::string RenderPage(const Facts& f, int refresh_seconds) {
  const Snapshot& s = *f.snapshot;
  const Words& w = WordsOf(s.language);
  std::string p =
      "<!DOCTYPE html>\n<html lang=\"" + std::string(w.lang) + "\"><head><meta charset=\"utf-8\">";
  p += "<meta http-equiv=\"refresh\" content=\"" + std::to_string(refresh_seconds) + "\">";
  p += "<title>" + Html(w.title) +
       "</title><style>"
       "body{font-family:sans-serif;margin:1em 2em;color:#222}"
       "table{border-collapse:collapse;margin-bottom:1.5em}"
       "th,td{border:1px solid #bbb;padding:2px 8px;text-align:left;font-size:14px}"
       "th{background:#eee}.ok{color:#2e7d32}.to{color:#ef6c00}.er{color:#c62828}"
       ".overdue{background:#c62828;color:#fff;padding:0 6px;border-radius:3px}"
       ".disconnected{color:#c62828;font-weight:bold}</style></head><body>";
  p += "<h1>" + Html(w.title) + "</h1><p>" + Html(w.updated) + ": " + Html(When(w, f.now)) + "</p>";

  p += "<h2>" + Html(w.lines) + "</h2><table id=\"lines\"><tr><th>" + Html(w.line) + "</th><th>" +
       Html(w.port) + "</th><th>" + Html(w.state) + "</th><th>" + Html(w.handheld) + "</th><th>" +
       Html(w.file) + "</th><th>" + Html(w.progress) + "</th><th>" + Html(w.last_result) +
       "</th></tr>";
  for (size_t i = 0; i < s.lines.size(); ++i) {
    const LiveLine& l = s.lines[i];
    std::string progress;
    if (l.total > 0)
      progress = std::to_string(std::min<int64_t>(100, l.done * 100 / l.total)) + " %";
    std::string last = l.last_result + (l.last_reason.empty() ? "" : " (" + l.last_reason + ")");
    p += "<tr data-line=\"" + std::to_string(i + 1) + "\" data-state=\"" + Html(l.state) +
         "\"><td>" + std::to_string(i + 1) + "</td><td>" + Html(l.port) + "</td><td class=\"" +
         (l.disconnected ? "disconnected" : "") + "\">" + Html(StateWord(w, l.state)) +
         "</td><td>" + Html(l.handheld) + "</td><td>" + Html(l.file) + "</td><td>" + progress +
         "</td><td class=\"" + ResultClass(l.last_result) + "\">" + Html(last) + "</td></tr>";
  }
  p += "</table>";

  p += "<h2>" + Html(w.per_day) + "</h2>" + Chart(f, w);

  p += "<h2>" + Html(w.handhelds) + "</h2><table id=\"handhelds\"><tr><th>" + Html(w.handheld) +
       "</th><th>" + Html(w.table) + "</th><th>" + Html(w.last_exchange) + "</th><th>" +
       Html(w.last_ok) + "</th><th>" + Html(w.last_failure) + "</th><th>" + Html(w.reason) +
       "</th><th></th></tr>";
  for (const HandheldFacts& h : f.handhelds) {
    const HandheldRecord& r = h.record;
    std::string failure =
        r.last_failure == 0 ? w.never : When(w, r.last_failure) + " " + r.last_failure_result;
    p += "<tr data-handheld=\"" + Html(h.id) + "\"" + (h.overdue ? " data-overdue=\"1\"" : "") +
         "><td>" + Html(h.id) + "</td><td>" + (h.has_table ? w.yes : w.no) + "</td><td class=\"" +
         ResultClass(r.last_result) + "\">" + Html(When(w, r.last_exchange)) + " " +
         Html(r.last_result) + "</td><td>" + Html(When(w, r.last_ok)) + "</td><td>" +
         Html(failure) + "</td><td>" + Html(r.last_failure_reason) + "</td><td>" +
         (h.overdue ? "<span class=\"overdue\">" + Html(w.overdue) + "</span>" : "") + "</td></tr>";
  }
  p += "</table>";

  p += "<h2>" + Html(w.exchanges) + "</h2><table id=\"exchanges\"><tr><th>" + Html(w.start) +
       "</th><th>" + Html(w.line) + "</th><th>" + Html(w.handheld) + "</th><th>" + Html(w.result) +
       "</th><th>" + Html(w.duration) + "</th><th>" + Html(w.reason) + "</th><th>" +
       Html(w.received) + "</th><th>" + Html(w.sent) + "</th><th>" + Html(w.warnings) +
       "</th></tr>";
  const auto& recent = s.history->recent;
  size_t shown = 0;
  for (auto it = recent.rbegin(); it != recent.rend() && shown < 50; ++it, ++shown) {
    const ExchangeRecord& r = *it;
    p += "<tr><td>" + Html(When(w, r.start)) + "</td><td>" + std::to_string(r.line) + "</td><td>" +
         Html(r.handheld) + "</td><td class=\"" + ResultClass(r.result) + "\">" + Html(r.result) +
         "</td><td>" + Duration(r.duration_s) + "</td><td>" + Html(r.reason) + "</td><td>" +
         Html(FileList(r.received, w)) + "</td><td>" + Html(FileList(r.sent, w)) + "</td><td>" +
         Html(Joined(r.warnings)) + "</td></tr>";
  }
  if (recent.empty()) p += "<tr><td colspan=\"9\">" + Html(w.none) + "</td></tr>";
  p += "</table></body></html>\n";
  return p;
}

std::string RenderCsv(const Snapshot& s) {
  std::string out =
      "start,line,handheld,result,duration_s,reason,files_received,files_sent,warnings\r\n";
  for (const ExchangeRecord& r : s.history->recent) {
    out += Csv(LocalIso8601(r.start)) + "," + std::to_string(r.line) + "," + Csv(r.handheld) + "," +
           r.result + "," + std::to_string(r.duration_s) + "," + Csv(r.reason) + "," +
           Csv(FileList(r.received)) + "," + Csv(FileList(r.sent)) + "," + Csv(Joined(r.warnings)) +
           "\r\n";
  }
  return out;
}

std::string RenderMetrics(const Facts& f) {
  const Snapshot& s = *f.snapshot;
  const Counters& c = s.counters;
  std::string m;
  auto head = [&m](const char* name, const char* type, const char* help) {
    m += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  };
  head("kavelin2_exchanges_total", "counter",
       "Exchanges ended since the station started, by line and result.");
  static const char* const kCodes[] = {"OK", "TO", "ER"};
  for (size_t line = 0; line < c.exchanges.size(); ++line)
    for (int r = 0; r < 3; ++r)
      m += "kavelin2_exchanges_total{line=\"" + std::to_string(line + 1) + "\",result=\"" +
           kCodes[r] + "\"} " + std::to_string(c.exchanges[line][r]) + "\n";
  head("kavelin2_line_connected", "gauge", "1 when the line's device is open, else 0.");
  for (size_t line = 0; line < s.lines.size(); ++line)
    m += "kavelin2_line_connected{line=\"" + std::to_string(line + 1) + "\"} " +
         (s.lines[line].connected ? "1" : "0") + "\n";
  head("kavelin2_handheld_last_ok_timestamp_seconds", "gauge",
       "Start of the handheld's last OK exchange, in seconds since the epoch.");
  for (const HandheldFacts& h : f.handhelds)
    if (h.record.last_ok != 0)
      m += "kavelin2_handheld_last_ok_timestamp_seconds{handheld=\"" + Label(h.id) + "\"} " +
           std::to_string(h.record.last_ok) + "\n";
  head("kavelin2_handheld_overdue", "gauge",
       "1 when the handheld has had no OK exchange for the overdue period.");
  for (const HandheldFacts& h : f.handhelds)
    m += "kavelin2_handheld_overdue{handheld=\"" + Label(h.id) + "\"} " + (h.overdue ? "1" : "0") +
         "\n";
  head("kavelin2_records_received_total", "counter", "Records received since the station started.");
  m += "kavelin2_records_received_total " + std::to_string(c.records_received) + "\n";
  head("kavelin2_bytes_received_total", "counter", "Bytes received since the station started.");
  m += "kavelin2_bytes_received_total " + std::to_string(c.bytes_received) + "\n";
  head("kavelin2_bytes_sent_total", "counter", "Bytes sent since the station started.");
  m += "kavelin2_bytes_sent_total " + std::to_string(c.bytes_sent) + "\n";
  head("kavelin2_result_log_write_errors_total", "counter",
       "Result log records that could not be written since the station started.");
  m += "kavelin2_result_log_write_errors_total " + std::to_string(c.result_log_write_errors) + "\n";
  return m;
}

}  // namespace kavelin2::office
