// "kavelin2 config": the settings files read and written as text, for sites
// where nobody sits at the station's menu.
#include "app/config_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "config/settings.h"
#include "config/settings_text.h"
#include "dialogs/dialogs.h"
#include "platform/clock.h"
#include "platform/exit_status.h"
#include "platform/file_system.h"
#include "platform/launcher.h"
#include "platform/serial_port.h"
#include "platform/settings_file.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

constexpr SettingsFile kAllFiles[] = {SettingsFile::kPorts,    SettingsFile::kModems,
                                      SettingsFile::kPaths,    SettingsFile::kFileOptions,
                                      SettingsFile::kSchedule, SettingsFile::kLanguage};

constexpr const char* kUsage =
    "usage: kavelin2 config [--dir DIR] show\n"
    "       kavelin2 config [--dir DIR] set KEY=VALUE...\n"
    "       kavelin2 config [--dir DIR] export [FILE]\n"
    "       kavelin2 config [--dir DIR] import FILE|-\n";

// Reads every settings file into the records. A missing one gets its
// defaults in memory and is listed in |missing|: it is created when the
// command goes on to write, and never for input that is refused. A file that
// exists but cannot be opened for reading and writing is reported rather than
// replaced by the defaults, as a dialog would replace it.
bool LoadAll(Station& st, std::vector<SettingsFile>* missing, std::string* err) {
  for (SettingsFile file : kAllFiles) {
    const char* name = SettingsFileName(file);
    if (!st.fs.Exists(name)) {
      SetDefaults(st, file);
      missing->push_back(file);
      continue;
    }
    uint8_t probe[1];
    size_t got = 0;
    if (!ReadSettingsFile(st.fs, name, probe, sizeof probe, &got)) {
      *err += std::string(name) + ": cannot be opened for reading and writing\n";
      return false;
    }
    ReloadOrCreate(st, file);
  }
  return true;
}

// For show and export: every settings file read as it stands, opened for
// reading only; nothing is created or changed, so that a directory the
// command may not write is shown as well. A missing file gets its defaults
// in memory and is listed in |missing|.
bool PeekAll(Station& st, std::vector<SettingsFile>* missing, std::string* err) {
  for (SettingsFile file : kAllFiles) {
    const char* name = SettingsFileName(file);
    FileInfo info;
    FsStatus looked = st.fs.Stat(name, &info);
    if (looked.ok() && !info.exists) {
      SetDefaults(st, file);
      missing->push_back(file);
      continue;
    }
    if (!looked.ok() || !PeekSettings(st, file)) {
      *err += std::string(name) + ": cannot be opened for reading\n";
      return false;
    }
  }
  return true;
}

// |text| with a line after the heading of each file of |missing| that says
// so: its values are the defaults, and no file holds them.
std::string MarkMissing(std::string text, const std::vector<SettingsFile>& missing) {
  for (SettingsFile file : missing) {
    const std::string heading = std::string("\n# ") + SettingsFileName(file) + ":";
    size_t at = text.find(heading);
    if (at == std::string::npos) continue;
    size_t end = text.find('\n', at + 1);
    if (end == std::string::npos) continue;
    text.insert(end + 1, std::string("# ") + SettingsFileName(file) +
                             " is missing: these are its defaults, written by none\n");
  }
  return text;
}

// Writes |files|, each once, in file order.
int Store(Station& st, const std::vector<SettingsFile>& files, std::string* err) {
  for (SettingsFile file : kAllFiles) {
    bool listed = false;
    for (SettingsFile f : files) listed = listed || f == file;
    if (listed && !StoreSettings(st, file)) {
      *err += std::string(SettingsFileName(file)) + ": cannot be written; it is unchanged\n";
      return kExitFailure;
    }
  }
  return kExitOk;
}

std::vector<SettingsTextLine> SplitLines(const std::string& text) {
  std::vector<SettingsTextLine> lines;
  std::istringstream in(text);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) lines.push_back({n, line});
  return lines;
}

int Apply(Station& st, const std::vector<SettingsTextLine>& lines, const std::string& origin,
          std::vector<SettingsFile> to_write, std::string* err) {
  std::vector<SettingsFile> changed;
  std::string error;
  if (!ApplySettingsText(st, lines, origin, &changed, &error)) {
    *err += error + "\nnothing was changed\n";
    return kExitUsage;
  }
  to_write.insert(to_write.end(), changed.begin(), changed.end());
  return Store(st, to_write, err);
}

}  // namespace

int RunConfigCommand(Station& st, const std::vector<std::string>& args, std::string* out,
                     std::string* err) {
  size_t i = 0;
  if (i + 1 < args.size() && args[i] == "--dir") {
    std::error_code ec;
    std::filesystem::current_path(args[i + 1], ec);
    if (ec) {
      *err += args[i + 1] + ": " + ec.message() + "\n";
      return kExitFailure;
    }
    i += 2;
  }
  if (i >= args.size()) {
    *err += kUsage;
    return kExitUsage;
  }
  const std::string& verb = args[i++];
  std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  if (verb == "help" || verb == "--help" || verb == "-h") {
    *out += kUsage;
    return kExitOk;
  }
  bool known = (verb == "show" && rest.empty()) || (verb == "export" && rest.size() <= 1) ||
               (verb == "set" && !rest.empty()) || (verb == "import" && rest.size() == 1);
  if (!known) {
    *err += kUsage;
    return kExitUsage;
  }
  // The import text is read before any settings file is touched.
  std::string text;
  if (verb == "import") {
    if (rest[0] == "-") {
      text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
      std::ifstream in(rest[0], std::ios::binary);
      if (!in) {
        *err += rest[0] + ": " + std::strerror(errno) + "\n";
        return kExitFailure;
      }
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  std::vector<SettingsFile> missing;
  if (verb == "show" || verb == "export") {
    if (!PeekAll(st, &missing, err)) return kExitFailure;
    const std::string shown = MarkMissing(SettingsText(st), missing);
    if (verb == "show" || rest.empty()) {
      *out += shown;
      return kExitOk;
    }
    std::ofstream file(rest[0], std::ios::binary | std::ios::trunc);
    file << shown;
    file.close();
    if (!file) {
      *err += rest[0] + ": cannot be written\n";
      return kExitFailure;
    }
    return kExitOk;
  }
  if (!LoadAll(st, &missing, err)) return kExitFailure;
  if (verb == "set") {
    std::vector<SettingsTextLine> lines;
    for (size_t n = 0; n < rest.size(); ++n) lines.push_back({static_cast<int>(n + 1), rest[n]});
    return Apply(st, lines, "argument ", missing, err);
  }
  return Apply(st, SplitLines(text), (rest[0] == "-" ? "stdin" : rest[0]) + ":", missing, err);
}

int ConfigMain(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "config") args.erase(args.begin());
  auto clock = NewSystemClock();
  auto serial = NewPlatformSerialSystem(*clock);
  auto launcher = NewPlatformProgramLauncher();
  auto fs = NewPlatformFileSystem();
  // The runtime is loaded by the first UI command, which this path never sends.
  Station st(
      Platform{
          .clock = clock.get(), .serial = serial.get(), .launcher = launcher.get(), .fs = fs.get()},
      NewDynamicUiRuntimeLink());
  std::string out, err;
  int status = RunConfigCommand(st, args, &out, &err);
  std::fputs(out.c_str(), stdout);
  std::fflush(stdout);
  if (!err.empty()) {
    std::istringstream lines(err);
    std::string line;
    while (std::getline(lines, line)) std::fprintf(stderr, "kavelin2 config: %s\n", line.c_str());
  }
  return status;
}

}  // namespace kavelin2
