// The poll loop on the real clock and a pseudo-terminal: what only a real
// descriptor shows, that the loop blocks instead of spinning and still
// answers a byte at once.
#include <gtest/gtest.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "exchange/exchange.h"
#include "line/line.h"
#include "online/consumers.h"
#include "online/online.h"
#include "station/station.h"
#include "testing/fake_launcher.h"
#include "testing/fake_ui.h"
#include "testing/pty.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

class PollLinesOnAPty : public ::testing::Test {
 protected:
  PollLinesOnAPty() {
    auto ui = std::make_unique<FakeUiRuntime>();
    ui_ = ui.get();
    st_ = std::make_unique<Station>(Platform{.clock = clock_.get(),
                                             .serial = serial_.get(),
                                             .launcher = &launcher_,
                                             .fs = fs_.get()},
                                    std::move(ui));
    AddStationConsumers(*st_);
    std::strcpy(st_->CurrentLanguage, "Francais");
    std::strcpy(st_->Paths.RECU, "./");
    PortEntry& e = st_->Ports.line[0];
    e.ACTIVE = 'O';
    std::memcpy(e.PORT, "COM1", 4);
    e.VITESSE = 2;
    e.DONNEES = 2;
    e.PARITE = 1;
    e.STOPBIT = 1;
    e.IRDA = 'N';
    st_->Ports.line[1].ACTIVE = 'N';
    st_->Options.APPEND = 'N';
  }
  ~PollLinesOnAPty() override { CloseLines(*st_); }

  // One byte from the station, or -1 after |timeout_ms|.
  int Receive(int timeout_ms) {
    std::string b = pty_.Receive(1, timeout_ms);
    return b.empty() ? -1 : static_cast<uint8_t>(b[0]);
  }

  ScopedTempDir dir_;
  TestPty pty_;
  ScopedEnv port_env_{"KAVELIN2_PORT_COM1", pty_.path()};
  std::unique_ptr<Clock> clock_ = NewSystemClock();
  std::unique_ptr<SerialSystem> serial_ = NewPosixSerialSystem(*clock_);
  FakeLauncher launcher_;
  std::unique_ptr<FileSystem> fs_ = NewPlatformFileSystem();
  FakeUiRuntime* ui_ = nullptr;
  std::unique_ptr<Station> st_;
};

TEST_F(PollLinesOnAPty, LineInAnExchangeIsServedWithoutSpinning) {
  ASSERT_TRUE(pty_.ok());
  ASSERT_EQ(1, OpenLines(*st_));
  Station& st = *st_;
  // The user stops after 1.5 s; the exchange is ended then, as its end would.
  int32_t start = clock_->NowMs();
  ui_->responder = [&](const std::string& command) -> std::optional<FakeReply> {
    if (command != "ECRAN,SAISIE/NONBLOCANTE") return std::nullopt;
    bool stop = clock_->NowMs() - start >= 1500;
    if (stop) {
      st.LineTable[0].LinePhase = kPhaseNone;
      st.LineTable[0].LineState = kStateIdle;
    }
    return FakeReply{std::string(stop ? "*P*" : "*N*"), std::nullopt, std::nullopt};
  };

  int answer = -1;
  int64_t answer_ms = -1;
  std::thread handheld([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto sent = std::chrono::steady_clock::now();
    uint8_t enq = ENQ;
    ASSERT_EQ(1, write(pty_.master(), &enq, 1));
    answer = Receive(1000);
    answer_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - sent)
                    .count();
  });
  int64_t cpu = ProcessCpuNs();
  EXPECT_EQ(1, PollLines(st));
  int64_t used = ProcessCpuNs() - cpu;
  handheld.join();

  EXPECT_EQ(ACK, answer);
  EXPECT_LT(answer_ms, 50) << "the idle wait must wake on the byte";
  // About 1.3 s with the upload open: a spinning loop would burn all of it.
  EXPECT_LT(used, 100'000'000) << "CPU ns used by 1.5 s on line";
  EXPECT_GE(ui_->CommandsStartingWith("AFFICHE, HEURE,").size(), 1u);
}

}  // namespace
}  // namespace kavelin2
