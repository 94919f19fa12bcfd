// Hostile settings files: each of the six images is loaded from the input,
// then everything that reads the records runs on them: the six dialogs (shown
// and cancelled), the opening of the lines and the modem set-up.
//
// Input: byte 0 picks the file (modulo 6) that gets the rest of the input as
// its image; the other five files hold their defaults. Checks: no crash or
// sanitizer report; every text of a record is terminated inside its field
// after loading; cancelled dialogs leave every setting as it was; no
// file is written outside the working directory.
#include <cstring>
#include <string>

#include "config/settings.h"
#include "dialogs/dialogs.h"
#include "fuzz_station.h"
#include "fuzz_support.h"
#include "line/line.h"
#include "platform/termios_settings.h"

using namespace kavelin2;
using namespace kavelin2::fuzz;

namespace {

constexpr SettingsFile kFiles[] = {SettingsFile::kPorts,    SettingsFile::kModems,
                                   SettingsFile::kPaths,    SettingsFile::kFileOptions,
                                   SettingsFile::kSchedule, SettingsFile::kLanguage};

template <size_t N>
void CheckText(const char (&field)[N], const char* what) {
  Check(std::memchr(field, 0, N) != nullptr, what);
}

// The six records as their file images, back to back.
std::string Images(const Station& st) {
  uint8_t ports[kPortSettingsSize], modems[kModemSettingsSize], paths[kPathSettingsSize],
      options[kFileOptionsSize], schedule[kScheduleSettingsSize];
  EncodePortSettings(st.Ports, ports);
  EncodeModemSettings(st.Modems, modems);
  EncodePathSettings(st.Paths, paths);
  EncodeFileOptions(st.Options, options);
  EncodeScheduleSettings(st.Schedule, schedule);
  std::string all;
  for (auto [p, n] : {std::pair<const uint8_t*, size_t>{ports, sizeof ports},
                      {modems, sizeof modems},
                      {paths, sizeof paths},
                      {options, sizeof options},
                      {schedule, sizeof schedule}}) {
    all.append(reinterpret_cast<const char*>(p), n);
  }
  all.append(st.CurrentLanguage, kLanguageSize);
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const SettingsFile chosen = kFiles[in.Byte() % 6];
  const std::string image(reinterpret_cast<const char*>(in.rest()), in.rest_size());
  ConfinedDir dir;
  FuzzStation fs;
  Station& st = fs.st;
  fs.serial.AddLine("COM1");
  fs.serial.AddLine("COM2");

  // Defaults on disk for the other files, the fuzzed image for one.
  for (SettingsFile f : kFiles) {
    SetDefaults(st, f);
    StoreSettings(st, f);
  }
  WriteFile(SettingsFileName(chosen), image);

  LoadSettings(st);
  LoadLanguage(st);
  for (const ModemEntry& m : st.Modems.line) CheckText(m.MODEM, "MODEM not terminated");
  CheckText(st.Paths.TABLE, "TABLE not terminated");
  CheckText(st.Paths.RECU, "RECU not terminated");
  CheckText(st.Paths.TRANS, "TRANS not terminated");
  CheckText(st.Paths.FICLOG, "FICLOG not terminated");
  CheckText(st.Schedule.PROGC, "PROGC not terminated");
  CheckText(st.Schedule.PROGD, "PROGD not terminated");
  CheckText(st.Schedule.PROGFIN, "PROGFIN not terminated");
  CheckText(st.CurrentLanguage, "the language not terminated");

  // What reads the records: the line settings of each port, the lines and
  // the modems, and every dialog (the fake runtime cancels each).
  for (const PortEntry& p : st.Ports.line) {
    termios current{};
    (void)BuildLineSettings(FormatOf(p), current);
  }
  if (OpenLines(st)) {
    InitModems(st);
  }
  CloseLines(st);
  const std::string before = Images(st);
  EditPortSettings(st);
  EditModemSettings(st);
  EditPathSettings(st);
  EditFileOptions(st);
  EditSchedule(st);
  EditLanguage(st);
  Check(Images(st) == before, "a cancelled dialog changed a setting");
  dir.CheckConfined({"CHEMIN.CFG", "CONF_COM.CFG", "CONF_FIC.CFG", "CONF_MOD.CFG", "HEURE.CFG",
                     "LANGUE.CFG", "LOG", "RECU", "TABLE", "TRANS"});
  return 0;
}
