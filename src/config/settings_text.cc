// The settings records as text and back. Every key maps to one field (the
// line format to three) of one record; the records are read and written
// through ReloadOrCreate and StoreSettings, as the dialogs do.
#include "config/settings_text.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>

#include "config/settings.h"

namespace kavelin2 {
namespace {

enum class Kind { kFlag, kPortName, kSpeed, kFormat, kText, kPath, kTime, kLanguage };

// One key: its name, its file, its kind and the field(s) it stands for.
struct Key {
  std::string name;
  SettingsFile file;
  Kind kind;
  char* flag = nullptr;
  char* text = nullptr;    // text, port name, time, language
  size_t width = 0;        // of |text|
  int32_t* codes[3] = {};  // speed: codes[0]; format: data bits, parity, stop bits
};

std::vector<Key> Keys(Settings& st) {
  std::vector<Key> keys;
  auto flag = [&](std::string name, SettingsFile file, char* f) {
    Key k{std::move(name), file, Kind::kFlag};
    k.flag = f;
    keys.push_back(k);
  };
  auto text = [&](std::string name, SettingsFile file, Kind kind, char* t, size_t width) {
    Key k{std::move(name), file, kind};
    k.text = t;
    k.width = width;
    keys.push_back(k);
  };
  for (int i = 0; i < 2; ++i) {
    PortEntry& e = st.Ports.line[i];
    std::string line = "line" + std::to_string(i + 1) + ".";
    flag(line + "active", SettingsFile::kPorts, &e.ACTIVE);
    text(line + "port", SettingsFile::kPorts, Kind::kPortName, e.PORT, sizeof e.PORT);
    Key speed{line + "speed", SettingsFile::kPorts, Kind::kSpeed};
    speed.codes[0] = &e.VITESSE;
    keys.push_back(speed);
    Key format{line + "format", SettingsFile::kPorts, Kind::kFormat};
    format.codes[0] = &e.DONNEES;
    format.codes[1] = &e.PARITE;
    format.codes[2] = &e.STOPBIT;
    keys.push_back(format);
    flag(line + "infrared", SettingsFile::kPorts, &e.IRDA);
  }
  for (int i = 0; i < 2; ++i) {
    ModemEntry& e = st.Modems.line[i];
    std::string line = "line" + std::to_string(i + 1) + ".";
    flag(line + "modem", SettingsFile::kModems, &e.PRESENT);
    text(line + "modem_command", SettingsFile::kModems, Kind::kText, e.MODEM, sizeof e.MODEM);
  }
  PathSettings& p = st.Paths;
  text("dir.tables", SettingsFile::kPaths, Kind::kPath, p.TABLE, sizeof p.TABLE);
  text("dir.received", SettingsFile::kPaths, Kind::kPath, p.RECU, sizeof p.RECU);
  text("dir.to_send", SettingsFile::kPaths, Kind::kPath, p.TRANS, sizeof p.TRANS);
  text("dir.log", SettingsFile::kPaths, Kind::kPath, p.FICLOG, sizeof p.FICLOG);
  FileOptions& o = st.Options;
  flag("files.remove_table", SettingsFile::kFileOptions, &o.SUP_TAB);
  flag("files.append", SettingsFile::kFileOptions, &o.APPEND);
  flag("files.remove_table_on_failure", SettingsFile::kFileOptions, &o.PORTABLE);
  flag("files.remove_sent", SettingsFile::kFileOptions, &o.SUP_FIC);
  flag("files.add_crlf", SettingsFile::kFileOptions, &o.ADD_CRLF);
  flag("files.dos", SettingsFile::kFileOptions, &o.DOS);
  ScheduleSettings& s = st.Schedule;
  flag("schedule.c.enabled", SettingsFile::kSchedule, &s.SELC);
  text("schedule.c.time", SettingsFile::kSchedule, Kind::kTime, s.HEUREC, sizeof s.HEUREC);
  text("schedule.c.command", SettingsFile::kSchedule, Kind::kText, s.PROGC, sizeof s.PROGC);
  flag("schedule.d.enabled", SettingsFile::kSchedule, &s.SELD);
  text("schedule.d.time", SettingsFile::kSchedule, Kind::kTime, s.HEURED, sizeof s.HEURED);
  text("schedule.d.command", SettingsFile::kSchedule, Kind::kText, s.PROGD, sizeof s.PROGD);
  flag("schedule.after_exchange.enabled", SettingsFile::kSchedule, &s.SELFIN);
  text("schedule.after_exchange.command", SettingsFile::kSchedule, Kind::kText, s.PROGFIN,
       sizeof s.PROGFIN);
  flag("schedule.quit_after_launch", SettingsFile::kSchedule, &s.AVANT);
  text("language", SettingsFile::kLanguage, Kind::kLanguage, st.CurrentLanguage,
       sizeof st.CurrentLanguage);
  return keys;
}

// The speed codes of the port settings, in code order from 1.
constexpr int32_t kSpeeds[] = {256000, 115200, 57600, 38400, 19200, 9600, 2400, 1200};
constexpr const char* kParities = "NEOM";               // codes 1 to 4
constexpr const char* kStopBits[] = {"1", "1.5", "2"};  // codes 1 to 3

struct LanguageName {
  const char* stored;
  const char* word;
};
constexpr LanguageName kLanguageNames[] = {
    {"Francais", "French"}, {"Anglais", "English"}, {"Espagnol", "Spanish"}};

const char* FileTitle(SettingsFile file) {
  switch (file) {
    case SettingsFile::kPorts:
      return "serial lines";
    case SettingsFile::kModems:
      return "modems";
    case SettingsFile::kPaths:
      return "directories, used as prefixes of file names";
    case SettingsFile::kFileOptions:
      return "file handling";
    case SettingsFile::kSchedule:
      return "scheduled programs";
    case SettingsFile::kLanguage:
      return "language";
  }
  return "";
}

std::string Allowed(const Key& k) {
  switch (k.kind) {
    case Kind::kFlag:
      return "yes | no";
    case Kind::kPortName:
      return "1 to 4 letters, digits or _ (COMn is /dev/ttyS<n-1>; KAVELIN2_PORT_<NAME> names any "
             "device)";
    case Kind::kSpeed:
      return "256000 | 115200 | 57600 | 38400 | 19200 | 9600 | 2400 | 1200";
    case Kind::kFormat:
      return "data bits 7|8, parity N|E|O|M, stop bits 1|1.5|2, e.g. 8N1, 7E1, 8N2";
    case Kind::kText:
      return "a text of at most " + std::to_string(k.width - 1) + " characters";
    case Kind::kPath:
      return "a directory of at most " + std::to_string(k.width - 1) +
             " characters, / added at its end when missing; \"\" the working directory";
    case Kind::kTime:
      return "HH:MM, 00:00 to 23:59";
    case Kind::kLanguage:
      return "French | English | Spanish";
  }
  return "";
}

// A text in double quotes, every byte that is not plain printable ASCII (and
// the quote and the backslash) escaped, so any field reads back unchanged.
std::string Quote(const char* bytes, size_t size) {
  std::string out = "\"";
  for (size_t i = 0; i < size; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out + "\"";
}

bool ValidPortName(const std::string& name) {
  if (name.empty() || name.size() > 4) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

bool ValidTime(const char* t) {
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (!digit(t[0]) || !digit(t[1]) || t[2] != ':' || !digit(t[3]) || !digit(t[4])) return false;
  return (t[0] - '0') * 10 + (t[1] - '0') < 24 && t[3] < '6';
}

// The value of |k| as the text shows it.
std::string Render(const Key& k) {
  switch (k.kind) {
    case Kind::kFlag:
      if (*k.flag == 'O') return "yes";
      if (*k.flag == 'N') return "no";
      return "?" + Quote(k.flag, 1);
    case Kind::kPortName: {
      std::string name(k.text, strnlen(k.text, k.width));
      return ValidPortName(name) ? name : "?" + Quote(name.data(), name.size());
    }
    case Kind::kSpeed: {
      int32_t code = *k.codes[0];
      if (code >= 1 && code <= 8) return std::to_string(kSpeeds[code - 1]);
      return "?" + std::to_string(code);
    }
    case Kind::kFormat: {
      // Only code 1 selects 7 data bits; every other code is 8.
      int32_t data = *k.codes[0], parity = *k.codes[1], stop = *k.codes[2];
      if (parity >= 1 && parity <= 4 && stop >= 1 && stop <= 3)
        return (data == 1 ? "7" : "8") + std::string(1, kParities[parity - 1]) +
               kStopBits[stop - 1];
      return "?" + std::to_string(data) + "," + std::to_string(parity) + "," + std::to_string(stop);
    }
    case Kind::kText:
    case Kind::kPath:
      return Quote(k.text, strnlen(k.text, k.width));
    case Kind::kTime:
      if (ValidTime(k.text)) return std::string(k.text, 5);
      return "?" + Quote(k.text, 5);
    case Kind::kLanguage:
      for (const LanguageName& l : kLanguageNames)
        if (std::strncmp(k.text, l.stored, k.width) == 0) return l.word;
      return "?" + Quote(k.text, strnlen(k.text, k.width));
  }
  return "";
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The value part of a line: |raw| as written (for the "kept as it is"
// comparison) and |value| with its quotes and escapes resolved. A quoted
// value may be followed by a comment; an unquoted one is the rest of the line
// for a text, and up to a '#' for every other kind. False with |why| on bad
// quoting.
bool SplitValue(const std::string& rest, bool text_kind, std::string* raw, std::string* value,
                std::string* why) {
  std::string v = Trim(rest);
  size_t quote = v.rfind('?', 0) == 0 ? 1 : 0;
  if (v.size() > quote && v[quote] == '"') {
    std::string out;
    size_t i = quote + 1;
    for (; i < v.size() && v[i] != '"'; ++i) {
      if (v[i] != '\\') {
        out += v[i];
        continue;
      }
      if (i + 1 >= v.size()) break;
      char e = v[++i];
      if (e == '"' || e == '\\') {
        out += e;
      } else if (e == 'x' && i + 2 < v.size() && HexDigit(v[i + 1]) >= 0 &&
                 HexDigit(v[i + 2]) >= 0) {
        out += static_cast<char>(HexDigit(v[i + 1]) * 16 + HexDigit(v[i + 2]));
        i += 2;
      } else {
        *why = "bad escape \\" + std::string(1, e) + " (use \\\", \\\\ or \\xHH)";
        return false;
      }
    }
    if (i >= v.size()) {
      *why = "no closing quote";
      return false;
    }
    std::string after = Trim(v.substr(i + 1));
    if (!after.empty() && after[0] != '#') {
      *why = "text after the closing quote";
      return false;
    }
    *raw = v.substr(0, i + 1);
    *value = out;
    return true;
  }
  if (!text_kind) {
    size_t hash = v.find('#');
    if (hash != std::string::npos) v = Trim(v.substr(0, hash));
  }
  *raw = v;
  *value = v;
  return true;
}

// Parses |value| for |k| and, when |apply|, stores it in the field(s) as the
// matching dialog stores what its window returns. False when the value is
// not an allowed one.
bool Parse(const Key& k, const std::string& value, bool apply) {
  switch (k.kind) {
    case Kind::kFlag: {
      std::string v = Lower(value);
      if (v != "yes" && v != "no") return false;
      if (apply) *k.flag = v == "yes" ? 'O' : 'N';
      return true;
    }
    case Kind::kPortName:
      if (!ValidPortName(value)) return false;
      if (apply) CopyField(k.text, k.width, value.c_str());
      return true;
    case Kind::kSpeed:
      for (int32_t code = 1; code <= 8; ++code) {
        if (value != std::to_string(kSpeeds[code - 1])) continue;
        if (apply) *k.codes[0] = code;
        return true;
      }
      return false;
    case Kind::kFormat: {
      std::string v = value;
      if (v.size() < 3 || (v[0] != '7' && v[0] != '8')) return false;
      size_t parity = std::string(kParities).find(
          static_cast<char>(std::toupper(static_cast<unsigned char>(v[1]))));
      if (parity == std::string::npos) return false;
      for (int32_t stop = 1; stop <= 3; ++stop) {
        if (v.substr(2) != kStopBits[stop - 1]) continue;
        if (apply) {
          *k.codes[0] = v[0] == '7' ? 1 : 2;
          *k.codes[1] = static_cast<int32_t>(parity) + 1;
          *k.codes[2] = stop;
        }
        return true;
      }
      return false;
    }
    case Kind::kText:
    case Kind::kPath: {
      if (value.find('\0') != std::string::npos) return false;
      std::string v = value;
      // A directory is a prefix of file names: without its separator the
      // files would be named beside it ("RECUFILE" instead of "RECU/FILE").
      if (k.kind == Kind::kPath && !v.empty() && v.back() != '/' && v.back() != '\\') v += '/';
      if (v.size() > k.width - 1) return false;
      if (apply) CopyField(k.text, k.width, v.c_str());
      return true;
    }
    case Kind::kTime:
      if (value.size() != 5 || !ValidTime(value.c_str())) return false;
      if (apply) std::memcpy(k.text, value.data(), 5);
      return true;
    case Kind::kLanguage:
      for (const LanguageName& l : kLanguageNames) {
        if (Lower(value) != Lower(l.word) && Lower(value) != Lower(l.stored)) continue;
        if (apply) CopyField(k.text, k.width, l.stored);
        return true;
      }
      return false;
  }
  return false;
}

// What one line asks: a key and its value, or nothing (blank, comment).
struct Request {
  const Key* key = nullptr;
  std::string raw;
  std::string value;
};

}  // namespace

std::string SettingsText(Settings& st) {
  std::string out =
      "# kavelin2 settings: one \"key = value\" a line, grouped by settings file.\n"
      "# Change them with \"kavelin2 config set KEY=VALUE\" or \"kavelin2 config import FILE\".\n"
      "# Texts are in double quotes (\\\" \\\\ and \\xHH inside). A value shown as ?... is\n"
      "# none the station knows; given back as it stands, it is kept as it is.\n";
  std::vector<Key> keys = Keys(st);
  bool first = true;
  SettingsFile current = SettingsFile::kPorts;
  for (const Key& k : keys) {
    if (first || k.file != current) {
      out += std::string("\n# ") + SettingsFileName(k.file) + ": " + FileTitle(k.file) + "\n";
      current = k.file;
      first = false;
    }
    std::string line = k.name + " = " + Render(k);
    if (line.size() < 40) line.resize(40, ' ');
    out += line + "  # " + Allowed(k) + "\n";
  }
  return out;
}

bool ApplySettingsText(Settings& st, const std::vector<SettingsTextLine>& lines,
                       const std::string& origin, std::vector<SettingsFile>* changed,
                       std::string* error) {
  std::vector<Key> keys = Keys(st);
  std::vector<Request> requests;
  std::set<std::string> seen;
  // Every line is checked before any field changes.
  for (const SettingsTextLine& line : lines) {
    std::string text = Trim(line.text);
    if (text.empty() || text[0] == '#') continue;
    std::string where = origin + std::to_string(line.number) + ": ";
    size_t eq = text.find('=');
    if (eq == std::string::npos) {
      *error = where + "\"" + text + "\" is not \"key = value\"";
      return false;
    }
    std::string name = Trim(text.substr(0, eq));
    Request r;
    for (const Key& k : keys)
      if (k.name == name) r.key = &k;
    if (r.key == nullptr) {
      *error =
          where + "unknown key \"" + name + "\" (keys: as \"kavelin2 config show\" lists them)";
      return false;
    }
    if (!seen.insert(name).second) {
      *error = where + name + ": given twice";
      return false;
    }
    const Key& k = *r.key;
    std::string why;
    bool text_kind = k.kind == Kind::kText || k.kind == Kind::kPath;
    if (!SplitValue(text.substr(eq + 1), text_kind, &r.raw, &r.value, &why)) {
      *error = where + name + ": " + why + "; allowed: " + Allowed(k);
      return false;
    }
    // The value as shown keeps the field as it is, even one no allowed value
    // gives, so that an exported text read back changes no byte.
    if (r.raw == Render(k)) continue;
    if (!Parse(k, r.value, false)) {
      *error = where + name + ": bad value " + Quote(r.value.data(), r.value.size()) +
               "; allowed: " + Allowed(k);
      return false;
    }
    requests.push_back(r);
  }
  std::set<SettingsFile> files;
  for (const Request& r : requests) {
    Parse(*r.key, r.value, true);
    files.insert(r.key->file);
  }
  changed->assign(files.begin(), files.end());
  return true;
}

}  // namespace kavelin2
