// What the station tells a service manager, and how often, on the fake clock;
// and the datagram that reaches a socket named by NOTIFY_SOCKET.
#include "online/service_notify.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "testing/test_station.h"

namespace kavelin2 {
namespace {

TEST(ServiceNotifier, ReportsReadyChangesAtMostFourTimesASecondTheWatchdogAndOneStop) {
  TestStation ts;
  ts.UseDefaultSettings();
  Station& st = ts.st;
  std::vector<std::pair<int32_t, std::string>> sent;
  ServiceNotifier notifier([&](const std::string& m) { sent.emplace_back(st.clock.NowMs(), m); },
                           1000000);  // a watchdog of 1 s: a beat every 500 ms
  st.notifier = &notifier;
  st.Ports.line[0].ACTIVE = 'O';
  CopyField(st.Ports.line[0].PORT, sizeof st.Ports.line[0].PORT, "USB0");
  ts.serial.AddLine("USB0");
  st.LineTable[0].PortHandle = st.serial.Open("USB0");
  ASSERT_NE(nullptr, st.LineTable[0].PortHandle);

  auto pass_at = [&](int32_t ms, bool stop = false) {
    ts.clock.Advance(ms - st.clock.NowMs());
    sent.clear();
    NotifyServiceManager(st, stop);
    return sent.empty() ? std::string() : sent[0].second;
  };

  EXPECT_EQ("READY=1\nSTATUS=line 1 USB0: waiting; line 2 COM2: off\nWATCHDOG=1", pass_at(0));
  EXPECT_EQ("", pass_at(90));  // nothing changed, no beat due

  // An upload: before the handheld says who it is, then block 3 of 8.
  LineEntry& line = st.LineTable[0];
  line.LinePhase = kPhaseUpload;
  CopyField(line.HandheldId, sizeof line.HandheldId, "???");
  std::memcpy(line.UploadName, "CDE.001", 8);
  std::memcpy(line.BlockCountText, "00008", 5);
  line.NextBlockNumber = 4;
  EXPECT_EQ("", pass_at(200));  // changed, but the last status is 200 ms old
  EXPECT_EQ("STATUS=line 1 USB0: exchange with a handheld: CDE.001 37%; line 2 COM2: off",
            pass_at(250));
  line.NextBlockNumber = 6;
  EXPECT_EQ("", pass_at(499));
  EXPECT_EQ(
      "STATUS=line 1 USB0: exchange with a handheld: CDE.001 62%; line 2 COM2: off\n"
      "WATCHDOG=1",
      pass_at(500));

  // The download of a table entry, whose name field is blank-padded.
  line.LinePhase = kPhaseDownload;
  CopyField(line.HandheldId, sizeof line.HandheldId, "001");
  std::memcpy(line.TableEntryName, "CLIENTS .TXT", 13);
  std::memcpy(line.BlockCountText, "00004", 5);
  line.BlocksSent = 4;
  EXPECT_EQ("STATUS=line 1 USB0: exchange with handheld 001: CLIENTS.TXT 100%; line 2 COM2: off",
            pass_at(760));

  // Line 2 loses its device while line 1 ended in error.
  line.LinePhase = kPhaseNone;
  CopyField(line.LastResult, sizeof line.LastResult, "ER");
  CopyField(line.LastReason, sizeof line.LastReason, "NAK limit");
  st.Ports.line[1].ACTIVE = 'O';
  EXPECT_EQ("WATCHDOG=1", pass_at(1000));
  EXPECT_EQ("STATUS=line 1 USB0: waiting, last ER (NAK limit); line 2 COM2: disconnected",
            pass_at(1010));

  // A stop sends the latest status at once, then STOPPING, once.
  line.LastReason[0] = 0;
  CopyField(line.LastResult, sizeof line.LastResult, "OK");
  EXPECT_EQ("STATUS=line 1 USB0: waiting, last OK; line 2 COM2: disconnected\nSTOPPING=1",
            pass_at(1020, true));
  EXPECT_EQ("", pass_at(1030, true));
  EXPECT_EQ("WATCHDOG=1", pass_at(1500, true));

  // Without a notifier nothing is reported.
  st.notifier = nullptr;
  EXPECT_EQ("", pass_at(3000, true));
}

TEST(ServiceNotifier, SendsItsDatagramsToTheSocketTheEnvironmentNames) {
  ScopedTempDir dir;
  std::string path = dir.path() + "/notify";
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof addr.sun_path);
  std::memcpy(addr.sun_path, path.c_str(), path.size());
  ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr));

  unsetenv("NOTIFY_SOCKET");
  EXPECT_EQ(nullptr, NewServiceNotifierFromEnvironment());
  setenv("NOTIFY_SOCKET", "relative/name", 1);
  EXPECT_EQ(nullptr, NewServiceNotifierFromEnvironment());

  setenv("NOTIFY_SOCKET", path.c_str(), 1);
  setenv("WATCHDOG_USEC", "2000000", 1);
  setenv("WATCHDOG_PID", "1", 1);  // another process's watchdog: no beats from us
  TestStation ts;
  ts.UseDefaultSettings();
  auto notifier = NewServiceNotifierFromEnvironment();
  unsetenv("NOTIFY_SOCKET");
  unsetenv("WATCHDOG_USEC");
  unsetenv("WATCHDOG_PID");
  ASSERT_NE(nullptr, notifier);
  notifier->Pass(ts.st, false);
  char buf[512];
  ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
  ASSERT_GT(n, 0);
  EXPECT_EQ("READY=1\nSTATUS=line 1 COM1: off; line 2 COM2: off",
            std::string(buf, static_cast<size_t>(n)));
  close(fd);
}

}  // namespace
}  // namespace kavelin2
