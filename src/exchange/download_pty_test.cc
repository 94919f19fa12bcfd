// A download over a pseudo-terminal with the POSIX back end and the real
// clock: what only a real descriptor shows (the largest frames leave whole,
// the EOT of an aborted exchange survives the purge that ends it).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exchange/exchange.h"
#include "exchange/supervision.h"
#include "line/line.h"
#include "online/consumers.h"
#include "station/station.h"
#include "testing/fake_launcher.h"
#include "testing/fake_ui.h"
#include "testing/pty.h"
#include "testing/test_station.h"
#include "wire/codec.h"

namespace kavelin2 {
namespace {

// The handheld's end of a pseudo-terminal pair; the station opens the other
// end as COM1.
class HandheldPty : public TestPty {
 public:
  HandheldPty() : env_("KAVELIN2_PORT_COM1", path()) {}

 private:
  ScopedEnv env_;
};

std::string Frame(uint8_t lead, const std::string& body) {
  auto f = BuildFrame(lead, body, true);
  return std::string(f.begin(), f.end());
}

class DownloadOverPty : public ::testing::Test {
 protected:
  DownloadOverPty()
      : ui(new FakeUiRuntime),
        st(Platform{.clock = clock.get(),
                    .serial = serial.get(),
                    .launcher = &launcher,
                    .fs = fs.get()},
           std::unique_ptr<UiRuntimeLink>(ui)) {
    AddStationConsumers(st);
    std::strcpy(st.CurrentLanguage, "Francais");
    std::strcpy(st.Paths.TABLE, "");
    std::strcpy(st.Paths.TRANS, "");
    st.Options = FileOptions{'N', 'N', 'N', 'N', 'N', 'N'};
  }
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    st.LineTable[0].PortHandle = serial->Open("COM1");
    ASSERT_NE(nullptr, st.LineTable[0].PortHandle);
    st.LineTable[0].PortHandle->Configure(LineFormat{2, 2, 1, 1});
  }

  ScopedTempDir dir;
  HandheldPty pty;
  std::unique_ptr<Clock> clock = NewSystemClock();
  std::unique_ptr<SerialSystem> serial = NewPosixSerialSystem(*clock);
  FakeLauncher launcher;
  std::unique_ptr<FileSystem> fs = NewPlatformFileSystem();
  FakeUiRuntime* ui;  // owned by st.ui
  Station st;
};

TEST_F(DownloadOverPty, LargestFramesLeaveWholeAndTheAbortEotSurvivesThePurge) {
  std::string data;
  for (int i = 0; i < 2 * 999; ++i) data.push_back(static_cast<char>('0' + i % 75));
  WriteFile("TABLE.001",
            "BIG     .TXT TB99901"
            "99\r\n");
  WriteFile("BIG.TXT", data);

  std::string id = "001";
  id.push_back(static_cast<char>('0' ^ '0' ^ '1'));
  pty.Send(id);
  StartDownload(st, st.LineTable[0]);
  EXPECT_EQ(std::string("\x06\x05"), pty.Receive(2));

  DownloadStep(st, st.LineTable[0]);
  EXPECT_EQ(Frame(SOH, "BIG.DAT00002"), pty.Receive(15));
  auto start = std::chrono::steady_clock::now();
  DownloadStep(st, st.LineTable[0]);
  EXPECT_EQ(std::string(1, ENQ), pty.Receive(1));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  DownloadStep(st, st.LineTable[0]);
  EXPECT_EQ(Frame(SOH, "BIG.DAT     000020199"), pty.Receive(24));
  DownloadStep(st, st.LineTable[0]);
  EXPECT_EQ(Frame(STX, "00001" + data.substr(0, 999)), pty.Receive(1007));

  // The handheld refuses the second block eleven times.
  DownloadStep(st, st.LineTable[0]);
  std::string block2 = Frame(STX, "00002" + data.substr(999, 999));
  EXPECT_EQ(block2, pty.Receive(1007));
  pty.Send("late bytes the purge must drop");
  for (int i = 0; i < 10; ++i) {
    HandleNak(st, st.LineTable[0]);
    EXPECT_EQ(block2, pty.Receive(1007)) << i;
  }
  HandleNak(st, st.LineTable[0]);
  EXPECT_EQ(std::string(1, EOT), pty.Receive(1));
  EXPECT_EQ(kStateIdle, st.LineTable[0].LineState);
  EXPECT_EQ(0, st.LineTable[0].PortHandle->QueuedInput());
  EXPECT_EQ("ER 001 1", ReadFile("STAT.TXT").substr(0, 8));
}

}  // namespace
}  // namespace kavelin2
