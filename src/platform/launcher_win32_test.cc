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

}  // namespace
}  // namespace kavelin2
