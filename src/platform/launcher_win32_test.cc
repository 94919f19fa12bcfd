// Outside programs on Windows: started without waiting, in the working
// directory, and a command that cannot start is ignored.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/launcher.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

TEST(LauncherOnWindows, ProgramsRunBesideTheStationWhichNeverWaitsForThem) {
  ScopedTempDir dir;
  auto launcher = NewPlatformProgramLauncher();
  EXPECT_TRUE(launcher->HasDesktop());
  // The program first waits about two seconds, then writes its file.
  ULONGLONG start = GetTickCount64();
  launcher->Launch("cmd.exe /c ping -n 3 127.0.0.1 > nul & echo done> launched.txt",
                   ProgramLauncher::kShowNormal);
  EXPECT_LT(GetTickCount64() - start, 1500u);
  EXPECT_FALSE(FileExists("launched.txt"));
  for (int i = 0; i < 100 && ReadFile("launched.txt") != "done\r\n"; ++i) Sleep(100);
  EXPECT_EQ("done\r\n", ReadFile("launched.txt"));
  // Nothing happens for a program that does not exist, and nothing stops.
  launcher->Launch("no-such-program-here.exe STAT.TXT", ProgramLauncher::kShowMaximized);
}

// An alert program gets the station's environment with its own variables
// added, a quoted argument whole, and a missing program is told, not ignored.
TEST(LauncherOnWindows, RunProgramAddsTheEnvironmentAndSaysWhenItCannotStart) {
  ScopedTempDir dir;
  auto launcher = NewPlatformProgramLauncher();
  char system_dir[MAX_PATH] = {};
  ASSERT_GT(GetSystemDirectoryA(system_dir, MAX_PATH), 0u);
  const std::string cmd = std::string(system_dir) + "\\cmd.exe";
  SetEnvironmentVariableA("KAVELIN2_T_OLD", "old");
  std::string error;
  ASSERT_TRUE(launcher->RunProgram({cmd, "/c", "echo %KAVELIN2_T_A%^|%KAVELIN2_T_OLD%> env.txt"},
                                   {"KAVELIN2_T_A=two words", "kavelin2_t_old=new"}, &error))
      << error;
  for (int i = 0; i < 100 && ReadFile("env.txt").empty(); ++i) Sleep(100);
  Sleep(100);
  EXPECT_EQ("two words|new\r\n", ReadFile("env.txt"));
  SetEnvironmentVariableA("KAVELIN2_T_OLD", nullptr);

  EXPECT_FALSE(launcher->RunProgram({dir.path() + "\\missing.exe"}, {}, &error));
  EXPECT_NE(std::string::npos, error.find("missing.exe: ")) << error;
  EXPECT_FALSE(launcher->RunProgram({}, {}, &error));
}

}  // namespace
}  // namespace kavelin2
