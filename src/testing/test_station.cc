#include "testing/test_station.h"

#include <ftw.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "online/consumers.h"

namespace kavelin2 {

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

std::unique_ptr<FakeUiRuntime> NewFakeUi(FakeUiRuntime** raw) {
  auto ui = std::make_unique<FakeUiRuntime>();
  *raw = ui.get();
  return ui;
}

}  // namespace

ScopedTempDir::ScopedTempDir() {
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) != nullptr) previous_ = cwd;
  const char* base = getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kavelin2-test-XXXXXX";
  char* made = mkdtemp(tmpl.data());
  if (made != nullptr) {
    path_ = made;
    if (chdir(path_.c_str()) != 0) std::perror("chdir");
  }
}

ScopedTempDir::~ScopedTempDir() {
  if (!previous_.empty() && chdir(previous_.c_str()) != 0) std::perror("chdir");
  if (!path_.empty()) nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  struct stat sb;
  return ::stat(path.c_str(), &sb) == 0;
}

TestStation::TestStation(FileSystem* given)
    : own_fs(given != nullptr ? nullptr : NewPlatformFileSystem()),
      fs(given != nullptr ? *given : *own_fs),
      st(Platform{.clock = &clock, .serial = &serial, .launcher = &launcher, .fs = &fs},
         NewFakeUi(&ui)) {
  AddStationConsumers(st);
}

void TestStation::UseDefaultSettings() {
  for (SettingsFile f :
       {SettingsFile::kPorts, SettingsFile::kModems, SettingsFile::kPaths,
        SettingsFile::kFileOptions, SettingsFile::kSchedule, SettingsFile::kLanguage}) {
    SetDefaults(st, f);
  }
}

}  // namespace kavelin2
