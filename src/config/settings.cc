// Settings records and their file images: names, sizes, codecs, defaults.
//
// Every image is built and read field by field at named offsets, so the files
// stay byte-exact whatever layout the compiler gives the in-memory records.
#include "config/settings.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace kavelin2 {
namespace {

// "CONF_COM.CFG", offsets inside one 23-byte entry.
constexpr size_t kOffActive = 0;
constexpr size_t kOffPort = 1;
constexpr size_t kOffVitesse = 6;
constexpr size_t kOffDonnees = 10;
constexpr size_t kOffParite = 14;
constexpr size_t kOffStopbit = 18;
constexpr size_t kOffIrda = 22;

// "CONF_MOD.CFG", offsets inside one 32-byte entry.
constexpr size_t kModemEntrySize = 32;
constexpr size_t kOffModem = 0;
constexpr size_t kOffPresent = 31;

// "CHEMIN.CFG": four texts of 81 bytes.
constexpr size_t kPathWidth = 81;

// "HEURE.CFG".
constexpr size_t kOffAvant = 0;
constexpr size_t kOffHeurec = 1;
constexpr size_t kOffSelc = 6;
constexpr size_t kOffProgc = 7;
constexpr size_t kOffHeured = 136;
constexpr size_t kOffSeld = 141;
constexpr size_t kOffProgd = 142;
constexpr size_t kOffSelfin = 271;
constexpr size_t kOffProgfin = 272;
constexpr size_t kTimeWidth = 5;
constexpr size_t kProgWidth = 129;
// The program fields are copied by their record width: it must be the file's.
static_assert(sizeof ScheduleSettings{}.PROGC == kProgWidth &&
              sizeof ScheduleSettings{}.PROGD == kProgWidth &&
              sizeof ScheduleSettings{}.PROGFIN == kProgWidth);

void PutInt32(uint8_t* p, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  p[0] = static_cast<uint8_t>(u);
  p[1] = static_cast<uint8_t>(u >> 8);
  p[2] = static_cast<uint8_t>(u >> 16);
  p[3] = static_cast<uint8_t>(u >> 24);
}

int32_t GetInt32(const uint8_t* p) {
  uint32_t u = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  return static_cast<int32_t>(u);
}

// A text field goes to and from the file as its whole width, bytes behind the
// terminator included, so an image read and written back is unchanged.
template <size_t N>
void PutBytes(uint8_t* p, const char (&field)[N]) {
  std::memcpy(p, field, N);
}

// A file is hostile input: a text read from it is always terminated in its
// last byte, so no consumer ever runs past the field.
template <size_t N>
void GetText(const uint8_t* p, char (&field)[N]) {
  std::memcpy(field, p, N);
  field[N - 1] = 0;
}

// The two times are exactly five characters, with no terminator.
void GetTime(const uint8_t* p, char (&field)[kTimeWidth]) { std::memcpy(field, p, kTimeWidth); }

char GetFlag(const uint8_t* p) { return static_cast<char>(*p); }
uint8_t PutFlag(char c) { return static_cast<uint8_t>(c); }

// Lays |size| bytes of |data| over the leading part of |image| (at most
// |image_size|); the rest of the image keeps what it held.
void Overlay(uint8_t* image, size_t image_size, const uint8_t* data, size_t size) {
  if (data != nullptr && size > 0) std::memcpy(image, data, size < image_size ? size : image_size);
}

struct FileInfo {
  const char* name;
  size_t size;
};

constexpr FileInfo kFiles[] = {
    {"CONF_COM.CFG", kPortSettingsSize},  {"CONF_MOD.CFG", kModemSettingsSize},
    {"CHEMIN.CFG", kPathSettingsSize},    {"CONF_FIC.CFG", kFileOptionsSize},
    {"HEURE.CFG", kScheduleSettingsSize}, {"LANGUE.CFG", kLanguageSize},
};

}  // namespace

const char* SettingsFileName(SettingsFile file) { return kFiles[static_cast<int>(file)].name; }

size_t SettingsFileSize(SettingsFile file) { return kFiles[static_cast<int>(file)].size; }

void EncodePortSettings(const PortSettings& in, uint8_t out[kPortSettingsSize]) {
  for (int i = 0; i < 2; ++i) {
    const PortEntry& e = in.line[i];
    uint8_t* p = out + i * kPortEntrySize;
    p[kOffActive] = PutFlag(e.ACTIVE);
    PutBytes(p + kOffPort, e.PORT);
    PutInt32(p + kOffVitesse, e.VITESSE);
    PutInt32(p + kOffDonnees, e.DONNEES);
    PutInt32(p + kOffParite, e.PARITE);
    PutInt32(p + kOffStopbit, e.STOPBIT);
    p[kOffIrda] = PutFlag(e.IRDA);
  }
}

void DecodePortSettings(const uint8_t* data, size_t size, PortSettings* rec) {
  uint8_t image[kPortSettingsSize];
  EncodePortSettings(*rec, image);
  Overlay(image, sizeof image, data, size);
  for (int i = 0; i < 2; ++i) {
    PortEntry& e = rec->line[i];
    const uint8_t* p = image + i * kPortEntrySize;
    e.ACTIVE = GetFlag(p + kOffActive);
    // All five bytes, as the times are: a name may fill the field ("COM12",
    // which DevicePathForPort takes), and cutting it would name another port.
    std::memcpy(e.PORT, p + kOffPort, sizeof e.PORT);
    e.VITESSE = GetInt32(p + kOffVitesse);
    e.DONNEES = GetInt32(p + kOffDonnees);
    e.PARITE = GetInt32(p + kOffParite);
    e.STOPBIT = GetInt32(p + kOffStopbit);
    e.IRDA = GetFlag(p + kOffIrda);
  }
}

void EncodeModemSettings(const ModemSettings& in, uint8_t out[kModemSettingsSize]) {
  for (int i = 0; i < 2; ++i) {
    uint8_t* p = out + i * kModemEntrySize;
    PutBytes(p + kOffModem, in.line[i].MODEM);
    p[kOffPresent] = PutFlag(in.line[i].PRESENT);
  }
}

void DecodeModemSettings(const uint8_t* data, size_t size, ModemSettings* rec) {
  uint8_t image[kModemSettingsSize];
  EncodeModemSettings(*rec, image);
  Overlay(image, sizeof image, data, size);
  for (int i = 0; i < 2; ++i) {
    const uint8_t* p = image + i * kModemEntrySize;
    GetText(p + kOffModem, rec->line[i].MODEM);
    rec->line[i].PRESENT = GetFlag(p + kOffPresent);
  }
}

void EncodePathSettings(const PathSettings& in, uint8_t out[kPathSettingsSize]) {
  PutBytes(out, in.TABLE);
  PutBytes(out + kPathWidth, in.RECU);
  PutBytes(out + 2 * kPathWidth, in.TRANS);
  PutBytes(out + 3 * kPathWidth, in.FICLOG);
}

void DecodePathSettings(const uint8_t* data, size_t size, PathSettings* rec) {
  uint8_t image[kPathSettingsSize];
  EncodePathSettings(*rec, image);
  Overlay(image, sizeof image, data, size);
  GetText(image, rec->TABLE);
  GetText(image + kPathWidth, rec->RECU);
  GetText(image + 2 * kPathWidth, rec->TRANS);
  GetText(image + 3 * kPathWidth, rec->FICLOG);
}

void EncodeFileOptions(const FileOptions& in, uint8_t out[kFileOptionsSize]) {
  out[0] = PutFlag(in.SUP_TAB);
  out[1] = PutFlag(in.APPEND);
  out[2] = PutFlag(in.PORTABLE);
  out[3] = PutFlag(in.SUP_FIC);
  out[4] = PutFlag(in.ADD_CRLF);
  out[5] = PutFlag(in.DOS);
}

void DecodeFileOptions(const uint8_t* data, size_t size, FileOptions* rec) {
  uint8_t image[kFileOptionsSize];
  EncodeFileOptions(*rec, image);
  Overlay(image, sizeof image, data, size);
  rec->SUP_TAB = GetFlag(image);
  rec->APPEND = GetFlag(image + 1);
  rec->PORTABLE = GetFlag(image + 2);
  rec->SUP_FIC = GetFlag(image + 3);
  rec->ADD_CRLF = GetFlag(image + 4);
  rec->DOS = GetFlag(image + 5);
}

void EncodeScheduleSettings(const ScheduleSettings& in, uint8_t out[kScheduleSettingsSize]) {
  out[kOffAvant] = PutFlag(in.AVANT);
  PutBytes(out + kOffHeurec, in.HEUREC);
  out[kOffSelc] = PutFlag(in.SELC);
  PutBytes(out + kOffProgc, in.PROGC);
  PutBytes(out + kOffHeured, in.HEURED);
  out[kOffSeld] = PutFlag(in.SELD);
  PutBytes(out + kOffProgd, in.PROGD);
  out[kOffSelfin] = PutFlag(in.SELFIN);
  PutBytes(out + kOffProgfin, in.PROGFIN);
}

void DecodeScheduleSettings(const uint8_t* data, size_t size, ScheduleSettings* rec) {
  uint8_t image[kScheduleSettingsSize];
  EncodeScheduleSettings(*rec, image);
  Overlay(image, sizeof image, data, size);
  rec->AVANT = GetFlag(image + kOffAvant);
  GetTime(image + kOffHeurec, rec->HEUREC);
  rec->SELC = GetFlag(image + kOffSelc);
  GetText(image + kOffProgc, rec->PROGC);
  GetTime(image + kOffHeured, rec->HEURED);
  rec->SELD = GetFlag(image + kOffSeld);
  GetText(image + kOffProgd, rec->PROGD);
  rec->SELFIN = GetFlag(image + kOffSelfin);
  GetText(image + kOffProgfin, rec->PROGFIN);
}

void SetDefaults(Settings& st, SettingsFile file) {
  switch (file) {
    case SettingsFile::kPorts:
      for (int i = 0; i < 2; ++i) {
        PortEntry& e = st.Ports.line[i];
        std::memcpy(e.PORT, i == 0 ? "COM1" : "COM2", sizeof e.PORT);
        e.ACTIVE = 'N';
        e.IRDA = 'N';
        e.VITESSE = 1;
        e.DONNEES = 2;
        e.PARITE = 1;
        e.STOPBIT = 1;
      }
      break;
    case SettingsFile::kModems:
      st.Modems = ModemSettings{};
      st.Modems.line[0].PRESENT = 'N';
      st.Modems.line[1].PRESENT = 'N';
      break;
    case SettingsFile::kPaths:
      st.Paths = PathSettings{};
      break;
    case SettingsFile::kFileOptions:
      st.Options = FileOptions{'N', 'N', 'N', 'N', 'N', 'N'};
      break;
    case SettingsFile::kSchedule:
      st.Schedule = ScheduleSettings{};
      std::memcpy(st.Schedule.HEURED, "00:00", kTimeWidth);
      std::memcpy(st.Schedule.HEUREC, "00:00", kTimeWidth);
      st.Schedule.SELFIN = 'N';
      st.Schedule.SELC = 'N';
      st.Schedule.SELD = 'N';
      st.Schedule.AVANT = 'O';
      break;
    case SettingsFile::kLanguage:
      CopyField(st.CurrentLanguage, sizeof st.CurrentLanguage, "Francais");
      break;
  }
}

bool IsKnownLanguage(const char* name) {
  for (const char* known : {"Francais", "Anglais", "Espagnol"}) {
    if (std::strncmp(name, known, kLanguageSize) == 0) return true;
  }
  return false;
}

std::string PortName(const PortEntry& entry) {
  return std::string(entry.PORT, strnlen(entry.PORT, sizeof entry.PORT));
}

bool IsPortName(const std::string& name) {
  if (name.empty() || name.size() > sizeof PortEntry{}.PORT) return false;
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  }
  return true;
}

void SetPortName(PortEntry& entry, const std::string& name) {
  std::memset(entry.PORT, 0, sizeof entry.PORT);
  std::memcpy(entry.PORT, name.data(), std::min(name.size(), sizeof entry.PORT));
}

void CopyField(char* field, size_t width, const char* text) {
  if (width == 0) return;
  std::memset(field, 0, width);
  if (text != nullptr) std::memcpy(field, text, strnlen(text, width - 1));
}

}  // namespace kavelin2
