// The POSIX launcher, with real processes: the program runs, the caller does
// not wait for it, and nothing is left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "platform/launcher.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Waits (really) up to 10 s for |path| to exist.
bool WaitForFile(const std::string& path) {
  auto until = steady_clock::now() + std::chrono::seconds(10);
  while (steady_clock::now() < until) {
    if (FileExists(path)) return true;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return false;
}

// True when this process has no child at all, running or zombie.
bool NoChildren() {
  errno = 0;
  return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

// Sets environment variables for one test and restores them afterwards.
class ScopedEnv {
 public:
  void Set(const char* name, const char* value) {
    Save(name);
    if (value == nullptr) {
      unsetenv(name);
    } else {
      setenv(name, value, 1);
    }
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
  }

 private:
  void Save(const char* name) {
    const char* v = getenv(name);
    saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A stand-in "xdg-open" in its own directory, recording its arguments.
std::string MakeFakeXdgOpen(const std::string& dir, bool executable) {
  mkdir(dir.c_str(), 0755);
  std::string script = dir + "/xdg-open";
  WriteFile(script, "#!/bin/sh\necho \"$@\" > \"$(pwd)/viewer-args.txt\"\n");
  chmod(script.c_str(), executable ? 0755 : 0644);
  return dir;
}

TEST(PosixLauncher, CommandRunsInTheWorkingDirectoryWithoutTheCallerWaiting) {
  ScopedTempDir dir;
  auto launcher = NewPosixProgramLauncher();
  auto start = steady_clock::now();
  launcher->Launch("sleep 1; echo ran > marker.txt", ProgramLauncher::kShowNormal);
  auto took = steady_clock::now() - start;
  EXPECT_LT(took, milliseconds(500));
  EXPECT_FALSE(FileExists("marker.txt"));
  // The program is not a child of the station: nothing to reap, ever.
  EXPECT_TRUE(NoChildren());
  ASSERT_TRUE(WaitForFile(dir.path() + "/marker.txt"));
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(ReadFile("marker.txt"), "ran\n");
  EXPECT_TRUE(NoChildren());
}

TEST(PosixLauncher, ProgramReadsNothingAndInheritsNoDescriptorOfTheStation) {
  ScopedTempDir dir;
  // A descriptor without close-on-exec, as a port or an exchange file may be.
  int held = open("held.txt", O_CREAT | O_RDWR, 0644);
  ASSERT_GE(held, 0);
  ASSERT_EQ(dup2(held, 100), 100);
  auto launcher = NewPosixProgramLauncher();
  launcher->Launch("cat > stdin.txt; ls /proc/$$/fd > fds.txt; echo done > done.txt",
                   ProgramLauncher::kShowNormal);
  ASSERT_TRUE(WaitForFile("done.txt"));
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(ReadFile("stdin.txt"), "");  // standard input is /dev/null
  std::string fds = ReadFile("fds.txt");
  EXPECT_EQ(fds.find("100"), std::string::npos) << fds;
  close(100);
  close(held);
}

TEST(PosixLauncher, CommandThatCannotStartIsSilent) {
  ScopedTempDir dir;
  // Our own standard error, captured while the launch fails.
  fflush(stderr);
  int saved = dup(STDERR_FILENO);
  int capture = open("stderr.txt", O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(capture, 0);
  dup2(capture, STDERR_FILENO);
  auto launcher = NewPosixProgramLauncher();
  launcher->Launch("no-such-program-kavelin2-test; echo after > after.txt",
                   ProgramLauncher::kShowNormal);
  bool finished = WaitForFile("after.txt");
  std::this_thread::sleep_for(milliseconds(50));
  dup2(saved, STDERR_FILENO);
  close(saved);
  close(capture);
  ASSERT_TRUE(finished);
  EXPECT_EQ(ReadFile("stderr.txt"), "");
  EXPECT_TRUE(NoChildren());
}

// A program run without a shell gets its arguments and environment exactly as
// given, whatever the shell would have made of them; the station does not wait
// for it, keeps no child, and shares no descriptor but standard error with it.
TEST(PosixLauncher, RunProgramPassesArgumentsAndEnvironmentVerbatimWithoutWaiting) {
  ScopedTempDir dir;
  const std::string program = dir.path() + "/alert prog";
  WriteFile(program,
            "#!/bin/sh\n"
            "sleep 1\n"
            "for a in \"$0\" \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$OUT.args\"\n"
            "printf '%s|%s|%s\\n' \"$KAVELIN2_T_A\" \"$KAVELIN2_T_OLD\" \"$PATH\" > \"$OUT.env\"\n"
            "env | grep -c '^KAVELIN2_T_OLD=' >> \"$OUT.env\"\n"
            "cat > \"$OUT.stdin\"; ls /proc/$$/fd > \"$OUT.fds\"\n"
            "echo to-stderr >&2; echo to-stdout\n"
            "echo done > \"$OUT.done\"\n");
  ASSERT_EQ(0, chmod(program.c_str(), 0755));
  int held = open("held.txt", O_CREAT | O_RDWR, 0644);
  ASSERT_GE(held, 0);
  ASSERT_EQ(dup2(held, 100), 100);
  ScopedEnv scoped;
  scoped.Set("KAVELIN2_T_OLD", "old");
  fflush(stderr);
  int saved = dup(STDERR_FILENO);
  int capture = open("stderr.txt", O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(capture, 0);
  dup2(capture, STDERR_FILENO);

  auto launcher = NewPosixProgramLauncher();
  const std::string out = dir.path() + "/out";
  std::string error;
  auto start = steady_clock::now();
  bool ran = launcher->RunProgram(
      {program, "$(touch pwned)", "a b; rm -rf x", "", "'\"*\\", "line\nbreak"},
      {"OUT=" + out, "KAVELIN2_T_A=two  words $HOME", "KAVELIN2_T_OLD=new"}, &error);
  auto took = steady_clock::now() - start;
  EXPECT_TRUE(NoChildren());
  bool finished = WaitForFile(out + ".done");
  std::this_thread::sleep_for(milliseconds(50));
  dup2(saved, STDERR_FILENO);
  close(saved);
  close(capture);
  close(100);
  close(held);

  ASSERT_TRUE(ran) << error;
  EXPECT_LT(took, milliseconds(900));  // the program sleeps a whole second first
  ASSERT_TRUE(finished);
  EXPECT_EQ("[" + program + "]\n[$(touch pwned)]\n[a b; rm -rf x]\n[]\n['\"*\\]\n[line\nbreak]\n",
            ReadFile(out + ".args"));
  EXPECT_FALSE(FileExists("pwned"));
  EXPECT_EQ("two  words $HOME|new|" + std::string(getenv("PATH")) + "\n1\n",
            ReadFile(out + ".env"));
  EXPECT_EQ("", ReadFile(out + ".stdin"));
  EXPECT_EQ(std::string::npos, ReadFile(out + ".fds").find("100")) << ReadFile(out + ".fds");
  // Standard error is the station's (not a terminal here); standard output
  // is not.
  EXPECT_EQ("to-stderr\n", ReadFile("stderr.txt"));
  EXPECT_TRUE(NoChildren());
}

TEST(PosixLauncher, RunProgramThatCannotStartSaysWhyAndLeavesNothing) {
  ScopedTempDir dir;
  WriteFile("not-executable", "#!/bin/sh\necho ran > ran.txt\n");
  chmod("not-executable", 0644);
  auto launcher = NewPosixProgramLauncher();
  struct Case {
    std::vector<std::string> argv;
    std::string error_has;
  };
  const Case cases[] = {
      {{dir.path() + "/missing"}, dir.path() + "/missing: No such file or directory"},
      {{dir.path() + "/not-executable"}, "Permission denied"},
      {{dir.path()}, "Permission denied"},                       // a directory
      {{"sh", "-c", "echo ran > ran.txt"}, "sh: No such file"},  // never looked up on PATH
      {{}, "no program"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(launcher->RunProgram(c.argv, {}, &error)) << c.error_has;
    EXPECT_NE(std::string::npos, error.find(c.error_has)) << error;
    EXPECT_TRUE(NoChildren());
  }
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_FALSE(FileExists("ran.txt"));
}

TEST(PosixLauncher, DesktopNeedsADisplayAndXdgOpen) {
  ScopedTempDir dir;
  std::string bin = MakeFakeXdgOpen(dir.path() + "/bin", true);
  std::string no_exec = MakeFakeXdgOpen(dir.path() + "/noexec", false);
  auto launcher = NewPosixProgramLauncher();
  ScopedEnv env;
  env.Set("PATH", bin.c_str());

  env.Set("DISPLAY", ":0");
  env.Set("WAYLAND_DISPLAY", nullptr);
  EXPECT_TRUE(launcher->HasDesktop());

  env.Set("DISPLAY", nullptr);
  env.Set("WAYLAND_DISPLAY", "wayland-0");
  EXPECT_TRUE(launcher->HasDesktop());

  env.Set("WAYLAND_DISPLAY", "");
  EXPECT_FALSE(launcher->HasDesktop());  // a terminal-only session

  env.Set("DISPLAY", ":0");
  env.Set("PATH", (dir.path() + "/empty:" + no_exec).c_str());
  EXPECT_FALSE(launcher->HasDesktop());  // no usable xdg-open
}

TEST(PosixLauncher, TextFileOpensInTheDesktopViewer) {
  ScopedTempDir dir;
  std::string bin = MakeFakeXdgOpen(dir.path() + "/bin", true);
  ScopedEnv env;
  env.Set("PATH", (bin + ":/usr/bin:/bin").c_str());
  WriteFile("STAT.TXT", "record\r\n");
  auto launcher = NewPosixProgramLauncher();
  launcher->ViewTextFile("STAT.TXT");
  ASSERT_TRUE(WaitForFile("viewer-args.txt"));
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(ReadFile("viewer-args.txt"), "STAT.TXT\n");
  EXPECT_TRUE(NoChildren());
}

}  // namespace
}  // namespace kavelin2
