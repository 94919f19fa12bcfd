#include "fuzz_support.h"

#include <dirent.h>
#include <ftw.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace kavelin2::fuzz {
namespace {

constexpr int kLevels = 5;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

}  // namespace

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

ConfinedDir::ConfinedDir() {
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) != nullptr) previous_ = cwd;
  const char* tmp = getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/kavelin2-fuzz-XXXXXX";
  char* made = mkdtemp(tmpl.data());
  Check(made != nullptr, "cannot create a temporary directory");
  base_ = made;
  std::string path = base_;
  for (int i = 1; i <= kLevels; ++i) {
    path += "/d" + std::to_string(i);
    Check(::mkdir(path.c_str(), 0700) == 0, "cannot create a level directory");
  }
  path += "/work";
  Check(::mkdir(path.c_str(), 0700) == 0, "cannot create the working directory");
  Check(chdir(path.c_str()) == 0, "cannot enter the working directory");
  for (const char* d : {"RECU", "TABLE", "TRANS", "LOG"}) ::mkdir(d, 0700);
}

ConfinedDir::~ConfinedDir() {
  if (!previous_.empty() && chdir(previous_.c_str()) != 0) std::perror("chdir");
  nftw(base_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void ConfinedDir::CheckConfined(const std::vector<std::string>& allowed) const {
  std::string path = base_;
  for (int i = 1; i <= kLevels; ++i) {
    std::string child = "d" + std::to_string(i);
    Check(ListDir(path) == std::vector<std::string>{child},
          "a file was written above the working directory");
    path += "/" + child;
  }
  Check(ListDir(path) == std::vector<std::string>{"work"},
        "a file was written above the working directory");
  for (const std::string& name : ListDir(path + "/work")) {
    Check(std::find(allowed.begin(), allowed.end(), name) != allowed.end(),
          "a file was written in the working directory outside the station's directories");
  }
}

std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* d = opendir(path.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

int OpenDescriptors() { return static_cast<int>(ListDir("/proc/self/fd").size()); }

}  // namespace kavelin2::fuzz
