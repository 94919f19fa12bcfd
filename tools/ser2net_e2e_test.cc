// The station program on lines behind the real ser2net, on 127.0.0.1 only:
// the simulator plays the handheld on a pseudo-terminal, ser2net serves that
// terminal as a cradle's device server would, and the station reaches it by
// tcp:// or rfc2217://.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "testing/pty.h"

namespace kavelin2::e2e {
namespace {

constexpr char kAck = 0x06, kEnq = 0x05, kEot = 0x04, kRs = 0x1E;
constexpr uint8_t kSoh = 0x01, kStx = 0x02;

size_t Count(const std::string& haystack, const std::string& needle) {
  size_t n = 0;
  for (size_t p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + 1))
    ++n;
  return n;
}

std::string Identification(const std::string& id) {
  std::string f(1, kRs);
  f += id;
  f += static_cast<char>(id[0] ^ id[1] ^ id[2]);
  return f;
}

// Every byte value, those Telnet and text conventions would touch first.
std::string AwkwardBytes() {
  std::string bytes = {'\r', '\n', '\0', '\xFF', '\xFF', '\r', '\0', '\xFF', '\n', '\r'};
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  bytes.resize(256);
  return bytes;
}

// The line settings a process sees on a terminal device (here the
// pseudo-terminal ser2net serves), without taking it over.
bool ReadTermios(const std::string& path, termios* t) {
  int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = tcgetattr(fd, t) == 0;
  close(fd);
  return ok;
}

class Ser2netE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    start_ = time(nullptr);
    ASSERT_NE("", Ser2netProcess::Program()) << "ser2net is not installed (make deps)";
    int holder = -1;
    port_ = ReservedLoopbackPort(&holder);
    close(holder);  // ser2net takes it
  }

  std::string Link() const { return dir_ / "cradle"; }
  std::string Url(const char* scheme) const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
  }

  // The simulator on the pseudo-terminal that ser2net serves.
  std::unique_ptr<SimulatorProcess> Simulator(const std::string& name,
                                              std::vector<std::string> args) {
    unlink(Link().c_str());
    args.insert(args.begin(), {"--pty", Link(), "--connect-timeout", "20000"});
    auto sim = std::make_unique<SimulatorProcess>(dir_, name, args);
    EXPECT_TRUE(WaitFor([&] { return FileExists(Link()); }, 5000));
    return sim;
  }

  std::unique_ptr<StationProcess> Station(const std::string& device) {
    if (!FileExists(dir_ / "CONF_COM.CFG")) dir_.WriteSettings(settings_);
    return std::make_unique<StationProcess>(dir_,
                                            std::map<std::string, std::string>{{"COM1", device}});
  }

  std::vector<std::string> AwaitStat(size_t n, int timeout_ms = 15000) {
    WaitFor([&] { return StatRecords(dir_).size() >= n; }, timeout_ms);
    return StatRecords(dir_);
  }

  void ExpectRecord(const std::string& record, const std::string& result, const std::string& id) {
    EXPECT_TRUE(MatchesStatRecord(record, result, id, 1, start_, time(nullptr)))
        << "record '" << record << "', expected " << result << " " << id << " from "
        << StatRecord(result, id, 1, start_, 0);
  }

  std::string StationOutput() const { return station_ ? station_->Output() : std::string(); }

  WorkDir dir_;
  Settings settings_;
  time_t start_ = 0;
  int port_ = 0;
  StationProcess* station_ = nullptr;  // the station of a test, while it runs
};

// Raw TCP: an idle connection is kept alive by TCP keepalive; the cradle
// going away while idle is a lost line that comes back; then the example
// exchange of the protocol byte for byte both ways, as on a direct cable.
TEST_F(Ser2netE2E, RawTcpLineIsKeptAliveAndItsExchangeIsByteExact) {
  Ser2netProcess server(dir_, port_, Link(), false, "115200n81");
  // A cradle with nobody in it first: a pseudo-terminal nobody speaks on.
  TestPty quiet;
  ASSERT_TRUE(quiet.ok());
  // Its master is ours alone: a copy in a child would keep the line up.
  ASSERT_EQ(0, fcntl(quiet.master(), F_SETFD, FD_CLOEXEC));
  ASSERT_EQ(0, symlink(quiet.path().c_str(), Link().c_str()));
  ASSERT_TRUE(server.Start()) << server.Output();
  auto station = Station(Url("tcp"));
  // The idle connection has its keepalive timer running ("02"), due within
  // the 20 s of idleness after which the first probe goes.
  std::vector<std::string> timers;
  EXPECT_TRUE(WaitFor(
      [&] {
        timers = ClientTimersToLoopback(port_);
        return timers.size() == 1 && timers[0].substr(0, 3) == "02:";
      },
      5000))
      << (timers.empty() ? "no connection" : timers[0]) << station->Output();
  if (timers.size() == 1 && timers[0].size() > 3) {
    const long ticks = std::stol(timers[0].substr(3), nullptr, 16);
    EXPECT_LE(ticks, 20 * sysconf(_SC_CLK_TCK)) << timers[0];
  }
  // The cradle's line hangs up: ser2net closes the connection.
  quiet.Hangup();
  ASSERT_TRUE(WaitFor([&] { return station->Output().find(" lost: ") != std::string::npos; }, 5000))
      << station->Output();

  const std::string rec1 = "CMD0000001qty01", rec2 = "CMD0000002qty02";
  WriteFile(dir_ / "COMMANDE.001", rec1 + rec2);
  const std::string l1(64, '1'), l2(64, '2'), l3(64, '3');
  WriteFile(dir_ / "TRANS/ARTICLES.DAT", l1 + "\r\n" + l2 + "\r\n" + l3 + "\r\n");
  WriteFile(dir_ / "TABLE/TABLE.001", "ARTICLES.DAT 64\r\n");
  auto sim =
      Simulator("sim", {"--upload", "COMMANDE.001:15:10,05", "--download", "001", "--receive-dir",
                        "rx", "--log-sent", "sent.bin", "--log-received", "received.bin"});
  ASSERT_EQ(0, sim->Finish()) << sim->Output() << station->Output() << server.Output();
  auto stat = AwaitStat(1);

  const std::string sent = std::string(1, kEnq) + Frame(kSoh, "COMMANDE.00100002021005") +
                           Frame(kStx, "00001" + rec1) + Frame(kStx, "00002" + rec2) + kEot +
                           Identification("001") + std::string(9, kAck);
  const std::string received = std::string(6, kAck) + kEnq + Frame(kSoh, "ARTICLES.DAT00003") +
                               kEnq + Frame(kSoh, "ARTICLES.DAT000030164") +
                               Frame(kStx, "00001" + l1) + Frame(kStx, "00002" + l2) +
                               Frame(kStx, "00003" + l3) + kEot + kRs;
  EXPECT_EQ(sent, ReadFile(dir_ / "sent.bin"));
  EXPECT_EQ(received, ReadFile(dir_ / "received.bin"));
  EXPECT_EQ(rec1 + rec2, ReadFile(dir_ / "RECU/COMMANDE.001"));
  EXPECT_EQ(l1 + l2 + l3, ReadFile(dir_ / "rx/ARTICLES.DAT"));
  ASSERT_EQ(1u, stat.size());
  ExpectRecord(stat[0], "OK", "001");
  EXPECT_EQ(0, station->Stop()) << station->Output();
  const std::string log = station->Output();
  const std::string device = "Line 1: device COM1 (" + Url("tcp") + ")";
  EXPECT_NE(std::string::npos, log.find(device + " lost: connection closed by the device server"))
      << log;
  EXPECT_NE(std::string::npos, log.find(device + " open again")) << log;
  EXPECT_NE(std::string::npos, log.find("Line 1, handheld 001: OK")) << log;
  EXPECT_NE(std::string::npos, station->Transcript().find("AFFICHE, ETAT,1=END"));
}

// RFC 2217: the station sets the line (its own settings, not ser2net's
// 9600 8N1: 38400 baud, two stop bits), and records that hold CR, LF, NUL
// and 0xFF cross Telnet unchanged both ways.
TEST_F(Ser2netE2E, Rfc2217SetsTheLineAndPassesEveryByte) {
  Ser2netProcess server(dir_, port_, Link(), true, "9600n81");
  dir_.WriteSettings(settings_);
  std::string com = ReadFile(dir_ / "CONF_COM.CFG");
  com[6] = 4;   // VITESSE 4: 38400
  com[18] = 3;  // STOPBIT 3: two
  WriteFile(dir_ / "CONF_COM.CFG", com);
  // Records of 64 bytes: ser2net passes a frame of 72 on in two segments.
  std::string upload;
  for (int i = 0; i < 4; ++i) {
    std::string part = AwkwardBytes();
    std::rotate(part.begin(), part.begin() + 37 * i, part.end());
    upload += part;
  }
  WriteFile(dir_ / "BIN.001", upload);
  std::string download = AwkwardBytes();
  std::reverse(download.begin(), download.end());
  WriteFile(dir_ / "TRANS/TARIF.BIN", download);
  WriteFile(dir_ / "TABLE/TABLE.001", "TARIF   .BIN 64 B\r\n");

  auto sim = Simulator("sim", {"--upload", "BIN.001:64", "--download", "001", "--receive-dir", "rx",
                               "--log-sent", "sent.bin", "--log-received", "received.bin"});
  ASSERT_TRUE(server.Start()) << server.Output();
  auto station = Station(Url("rfc2217"));
  // ser2net sets the pseudo-terminal as the station asks, while the
  // simulator still has it.
  termios t{};
  EXPECT_TRUE(WaitFor(
      [&] { return ReadTermios(Link(), &t) && cfgetospeed(&t) == static_cast<speed_t>(B38400); },
      10000))
      << cfgetospeed(&t);
  EXPECT_NE(0u, t.c_cflag & CSTOPB);
  EXPECT_EQ(0u, t.c_cflag & CRTSCTS);
  EXPECT_EQ(0u, t.c_iflag & (IXON | IXOFF));
  ASSERT_EQ(0, sim->Finish()) << sim->Output() << station->Output() << server.Output();
  auto stat = AwaitStat(1);
  EXPECT_EQ(upload, ReadFile(dir_ / "RECU/BIN.001"));
  EXPECT_EQ(download, ReadFile(dir_ / "rx/TARIF.DAT"));
  // On the handheld's line, each record in its frame as it was: no byte
  // doubled, added or taken away.
  // doubled, added or taken away: with the data frames taken out, what is
  // left is the protocol's plain ASCII.
  auto without_frames = [](std::string bytes, const std::string& records, size_t length) {
    for (size_t i = 0; i * length < records.size(); ++i) {
      char number[6];
      snprintf(number, sizeof number, "%05zu", i + 1);
      const std::string frame = Frame(kStx, number + records.substr(i * length, length));
      EXPECT_EQ(1u, Count(bytes, frame)) << "record " << i + 1;
      if (size_t at = bytes.find(frame); at != std::string::npos) bytes.erase(at, frame.size());
    }
    return bytes;
  };
  for (const std::string& rest : {without_frames(ReadFile(dir_ / "sent.bin"), upload, 64),
                                  without_frames(ReadFile(dir_ / "received.bin"), download, 64)}) {
    EXPECT_FALSE(rest.empty());
    for (char c : rest) {
      EXPECT_TRUE(c > 0 && c < 0x7F) << "byte " << static_cast<int>(static_cast<uint8_t>(c));
    }
  }
  ASSERT_EQ(1u, stat.size());
  ExpectRecord(stat[0], "OK", "001");
  // The second segment of a frame is not held up by the station's delayed
  // acknowledgement (40 ms a frame, whatever the load, if it were).
  const std::string out = sim->Output();
  const size_t at = out.find("answer time to upload blocks: p50 ");
  ASSERT_NE(std::string::npos, at) << out;
  EXPECT_LT(std::stol(out.substr(at + 34)), 20000) << out.substr(at);
  EXPECT_EQ(0, station->Stop()) << station->Output();
}

// The device server dies in the middle of an upload (SIGKILL) and comes
// back: the station says so once, ends the exchange in error, shows the line
// disconnected, connects again by itself within 11 s of the server's return
// and serves the next handheld.
TEST_F(Ser2netE2E, DeadDeviceServerEndsTheExchangeAndTheLineComesBack) {
  using Clock = std::chrono::steady_clock;
  Ser2netProcess server(dir_, port_, Link(), true, "9600n81");
  WriteFile(dir_ / "LONG.001", std::string(4 * 100, 'l'));
  WriteFile(dir_ / "NEXT.001", std::string(4 * 3, 'n'));
  auto first = Simulator("first", {"--upload", "LONG.001:4", "--pace", "100", "--download", "001"});
  ASSERT_TRUE(server.Start()) << server.Output();
  auto station = Station(Url("rfc2217"));
  ASSERT_TRUE(WaitFor([&] { return first->Output().find("step 5 ") != std::string::npos; }, 15000))
      << first->Output() << station->Output();
  server.Kill();
  ASSERT_TRUE(WaitFor([&] { return station->Output().find(" lost: ") != std::string::npos; }, 5000))
      << station->Output();
  auto stat = AwaitStat(1, 5000);
  ASSERT_EQ(1u, stat.size()) << station->Output();
  ExpectRecord(stat[0], "ER", "001");
  first.reset();

  // Refused meanwhile: the attempts to connect again cost next to nothing.
  const double cpu_start = ProcessCpuSeconds(station->child().pid());
  const auto outage_start = Clock::now();
  auto next = Simulator("next", {"--upload", "NEXT.001:4", "--download", "001"});
  // Long enough for the back-off to reach its longer steps.
  ASSERT_TRUE(
      WaitFor([&] { return Clock::now() - outage_start > std::chrono::seconds(4); }, 10000));
  const double cpu = ProcessCpuSeconds(station->child().pid()) - cpu_start;
  EXPECT_LT(cpu, 0.2) << cpu << " s of CPU while the server was down";

  const auto back = Clock::now();
  ASSERT_TRUE(server.Start()) << server.Output();
  ASSERT_TRUE(
      WaitFor([&] { return station->Output().find(" open again") != std::string::npos; }, 11000))
      << station->Output();
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - back).count(), 11.0);
  EXPECT_EQ(0, next->Finish()) << next->Output() << station->Output();
  stat = AwaitStat(2);
  ASSERT_EQ(2u, stat.size());
  ExpectRecord(stat[1], "OK", "001");
  EXPECT_EQ(std::string(12, 'n'), ReadFile(dir_ / "RECU/NEXT.001"));
  EXPECT_FALSE(FileExists(dir_ / "RECU/LONG.001"));

  // The log up to the second exchange's summary: the simulator's end later
  // closes the pseudo-terminal, and ser2net the connection with it.
  ASSERT_TRUE(WaitFor(
      [&] { return station->Output().find("handheld 001: OK") != std::string::npos; }, 3000));
  std::string log = station->Output();
  log.resize(log.find("handheld 001: OK"));
  const std::string device = "Line 1: device COM1 (" + Url("rfc2217") + ")";
  // Closed or reset, as the server's last moment had it.
  EXPECT_EQ(1u, Count(log, device + " lost: ")) << log;
  EXPECT_EQ(1u, Count(log, device + " open again")) << log;
  EXPECT_LT(log.find(" lost: "), log.find(" open again")) << log;
  EXPECT_EQ(1u, Count(log, "Line 1, handheld 001: ER (device lost (")) << log;
  EXPECT_NE(std::string::npos, station->Transcript().find("AFFICHE, ETAT,1=DISCONNECTED"));
  EXPECT_EQ(0, station->Stop()) << station->Output();
}

// A cradle's connection whose far end asks a long download, acknowledges
// every frame before it has it and then stops reading (a hung device
// server, a peer's full buffer): its line waits alone, within its own
// deadlines, and ends TO; an upload on the other line (a pseudo-terminal)
// meanwhile takes as long as the same upload alone.
TEST_F(Ser2netE2E, PeerThatStopsReadingHoldsUpItsOwnLineAlone) {
  using Clock = std::chrono::steady_clock;
  // The peer: a listener with a small receive buffer, so that the station's
  // side fills soon.
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  const int small = 4096;
  setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
  ASSERT_EQ(0, listen(listener, 1));
  ASSERT_EQ(0, getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len));
  const std::string url = "tcp://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));

  std::string big;
  for (int i = 0; i < 30000; ++i) big += std::string(64, static_cast<char>('a' + i % 26)) + "\r\n";
  WriteFile(dir_ / "TRANS/BIG.DAT", big);
  WriteFile(dir_ / "TABLE/TABLE.001", "BIG.DAT      64\r\n");
  std::string upload;
  for (int i = 0; i < 20; ++i) upload += std::string(64, static_cast<char>('A' + i));
  WriteFile(dir_ / "UP.002", upload);

  settings_.active[1] = true;
  dir_.WriteSettings(settings_);
  const std::string link2 = dir_ / "cradle2";
  auto handheld = [&](const std::string& name, std::vector<std::string> args) {
    unlink(link2.c_str());
    args.insert(args.begin(), {"--pty", link2, "--connect-timeout", "20000"});
    auto sim = std::make_unique<SimulatorProcess>(dir_, name, args);
    EXPECT_TRUE(WaitFor([&] { return FileExists(link2); }, 5000));
    return sim;
  };
  // The time an upload on line 2 takes, from the station's opening of its
  // pseudo-terminal (each handheld brings a new one) to its end.
  const std::string reopened = "device COM2 (" + link2 + ") open again";
  auto timed_upload = [&](const std::string& name, std::string* out) {
    const size_t opened = Count(StationOutput(), reopened);
    auto sim = handheld(name, {"--upload", "UP.002:64", "--download", "002"});
    EXPECT_TRUE(WaitFor([&] { return Count(StationOutput(), reopened) > opened; }, 15000));
    const auto from = Clock::now();
    EXPECT_EQ(0, sim->Finish()) << sim->Output() << StationOutput();
    *out = sim->Output();
    return std::chrono::duration<double>(Clock::now() - from).count();
  };
  // A first handheld that only calls in: line 2 is a device the station
  // opens again for each handheld from now on.
  auto first = handheld("first", {"--download", "002"});
  StationProcess station(dir_, {{"COM1", url}, {"COM2", link2}});
  station_ = &station;
  const int peer = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  ASSERT_GE(peer, 0) << station.Output();
  close(listener);
  ASSERT_EQ(0, first->Finish()) << first->Output() << station.Output();
  ASSERT_EQ(1u, AwaitStat(1).size());

  // The upload with line 1 idle, for comparison.
  std::string out_alone;
  const double alone = timed_upload("alone", &out_alone);
  ASSERT_EQ(2u, AwaitStat(2).size());

  // The download request, and an ACK for each of 20,000 frames ahead.
  const std::string ask = Identification("001") + std::string(20000, kAck);
  ASSERT_EQ(static_cast<ssize_t>(ask.size()), send(peer, ask.data(), ask.size(), MSG_NOSIGNAL));
  // The station's frames pile up unread until its side can take no more.
  int queued = -1, still = 0;
  ASSERT_TRUE(WaitFor(
      [&] {
        int now = 0;
        ioctl(peer, FIONREAD, &now);
        still = now > 0 && now == queued ? still + 1 : 0;
        queued = now;
        return still >= 10;
      },
      10000))
      << queued << " bytes unread; " << station.Output();

  std::string out;
  const double beside = timed_upload("beside", &out);
  auto stat = AwaitStat(3);
  ASSERT_EQ(3u, stat.size()) << station.Output();
  for (size_t i : {0, 1, 2})
    EXPECT_TRUE(MatchesStatRecord(stat[i], "OK", "002", 2, start_, time(nullptr))) << stat[i];
  EXPECT_EQ(upload, ReadFile(dir_ / "RECU/UP.002"));
  EXPECT_LT(beside, 3 * alone + 0.5) << "alone " << alone << " s, beside the stuck line " << beside;
  // No answer to an upload block waited for line 1 (a write held there
  // would show as an answer of a second or more).
  const size_t at = out.find(", p99 ");
  ASSERT_NE(std::string::npos, at) << out;
  EXPECT_LT(std::stol(out.substr(at + 6)), 500000) << out;

  // Line 1 is still in its exchange, waiting for room; it times out as a
  // silent line does (11 deadlines of 3 s after it stopped), by itself.
  const std::string log = station.Output();
  EXPECT_EQ(std::string::npos, log.find("handheld 001:")) << log;
  stat = AwaitStat(4, 45000);
  ASSERT_EQ(4u, stat.size()) << station.Output();
  ExpectRecord(stat[3], "TO", "001");
  EXPECT_TRUE(WaitFor(
      [&] {
        return station.Output().find("handheld 001: TO (11 time-outs in a row)") !=
               std::string::npos;
      },
      5000))
      << station.Output();
  // It never took the peer's ACKs for frames that had not gone: of the
  // 20,000 frames acknowledged ahead, the peer holds only what it let in.
  int unread = 0;
  ioctl(peer, FIONREAD, &unread);
  EXPECT_LT(unread, 20000 * 72 / 4) << unread;
  close(peer);
  EXPECT_EQ(0, station.Stop()) << station.Output();
  station_ = nullptr;
}

}  // namespace
}  // namespace kavelin2::e2e
