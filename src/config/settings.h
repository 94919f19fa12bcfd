// The six settings records and their exact file images.
//
// Each settings file is the byte image of one record, with no header and no
// padding: numbers are 32-bit little-endian at the offsets below (some at odd
// offsets), texts are fixed-width NUL-terminated fields. The in-memory records
// are ordinary structs; the file images are always built and read field by
// field through Encode*/Decode*, never by copying a struct.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/line_format.h"

namespace kavelin2 {

// "CONF_COM.CFG": two entries of 23 bytes.
//   entry offset 0 ACTIVE (flag), 1 PORT (5 bytes text), 6 VITESSE, 10 DONNEES,
//   14 PARITE, 18 STOPBIT (int32 LE each), 22 IRDA (flag).
struct PortEntry {
  char ACTIVE = 0;
  char PORT[5] = {};  // may fill all five bytes with no terminator ("COM12")
  int32_t VITESSE = 0;
  int32_t DONNEES = 0;
  int32_t PARITE = 0;
  int32_t STOPBIT = 0;
  char IRDA = 0;
};
struct PortSettings {
  PortEntry line[2];
};
constexpr size_t kPortEntrySize = 23;

// The line format the entry's codes give.
inline LineFormat FormatOf(const PortEntry& entry) {
  return LineFormat{entry.VITESSE, entry.DONNEES, entry.PARITE, entry.STOPBIT};
}

// PORT as a string, bounded by its five bytes.
std::string PortName(const PortEntry& entry);
// True for a name the station can open: 1 to 5 letters, digits or '_'.
bool IsPortName(const std::string& name);
// Stores |name| (IsPortName) in PORT, zero-filled behind it.
void SetPortName(PortEntry& entry, const std::string& name);
constexpr size_t kPortSettingsSize = 46;

// "CONF_MOD.CFG": two entries of 32 bytes: MODEM (31 bytes text), PRESENT (flag).
struct ModemEntry {
  char MODEM[31] = {};
  char PRESENT = 0;
};
struct ModemSettings {
  ModemEntry line[2];
};
constexpr size_t kModemSettingsSize = 64;

// "CHEMIN.CFG": four texts of 81 bytes, used as plain prefixes of file names.
struct PathSettings {
  char TABLE[81] = {};
  char RECU[81] = {};
  char TRANS[81] = {};
  char FICLOG[81] = {};
};
constexpr size_t kPathSettingsSize = 324;

// "CONF_FIC.CFG": six flags, in file order.
struct FileOptions {
  char SUP_TAB = 0;
  char APPEND = 0;
  char PORTABLE = 0;
  char SUP_FIC = 0;
  char ADD_CRLF = 0;
  char DOS = 0;
};
constexpr size_t kFileOptionsSize = 6;

// "HEURE.CFG", 401 bytes: 0 AVANT, 1 HEUREC (5, no terminator), 6 SELC,
// 7 PROGC (129), 136 HEURED (5), 141 SELD, 142 PROGD (129), 271 SELFIN,
// 272 PROGFIN (129).
struct ScheduleSettings {
  char AVANT = 0;
  char HEUREC[5] = {};  // exactly five characters, NUL-padded, no terminator
  char SELC = 0;
  char PROGC[129] = {};
  char HEURED[5] = {};
  char SELD = 0;
  char PROGD[129] = {};
  char SELFIN = 0;
  char PROGFIN[129] = {};
};
constexpr size_t kScheduleSettingsSize = 401;

// "LANGUE.CFG": 9 bytes, the language name and zeros.
constexpr size_t kLanguageSize = 9;

// Which settings file.
enum class SettingsFile { kPorts, kModems, kPaths, kFileOptions, kSchedule, kLanguage };

// The plain file name ("CONF_COM.CFG", ...) and the record size of |file|.
const char* SettingsFileName(SettingsFile file);
size_t SettingsFileSize(SettingsFile file);

// File images. Encode writes exactly the record size into |out|.
// Decode reads |size| bytes (clamped to the record size) over the leading part
// of the record's current image, so a short file changes only the fields (or
// the leading bytes of the field) it covers and leaves the rest as it was.
void EncodePortSettings(const PortSettings& in, uint8_t out[kPortSettingsSize]);
void DecodePortSettings(const uint8_t* data, size_t size, PortSettings* rec);
void EncodeModemSettings(const ModemSettings& in, uint8_t out[kModemSettingsSize]);
void DecodeModemSettings(const uint8_t* data, size_t size, ModemSettings* rec);
void EncodePathSettings(const PathSettings& in, uint8_t out[kPathSettingsSize]);
void DecodePathSettings(const uint8_t* data, size_t size, PathSettings* rec);
void EncodeFileOptions(const FileOptions& in, uint8_t out[kFileOptionsSize]);
void DecodeFileOptions(const uint8_t* data, size_t size, FileOptions* rec);
void EncodeScheduleSettings(const ScheduleSettings& in, uint8_t out[kScheduleSettingsSize]);
void DecodeScheduleSettings(const uint8_t* data, size_t size, ScheduleSettings* rec);

// The six records as the station holds them in memory.
struct Settings {
  PortSettings Ports;
  ModemSettings Modems;
  PathSettings Paths;
  FileOptions Options;
  ScheduleSettings Schedule;
  char CurrentLanguage[kLanguageSize] = {};
};

// The defaults that ReloadOrCreate writes for a missing file.
void SetDefaults(Settings& st, SettingsFile file);

// True when the 9-byte field |name| holds "Francais", "Anglais" or "Espagnol".
bool IsKnownLanguage(const char* name);

// Copies the reply text into a fixed field of |width| bytes (at most width-1
// characters and a NUL, the rest zero): a longer value is cut, never spills.
void CopyField(char* field, size_t width, const char* text);

}  // namespace kavelin2
