// The station program as a service manager sees it: the notifications on
// $NOTIFY_SOCKET through an exchange and a stop.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace kavelin2::e2e {
namespace {

int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

struct Datagram {
  int64_t at_ms;
  std::string text;
};

// A datagram socket in the abstract namespace, as a service manager binds.
class NotifyListener {
 public:
  NotifyListener() {
    name_ = "@kavelin2-e2e-" + std::to_string(getpid());
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, name_.data() + 1, name_.size() - 1);
    socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name_.size());
    bound_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) == 0;
  }
  ~NotifyListener() {
    if (fd_ >= 0) close(fd_);
  }
  bool bound() const { return bound_; }
  const std::string& name() const { return name_; }

  // Collects datagrams for |ms| milliseconds.
  void Collect(int ms) {
    int64_t end = NowMs() + ms;
    for (int64_t now = NowMs(); now < end; now = NowMs()) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(end - now)) <= 0) continue;
      char buf[4096];
      ssize_t n = recv(fd_, buf, sizeof buf, 0);
      if (n > 0) got.push_back({NowMs(), std::string(buf, static_cast<size_t>(n))});
    }
  }

  std::vector<Datagram> got;

 private:
  std::string name_;
  int fd_ = -1;
  bool bound_ = false;
};

// The values of |name| in |datagram| ("NAME=value" lines).
std::vector<std::string> Values(const std::string& datagram, const std::string& name) {
  std::vector<std::string> values;
  size_t start = 0;
  while (start <= datagram.size()) {
    size_t end = datagram.find('\n', start);
    if (end == std::string::npos) end = datagram.size();
    std::string line = datagram.substr(start, end - start);
    if (line.rfind(name + "=", 0) == 0) values.push_back(line.substr(name.size() + 1));
    start = end + 1;
  }
  return values;
}

TEST(ServiceE2E, TheServiceManagerHearsReadyTheExchangeItsResultTheWatchdogAndTheStop) {
  WorkDir dir;
  Settings settings;
  dir.WriteSettings(settings);
  std::string records;
  for (int i = 0; i < 6; ++i) records += "CMD000000" + std::to_string(i) + "qty01";
  WriteFile(dir / "COMMANDE.001", records);
  std::string lines;
  // Lines of 30 characters and CR LF, as the table entry's record length says.
  for (int i = 0; i < 8; ++i)
    lines += "ART000000" + std::to_string(i) + " " + std::string(19, 'x') + "\r\n";
  WriteFile(dir / "TRANS/ARTICLES.DAT", lines);
  WriteFile(dir / "TABLE/TABLE.001", "ARTICLES.DAT 30\r\n");

  NotifyListener listener;
  ASSERT_TRUE(listener.bound());
  // A paced handheld, so that the exchange lasts well over a second.
  SimulatorProcess sim(
      dir, "sim",
      {"--pty", dir / "com1", "--upload", "COMMANDE.001:15", "--download", "001", "--pace", "120"});
  ASSERT_TRUE(WaitFor([&] { return FileExists(dir / "com1"); }, 5000));
  Child station(BuildDir() + "/kavelin2", {}, dir.path(),
                {{"KAVELIN2_UI", "headless"},
                 {"KAVELIN2_PORT_COM1", dir / "com1"},
                 {"NOTIFY_SOCKET", listener.name()},
                 {"WATCHDOG_USEC", "1000000"}},
                dir / "station.out");
  int64_t started = NowMs();
  while (sim.child().Running() && NowMs() - started < 30000) listener.Collect(100);
  ASSERT_EQ(0, sim.Finish()) << sim.Output() << station.Output();
  ASSERT_TRUE(WaitFor([&] { return StatRecords(dir).size() == 1; }, 5000));
  listener.Collect(1500);  // idle: the watchdog goes on beating
  station.Signal(SIGTERM);
  int status = -1;
  while ((status = station.Wait(0)) == -1 && NowMs() - started < 60000) listener.Collect(50);
  listener.Collect(50);
  EXPECT_EQ(0, status) << station.Output();
  const std::vector<Datagram>& got = listener.got;
  ASSERT_FALSE(got.empty());

  // Ready first, once, with the idle lines.
  EXPECT_EQ(std::vector<std::string>{"1"}, Values(got[0].text, "READY"));
  EXPECT_EQ(std::vector<std::string>{"line 1 COM1: waiting; line 2 COM2: off"},
            Values(got[0].text, "STATUS"));
  size_t readies = 0, stops = 0;
  std::vector<Datagram> statuses, beats;
  for (const Datagram& d : got) {
    readies += Values(d.text, "READY").size();
    stops += Values(d.text, "STOPPING").size();
    for (const std::string& s : Values(d.text, "STATUS")) statuses.push_back({d.at_ms, s});
    if (!Values(d.text, "WATCHDOG").empty()) beats.push_back(d);
  }
  EXPECT_EQ(1u, readies);
  EXPECT_EQ(1u, stops);
  EXPECT_EQ(std::vector<std::string>{"1"}, Values(got.back().text, "STOPPING"));

  // The status follows the exchange: the upload, then the download to 001
  // with its progress, then the line waiting again (with its last result
  // once the exchange records one). Never the same twice in a row, and at
  // most one every 250 ms before the stop.
  size_t upload = statuses.size(), download = statuses.size(), after = statuses.size();
  for (size_t i = 0; i < statuses.size(); ++i) {
    const std::string& s = statuses[i].text;
    bool uploading = s.rfind("line 1 COM1: exchange with ", 0) == 0 &&
                     s.find(": COMMANDE.001 ") != std::string::npos;
    if (uploading && upload == statuses.size()) upload = i;
    bool downloading = s.rfind("line 1 COM1: exchange with handheld 001: ARTICLES.DAT ", 0) == 0 &&
                       s.find('%') != std::string::npos;
    if (downloading && download == statuses.size()) download = i;
    if (i > download && s.rfind("line 1 COM1: waiting", 0) == 0 && after == statuses.size()) {
      after = i;
    }
    if (i == 0) continue;
    EXPECT_NE(statuses[i - 1].text, s);
    if (i + 1 < statuses.size()) {
      EXPECT_GE(statuses[i].at_ms - statuses[i - 1].at_ms, 200) << s;
    }
  }
  std::string all;
  for (const Datagram& s : statuses) all += s.text + "\n";
  EXPECT_LT(upload, download) << all;
  EXPECT_LT(download, after) << all << station.Output();
  if (after < statuses.size()) {
    const std::string& s = statuses[after].text;
    // A result, when the station keeps one, is the good one.
    if (s.find(", last ") != std::string::npos) {
      EXPECT_NE(std::string::npos, s.find(", last OK;")) << s;
    }
  }

  // The watchdog beats at half its 1 s period the whole time.
  ASSERT_GE(beats.size(), 4u);
  for (size_t i = 1; i < beats.size(); ++i)
    EXPECT_LT(beats[i].at_ms - beats[i - 1].at_ms, 1000) << i;
}

}  // namespace
}  // namespace kavelin2::e2e
