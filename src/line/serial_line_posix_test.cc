// The POSIX back end end to end, over pseudo-terminal pairs: the test holds
// the master side (the handheld), the station opens the slave by name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "line/line.h"
#include "online/consumers.h"
#include "platform/device_path.h"
#include "platform/line_speed.h"
#include "platform/serial_port.h"
#include "station/station.h"
#include "testing/pty.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

using Pty = TestPty;

PortEntry Entry(const char* port, int32_t speed) {
  PortEntry e;
  e.ACTIVE = 'O';
  std::memcpy(e.PORT, port, std::min(std::strlen(port), sizeof e.PORT));
  e.VITESSE = speed;
  e.DONNEES = 2;
  e.PARITE = 1;
  e.STOPBIT = 1;
  e.IRDA = 'N';
  return e;
}

FakeUiRuntime* NewUi(std::unique_ptr<UiRuntimeLink>* owner) {
  auto ui = std::make_unique<FakeUiRuntime>();
  FakeUiRuntime* raw = ui.get();
  *owner = std::move(ui);
  return raw;
}

// A station on the real clock and the POSIX back end, with the recording UI.
struct RealStation {
  RealStation()
      : ui(NewUi(&ui_owner)),
        st(Platform{.clock = clock.get(),
                    .serial = serial.get(),
                    .launcher = &launcher,
                    .fs = fs.get()},
           std::move(ui_owner)) {
    AddStationConsumers(st);
    std::strcpy(st.CurrentLanguage, "Francais");
    st.Ports.line[0].ACTIVE = 'N';
    st.Ports.line[1].ACTIVE = 'N';
  }
  std::unique_ptr<Clock> clock = NewSystemClock();
  std::unique_ptr<SerialSystem> serial = NewPosixSerialSystem(*clock);
  FakeLauncher launcher;
  std::unique_ptr<FileSystem> fs = NewPlatformFileSystem();
  std::unique_ptr<UiRuntimeLink> ui_owner;
  FakeUiRuntime* ui;
  Station st;
};

TEST(DevicePathForPort, NamesDevicesByThePortText) {
  unsetenv("KAVELIN2_PORT_COM1");
  EXPECT_EQ("/dev/ttyS0", DevicePathForPort("COM1"));
  EXPECT_EQ("/dev/ttyS9", DevicePathForPort("com10"));
  EXPECT_EQ("/dev/ttyUSB0", DevicePathForPort("USB0"));
  EXPECT_EQ("/dev/ttyCOM0", DevicePathForPort("COM0"));
  ScopedEnv env("KAVELIN2_PORT_COM1", "/dev/pts/77");
  EXPECT_EQ("/dev/pts/77", DevicePathForPort("COM1"));
  EXPECT_EQ("/dev/pts/77", DevicePathForPort("com1"));
}

TEST(DevicePathForPort, RefusesTextsThatCouldReachOtherPaths) {
  for (const char* bad : {"", "../..", "S0/..", "COM1 ", "USB0\n", "COM123"})
    EXPECT_EQ("", DevicePathForPort(bad)) << bad;
}

// A new pseudo-terminal, as another program would make it, under |path|, the
// name of one that has gone. The system hands out the lowest free number, so
// the ones made here fill the free numbers below it first; all are kept in
// |held|. Null if some other program got the number meanwhile.
Pty* TakeNumber(const std::string& path, std::vector<std::unique_ptr<Pty>>* held) {
  for (int i = 0; i < 256; ++i) {
    held->push_back(std::make_unique<Pty>());
    if (!held->back()->ok()) return nullptr;
    if (held->back()->path() == path) return held->back().get();
  }
  return nullptr;
}

// True when nobody holds the terminal at |path| as a station holds its line
// (exclusive, locked).
bool HeldByNobody(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  int exclusive = -1;
  bool free =
      ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive == 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);
  return free;
}

class PosixLine : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty.ok()); }
  Pty pty;
  ScopedEnv env{"KAVELIN2_PORT_COM1", pty.path()};
};

TEST_F(PosixLine, OpensConfiguresAndReadsTheSpeedBack) {
  RealStation s;
  auto port = s.serial->Open("COM1");
  ASSERT_NE(nullptr, port);
  int fd = port->WaitHandle();
  ASSERT_GE(fd, 0);

  PortEntry e = Entry("COM1", 1);
  e.STOPBIT = 3;
  port->Configure(FormatOf(e));
  EXPECT_EQ(256000, ReadLineSpeed(fd));
  termios t{};
  ASSERT_EQ(0, tcgetattr(fd, &t));
  EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_EQ(0u, t.c_iflag & (IXON | IXOFF | ICRNL));
  EXPECT_EQ(static_cast<tcflag_t>(INPCK), t.c_iflag & INPCK);
  EXPECT_EQ(static_cast<tcflag_t>(CSTOPB), t.c_cflag & CSTOPB);
  EXPECT_EQ(0, t.c_cc[VMIN]);

  // A code outside the table keeps the speed, also one that termios cannot name.
  port->Configure(FormatOf(Entry("COM1", 0)));
  EXPECT_EQ(256000, ReadLineSpeed(fd));
  port->Configure(FormatOf(Entry("COM1", 2)));
  EXPECT_EQ(115200, ReadLineSpeed(fd));
  ASSERT_EQ(0, tcgetattr(fd, &t));
  EXPECT_EQ(static_cast<speed_t>(B115200), cfgetospeed(&t));
  EXPECT_EQ(0u, t.c_cflag & CSTOPB);
  port->Configure(FormatOf(Entry("COM1", 9)));
  EXPECT_EQ(115200, ReadLineSpeed(fd));
  port->Configure(FormatOf(Entry("COM1", 7)));
  EXPECT_EQ(2400, ReadLineSpeed(fd));
}

TEST_F(PosixLine, PurgeDropsInputButDeliversWhatWasJustSent) {
  RealStation s;
  auto port = s.serial->Open("COM1");
  ASSERT_NE(nullptr, port);
  port->Configure(FormatOf(Entry("COM1", 2)));
  pty.Send("stale");
  SerialPort* ports[] = {port.get()};
  s.serial->WaitForInput(ports, 2000);
  EXPECT_EQ(5, port->QueuedInput());
  const uint8_t eot = EOT;
  ASSERT_TRUE(port->Write(&eot, 1));
  port->Purge();
  EXPECT_EQ(0, port->QueuedInput());
  EXPECT_EQ(std::string(1, EOT), pty.Receive(1));
}

// A burst read in one go leaves bytes the caller did not ask for yet: they
// are still queued input, and a wait must not block on a driver that no
// longer holds them. Also through the trace, which wraps the port.
TEST_F(PosixLine, RestOfABurstIsQueuedAndWakesTheWaitAtOnce) {
  ScopedTempDir dir;
  for (bool traced : {false, true}) {
    SCOPED_TRACE(traced ? "traced" : "untraced");
    ScopedEnv trace("KAVELIN2_TRACE", traced ? dir.path() + "/wire.txt" : "");
    RealStation s;
    auto port = s.serial->Open("COM1");
    ASSERT_NE(nullptr, port);
    port->Configure(FormatOf(Entry("COM1", 2)));
    pty.Send(
        "\x02"
        "00001AB\x03X\x05");
    SerialPort* ports[] = {port.get()};
    s.serial->WaitForInput(ports, 2000);
    ASSERT_EQ(11, port->QueuedInput());
    uint8_t frame[10] = {};
    ASSERT_EQ(10, port->Read(frame, 10));
    EXPECT_EQ(
        "\x02"
        "00001AB\x03X",
        std::string(reinterpret_cast<char*>(frame), 10));

    int32_t start = s.clock->NowMs();
    s.serial->WaitForInput(ports, 2000);
    EXPECT_LT(s.clock->NowMs() - start, 500);
    EXPECT_EQ(1, port->QueuedInput());
    uint8_t b = 0;
    ASSERT_EQ(1, port->Read(&b, 1));
    EXPECT_EQ(ENQ, b);
    EXPECT_EQ(0, port->QueuedInput());
    EXPECT_EQ(0, port->Read(&b, 1));
    if (traced) {
      EXPECT_NE(std::string::npos, ReadFile(dir.path() + "/wire.txt").find("RX 05 |.|"));
    }
  }
}

TEST_F(PosixLine, SecondOpenOfTheSameDeviceIsRefused) {
  RealStation s;
  auto first = s.serial->Open("COM1");
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(nullptr, s.serial->Open("COM1"));
  // The refused opening left the first one working.
  first->Configure(FormatOf(Entry("COM1", 2)));
  pty.Send("x");
  SerialPort* ports[] = {first.get()};
  s.serial->WaitForInput(ports, 2000);
  uint8_t b = 0;
  EXPECT_EQ(1, first->Read(&b, 1));
  EXPECT_EQ('x', b);
  // Closing releases the device.
  first.reset();
  EXPECT_NE(nullptr, s.serial->Open("COM1"));
}

TEST_F(PosixLine, SecondStationShowsThePortUnavailableAndLeavesTheLineAlone) {
  RealStation a;
  a.st.Ports.line[0] = Entry("COM1", 2);
  ASSERT_EQ(1, OpenLines(a.st));
  RealStation b;
  b.st.Ports.line[0] = Entry("COM1", 7);
  EXPECT_EQ(0, OpenLines(b.st));
  // The box names the port; the log line its device and why.
  ASSERT_EQ(2u, b.ui->commands.size());
  EXPECT_EQ("ERREUR, Port COM1 indisponible.", b.ui->commands[0]);
  EXPECT_EQ(0u, b.ui->commands[1].rfind(
                    "JOURNAL,Port COM1 indisponible: " + pty.path() + ": in use (", 0))
      << b.ui->commands[1];
  EXPECT_EQ(115200, ReadLineSpeed(a.st.LineTable[0].PortHandle->WaitHandle()));
  CloseLines(b.st);
  CloseLines(a.st);
}

TEST_F(PosixLine, OpenLinesStopsAtTheFirstUnavailablePortKeepingTheEarlierLine) {
  ScopedEnv com2("KAVELIN2_PORT_COM2", "/nonexistent/ttyX");
  RealStation s;
  s.st.Ports.line[0] = Entry("COM1", 2);
  s.st.Ports.line[1] = Entry("COM2", 2);
  EXPECT_EQ(0, OpenLines(s.st));
  EXPECT_EQ((std::vector<std::string>{
                "AFFICHE, ETATIMG1=CONNECT.BMP", "ERREUR, Port COM2 indisponible.",
                "JOURNAL,Port COM2 indisponible: /nonexistent/ttyX: No such file or directory"}),
            s.ui->commands);
  ASSERT_NE(nullptr, s.st.LineTable[0].PortHandle);
  EXPECT_EQ(nullptr, s.serial->Open("COM1"));  // still held
  CloseLines(s.st);
  EXPECT_EQ(nullptr, s.st.LineTable[0].PortHandle);
  EXPECT_NE(nullptr, s.serial->Open("COM1"));
}

TEST_F(PosixLine, PathThatIsNoTerminalIsNoPort) {
  ScopedTempDir dir;
  WriteFile("plain", "data");
  ScopedEnv com3("KAVELIN2_PORT_COM3", dir.path() + "/plain");
  RealStation s;
  EXPECT_EQ(nullptr, s.serial->Open("COM3"));
  EXPECT_EQ(nullptr, s.serial->Open("../x"));
}

TEST_F(PosixLine, BytesFlowBothWaysThroughThePrimitives) {
  RealStation s;
  s.st.Ports.line[0] = Entry("COM1", 1);
  ASSERT_EQ(1, OpenLines(s.st));

  pty.Send("\x05");
  EXPECT_EQ((ByteRead{Io::kOk, ENQ}), WaitByte(s.st, s.st.LineTable[0]));
  SendByte(s.st, s.st.LineTable[0], ACK);
  EXPECT_EQ(std::string(1, ACK), pty.Receive(1));

  // A frame that arrives in two pieces, the second 200 ms later.
  std::thread handheld([this] {
    pty.Send("00001ABCDE");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    pty.Send("FGHIJ\x03Z");
  });
  uint8_t buf[17] = {};
  int32_t start = s.clock->NowMs();
  EXPECT_EQ(Io::kOk, ReadBytes(s.st, s.st.LineTable[0], buf, 17));
  int32_t took = s.clock->NowMs() - start;
  handheld.join();
  EXPECT_EQ("00001ABCDEFGHIJ\x03Z", std::string(reinterpret_cast<char*>(buf), 17));
  EXPECT_LT(took, 900);

  LineEntry& line = s.st.LineTable[0];
  std::memcpy(line.FrameBuffer,
              "\x02"
              "ABC",
              4);
  line.FrameLength = 4;
  line.FrameChecked = 1;
  SendFrame(s.st, s.st.LineTable[0]);
  EXPECT_EQ(
      "\x02"
      "ABC\x03"
      "C",
      pty.Receive(6));
  CloseLines(s.st);
}

// A far end that stops reading: every write returns at once, what the
// driver refuses is kept in order up to the bound, a write beyond it is
// refused whole, and the wait hands the rest on as the far end reads again.
TEST_F(PosixLine, FarEndThatStopsReadingNeverHoldsAWriteAndGetsEveryByteOnceItReads) {
  RealStation s;
  auto port = s.serial->Open("COM1");
  ASSERT_NE(nullptr, port);
  port->Configure(FormatOf(Entry("COM1", 2)));
  std::string sent;
  uint8_t frame[1034];
  int64_t longest_write_ns = 0;
  int refused = 0;
  for (int k = 0; k < 200 && refused == 0; ++k) {
    for (size_t i = 0; i < sizeof frame; ++i) frame[i] = static_cast<uint8_t>(k * 31 + i * 7);
    timespec a{}, b{};
    clock_gettime(CLOCK_MONOTONIC, &a);
    const bool ok = port->Write(frame, sizeof frame);
    clock_gettime(CLOCK_MONOTONIC, &b);
    longest_write_ns = std::max<int64_t>(
        longest_write_ns, (b.tv_sec - a.tv_sec) * 1'000'000'000LL + (b.tv_nsec - a.tv_nsec));
    if (ok) {
      sent.append(reinterpret_cast<const char*>(frame), sizeof frame);
    } else {
      ++refused;
    }
  }
  // The pty took its 16-20 KB, the port holds up to its bound, then refuses.
  ASSERT_EQ(1, refused);
  EXPECT_GT(sent.size(), 20000u);
  EXPECT_LT(sent.size(), 20000u + 16384u + 8192u);
  EXPECT_GT(port->PendingOutput(), 16384 - 1034);
  EXPECT_LE(port->PendingOutput(), 16384);
  // Generous for a loaded machine, far below any wait for room.
  EXPECT_LT(longest_write_ns, 200'000'000LL);

  // With nobody reading, a wait on the line waits its time out (for room,
  // not woken by anything), and gives nothing to read.
  SerialPort* ports[] = {port.get()};
  const int32_t start = s.clock->NowMs();
  s.serial->WaitForInput(ports, 300);
  EXPECT_GE(s.clock->NowMs() - start, 290);
  EXPECT_GT(port->PendingOutput(), 0);

  // The far end reads again: the waits hand everything on, in order.
  std::string received;
  std::thread handheld([&] { received = pty.Receive(sent.size(), 10000); });
  for (int i = 0; i < 400 && port->PendingOutput() > 0; ++i) s.serial->WaitForInput(ports, 100);
  handheld.join();
  EXPECT_EQ(0, port->PendingOutput());
  EXPECT_TRUE(received == sent) << received.size() << " of " << sent.size() << " bytes";
}

TEST_F(PosixLine, HungUpPeerNeverMakesTheStationSpin) {
  RealStation s;
  s.st.Ports.line[0] = Entry("COM1", 2);
  ASSERT_EQ(1, OpenLines(s.st));
  SerialPort* port = s.st.LineTable[0].PortHandle.get();
  pty.Send("lost");
  pty.Hangup();

  SerialPort* ports[] = {port};
  int64_t cpu = ProcessCpuNs();
  int32_t start = s.clock->NowMs();
  s.serial->WaitForInput(ports, 1000);
  s.serial->WaitForInput(ports, 200);  // a dead line is no longer polled
  int32_t waited = s.clock->NowMs() - start;
  int64_t used = ProcessCpuNs() - cpu;
  EXPECT_GE(waited, 1150);
  EXPECT_LT(used, 50'000'000) << "CPU ns while waiting on a hung-up line";

  // The line is silent from now on; writes are dropped, nothing blocks.
  EXPECT_EQ(0, port->QueuedInput());
  const uint8_t b = ENQ;
  EXPECT_FALSE(port->Write(&b, 1));
  cpu = ProcessCpuNs();
  EXPECT_EQ(ByteRead{Io::kLost}, WaitByte(s.st, s.st.LineTable[0]));
  uint8_t frame[10];
  EXPECT_EQ(Io::kLost, ReadBytes(s.st, s.st.LineTable[0], frame, 10));
  EXPECT_LT(ProcessCpuNs() - cpu, 50'000'000);
  CloseLines(s.st);
}

TEST_F(PosixLine, HungUpLineIsLeftOutWhileTheOtherLineIsServed) {
  Pty other;
  ASSERT_TRUE(other.ok());
  ScopedEnv com2("KAVELIN2_PORT_COM2", other.path());
  RealStation s;
  s.st.Ports.line[0] = Entry("COM1", 2);
  s.st.Ports.line[1] = Entry("COM2", 2);
  ASSERT_EQ(1, OpenLines(s.st));
  SerialPort* ports[] = {s.st.LineTable[0].PortHandle.get(), s.st.LineTable[1].PortHandle.get()};
  pty.Hangup();
  std::thread handheld([&other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    other.Send("\x05");
  });
  int64_t cpu = ProcessCpuNs();
  int32_t start = s.clock->NowMs();
  s.serial->WaitForInput(ports, 3000);
  int32_t waited = s.clock->NowMs() - start;
  int64_t used = ProcessCpuNs() - cpu;
  handheld.join();
  EXPECT_GE(waited, 250);
  EXPECT_LT(waited, 2000);
  EXPECT_LT(used, 30'000'000);
  uint8_t b = 0;
  EXPECT_EQ(1, PollByte(s.st.LineTable[1], &b));
  EXPECT_EQ(ENQ, b);
  CloseLines(s.st);
}

// The handheld's end goes and its link stays (a simulator killed with
// SIGKILL): the next pseudo-terminal to get the number belongs to someone
// else, and the station must not take it over; a link made anew is a line
// again, even to that same number.
TEST_F(PosixLine, LostPseudoTerminalIsNotTakenAgainThroughTheLinkItLeftBehind) {
  ScopedTempDir dir;
  auto handheld = std::make_unique<Pty>();
  ASSERT_TRUE(handheld->ok());
  const std::string number = handheld->path();
  const std::string link = dir.path() + "/com1";
  ASSERT_EQ(0, symlink(number.c_str(), link.c_str()));
  ScopedEnv com1("KAVELIN2_PORT_COM1", link);
  RealStation s;
  auto port = s.serial->Open("COM1");
  ASSERT_NE(nullptr, port);
  handheld.reset();
  SerialPort* ports[] = {port.get()};
  s.serial->WaitForInput(ports, 500);
  ASSERT_TRUE(port->Lost());
  port.reset();

  std::vector<std::unique_ptr<Pty>> held;
  ASSERT_NE(nullptr, TakeNumber(number, &held)) << "another program took " << number;
  EXPECT_EQ(nullptr, s.serial->Open("COM1"));
  EXPECT_EQ(link + ": its pseudo-terminal has gone and the name was not published again",
            s.serial->LastOpenError());
  EXPECT_TRUE(HeldByNobody(number));
  // Asked again, the same answer: the link is still the one left behind.
  EXPECT_EQ(nullptr, s.serial->Open("COM1"));

  // Published again as a publisher replaces its link: a new link renamed
  // over the old one.
  const std::string fresh = dir.path() + "/com1.new";
  ASSERT_EQ(0, symlink(number.c_str(), fresh.c_str()));
  ASSERT_EQ(0, std::rename(fresh.c_str(), link.c_str()));
  auto again = s.serial->Open("COM1");
  ASSERT_NE(nullptr, again) << s.serial->LastOpenError();
  EXPECT_FALSE(HeldByNobody(number));
}

// A pseudo-terminal named by its own device path never comes back: the
// number it had is another terminal's next.
TEST_F(PosixLine, LostPseudoTerminalNamedByItsDevicePathIsNeverTakenAgain) {
  RealStation s;
  auto port = s.serial->Open("COM1");
  ASSERT_NE(nullptr, port);
  const std::string number = pty.path();
  pty.Hangup();
  SerialPort* ports[] = {port.get()};
  s.serial->WaitForInput(ports, 500);
  ASSERT_TRUE(port->Lost());
  port.reset();

  std::vector<std::unique_ptr<Pty>> held;
  ASSERT_NE(nullptr, TakeNumber(number, &held)) << "another program took " << number;
  EXPECT_EQ(nullptr, s.serial->Open("COM1"));
  EXPECT_EQ(number + ": its pseudo-terminal has gone and the name was not published again",
            s.serial->LastOpenError());
  EXPECT_TRUE(HeldByNobody(number));
}

TEST_F(PosixLine, IdleOpenLineCostsNoProcessorTime) {
  RealStation s;
  s.st.Ports.line[0] = Entry("COM1", 2);
  ASSERT_EQ(1, OpenLines(s.st));
  SerialPort* ports[] = {s.st.LineTable[0].PortHandle.get()};
  int64_t cpu = ProcessCpuNs();
  int32_t start = s.clock->NowMs();
  s.serial->WaitForInput(ports, 1000);
  int32_t waited = s.clock->NowMs() - start;
  int64_t used = ProcessCpuNs() - cpu;
  EXPECT_GE(waited, 995);
  EXPECT_LT(used, 10'000'000) << "CPU ns for one idle second (1% of a core is 10 ms)";

  // A byte wakes the wait at once.
  std::thread handheld([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty.Send("\x1e");
  });
  start = s.clock->NowMs();
  s.serial->WaitForInput(ports, 5000);
  waited = s.clock->NowMs() - start;
  handheld.join();
  EXPECT_LT(waited, 1000);
  EXPECT_EQ(1, ports[0]->QueuedInput());
  CloseLines(s.st);
}

TEST_F(PosixLine, WaitWithoutAnyLineSleepsOnTheClock) {
  RealStation s;
  SerialPort* none[] = {nullptr};
  int32_t start = s.clock->NowMs();
  s.serial->WaitForInput(none, 150);
  EXPECT_GE(s.clock->NowMs() - start, 149);
  s.serial->WaitForInput(none, 0);
}

TEST_F(PosixLine, TraceRecordsEveryBurstOfTheLine) {
  ScopedTempDir dir;
  std::string trace = dir.path() + "/wire.txt";
  ScopedEnv env_trace("KAVELIN2_TRACE", trace);
  {
    RealStation s;
    s.st.Ports.line[0] = Entry("COM1", 2);
    ASSERT_EQ(1, OpenLines(s.st));
    LineEntry& line = s.st.LineTable[0];
    std::memcpy(line.FrameBuffer,
                "\x02"
                "ABC",
                4);
    line.FrameLength = 4;
    line.FrameChecked = 1;
    SendFrame(s.st, s.st.LineTable[0]);
    pty.Send("\x06\x05");
    uint8_t buf[2];
    ASSERT_EQ(Io::kOk, ReadBytes(s.st, s.st.LineTable[0], buf, 2));
    CloseLines(s.st);
  }
  std::istringstream in(ReadFile(trace));
  std::vector<std::string> rest;
  for (std::string l; std::getline(in, l);) {
    // Drop the time stamp.
    size_t space = l.find(' ');
    ASSERT_NE(std::string::npos, space) << l;
    for (size_t i = 0; i < space; ++i) ASSERT_TRUE(isdigit(static_cast<unsigned char>(l[i]))) << l;
    rest.push_back(l.substr(space + 1));
  }
  EXPECT_EQ((std::vector<std::string>{"COM1 OPEN " + pty.path(), "COM1 PURGE",
                                      "COM1 TX 02 41 42 43 03 43 |.ABC.C|", "COM1 RX 06 05 |..|",
                                      "COM1 PURGE", "COM1 CLOSE"}),
            rest);
}

}  // namespace
}  // namespace kavelin2
