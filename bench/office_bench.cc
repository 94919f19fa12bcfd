// What hostile office clients cost the lines: the real station with its
// office view on 127.0.0.1, a 200-record upload by an in-process handheld on
// a pseudo-terminal pair, alone and beside 60 hostile clients (idle
// connections, half a request, garbage, a 200 KB header), taken in turns on
// the same station so that both see the same machine. The median of each,
// and their ratio.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "handheld_port.h"
#include "handheld_session.h"

namespace {

using namespace kavelin2;

constexpr int kRecords = 200;
constexpr int kRecordLength = 64;
constexpr int kHostiles = 60;
constexpr int kRounds = 9;
// A client the server let go comes back after this pause: persistent, but
// not a connect storm that would measure the loopback device instead.
constexpr double kComeBackSeconds = 0.02;

double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::string Records() {
  std::string data;
  for (int i = 0; i < kRecords; ++i) {
    char head[16];
    snprintf(head, sizeof head, "U%07d", i);
    std::string rec = head;
    while (rec.size() < kRecordLength) rec += static_cast<char>('a' + (rec.size() + i) % 26);
    data += rec;
  }
  return data;
}

int ConnectLoopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

// The whole reply to one well-formed request ("" when none came in 5 s).
std::string Get(int port, const std::string& path) {
  int fd = ConnectLoopback(port);
  if (fd < 0) return "";
  const std::string req =
      "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  send(fd, req.data(), req.size(), MSG_NOSIGNAL);
  std::string out;
  const double end = Now() + 5;
  for (;;) {
    const int left = static_cast<int>((end - Now()) * 1000);
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, left) <= 0) break;
    char buf[4096];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return out;
}

// Sixty clients of four kinds, a quarter each, in one thread: each sends
// what its kind sends and then nothing; when the server lets it go it comes
// back. Counts what the server did to them, to show they were served badly.
class Hostiles {
 public:
  explicit Hostiles(int port) : port_(port) {
    std::string noise;
    for (int i = 0; i < 4096; ++i) noise += static_cast<char>((i * 7919) % 256);
    kinds_[0] = "";                                                      // idle
    kinds_[1] = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";  // half
    kinds_[2] = noise;                                                   // garbage
    kinds_[3] = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Big: " + std::string(200 * 1024, 'a') +
                "\r\n\r\n";  // big header
  }
  ~Hostiles() { Stop(); }

  void Start() {
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
  }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  long connections() const { return connections_; }
  long let_go() const { return let_go_; }
  long answered_4xx() const { return answered_4xx_; }
  long held() const { return held_; }

 private:
  struct Client {
    int kind = 0;
    int fd = -1;
    size_t sent = 0;
    double back_at = 0;
    bool answered = false;
  };

  void Open(Client& c) {
    c.fd = ConnectLoopback(port_);
    c.sent = 0;
    c.answered = false;
    if (c.fd >= 0)
      ++connections_;
    else
      c.back_at = Now() + kComeBackSeconds;
  }

  void Run() {
    std::vector<Client> clients(kHostiles);
    for (int i = 0; i < kHostiles; ++i) {
      clients[i].kind = i % 4;
      Open(clients[i]);
    }
    while (!stop_) {
      std::vector<pollfd> fds;
      std::vector<Client*> of;
      double next = Now() + 0.1;  // the stop request is looked at this often
      for (Client& c : clients) {
        if (c.fd < 0) {
          if (Now() >= c.back_at) Open(c);
          if (c.fd < 0) {
            next = std::min(next, c.back_at);
            continue;
          }
        }
        short events = POLLIN;
        if (c.sent < kinds_[c.kind].size()) events |= POLLOUT;
        fds.push_back({c.fd, events, 0});
        of.push_back(&c);
      }
      int wait_ms = std::max(1, static_cast<int>((next - Now()) * 1000));
      held_ = static_cast<long>(fds.size());
      if (poll(fds.data(), fds.size(), wait_ms) <= 0) continue;
      for (size_t i = 0; i < fds.size(); ++i) {
        Client& c = *of[i];
        bool gone = false;
        if (fds[i].revents & POLLOUT) {
          const std::string& text = kinds_[c.kind];
          ssize_t n = send(c.fd, text.data() + c.sent, text.size() - c.sent, MSG_NOSIGNAL);
          if (n > 0)
            c.sent += static_cast<size_t>(n);
          else if (n < 0 && errno != EAGAIN)
            gone = true;
        }
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
          char buf[4096];
          ssize_t n = recv(c.fd, buf, sizeof buf, 0);
          if (n > 0) {
            if (!c.answered && n >= 10 && memcmp(buf, "HTTP/1.1 4", 10) == 0) ++answered_4xx_;
            c.answered = true;
          } else if (n == 0 || errno != EAGAIN) {
            gone = true;
          }
        }
        if (gone) {
          close(c.fd);
          c.fd = -1;
          c.back_at = Now() + kComeBackSeconds;
          ++let_go_;
        }
      }
    }
    for (Client& c : clients)
      if (c.fd >= 0) close(c.fd);
  }

  int port_;
  std::string kinds_[4];
  std::atomic<bool> stop_{false};
  std::atomic<long> connections_{0}, let_go_{0}, answered_4xx_{0}, held_{0};
  std::thread thread_;
};

}  // namespace

int main() {
  signal(SIGPIPE, SIG_IGN);
  e2e::WorkDir dir;
  dir.WriteSettings(e2e::Settings{});
  const std::string up = Records();
  e2e::WriteFile(dir / "BENCH.001", up);
  std::string error;
  auto port = handheld::HandheldPort::CreatePty(dir / "com1", &error);
  if (!port) {
    fprintf(stderr, "office_bench: %s\n", error.c_str());
    return 1;
  }
  int holder = -1;
  const int http_port = e2e::ReservedLoopbackPort(&holder);
  close(holder);
  e2e::Child station(e2e::BuildDir() + "/kavelin2", {}, dir.path(),
                     {{"KAVELIN2_UI", "headless"},
                      {"KAVELIN2_PORT_COM1", dir / "com1"},
                      {"KAVELIN2_HTTP", "127.0.0.1:" + std::to_string(http_port)}},
                     dir / "station.out");
  if (!port->WaitForStation(10000) ||
      !e2e::WaitFor([&] { return e2e::ListeningOnLoopback(http_port); }, 10000)) {
    fprintf(stderr, "office_bench: the station did not open its line and its listener\n%s",
            station.Output().c_str());
    return 1;
  }

  handheld::Timing timing;
  handheld::Report report(stdout, /*verbose=*/false);
  mkdir((dir / "rx").c_str(), 0777);
  handheld::Session session(*port, timing, report, dir / "rx");
  handheld::ExchangePlan plan;
  handheld::UploadSpec upload;
  handheld::ParseUploadSpec(dir / "BENCH.001:64", &upload, &error);
  plan.uploads.push_back(upload);
  plan.download = true;
  plan.download_id = "001";  // no table: the download is a single RS

  printf(
      "upload of %d records of %d bytes on a pseudo-terminal, the office view on 127.0.0.1,"
      " %d rounds:\n",
      kRecords, kRecordLength, kRounds);
  double load = 0;
  if (sscanf(e2e::ReadFile("/proc/loadavg").c_str(), "%lf", &load) == 1)
    printf("machine load: %.1f runnable on %ld cores (1-minute average)\n", load,
           sysconf(_SC_NPROCESSORS_ONLN));

  std::vector<double> alone, beside;
  long connections = 0, let_go = 0, answered = 0, held = 0;
  bool ok = true;
  auto exchange = [&](std::vector<double>* into) {
    const double t0 = Now();
    handheld::ExchangeResult r = session.Run(plan);
    const double seconds = Now() - t0;
    if (!r.complete) {
      printf("exchange not complete: %s\n", r.failure.c_str());
      return false;
    }
    into->push_back(seconds);
    return e2e::WaitFor([&] { return e2e::ReadFile(dir / "RECU/BENCH.001") == up; }, 5000);
  };
  // One exchange first, that neither figure counts: the station's first
  // files and pages are made then.
  std::vector<double> warm;
  ok = exchange(&warm);
  for (int round = 0; round < kRounds && ok; ++round) {
    ok = exchange(&alone);
    if (!ok) break;
    Hostiles hostiles(http_port);
    hostiles.Start();
    // They are all in (those the server takes, and the others let go)
    // before the upload starts.
    e2e::WaitFor([&] { return hostiles.connections() >= kHostiles; }, 5000);
    usleep(200 * 1000);
    ok = exchange(&beside);
    hostiles.Stop();
    connections += hostiles.connections();
    let_go += hostiles.let_go();
    answered += hostiles.answered_4xx();
    held = std::max(held, hostiles.held());
  }
  // The server still answers a well-behaved client once they are gone.
  const std::string metrics = Get(http_port, "/metrics");
  const bool served =
      metrics.rfind("HTTP/1.1 200", 0) == 0 &&
      metrics.find("kavelin2_exchanges_total{line=\"1\",result=\"OK\"}") != std::string::npos;
  station.Signal(SIGTERM);
  station.Wait(15000);
  if (!ok) {
    printf("office_bench: an exchange failed\n%s", station.Output().c_str());
    return 1;
  }
  const double a = Median(alone), b = Median(beside), ratio = b / a;
  printf("%-32s %6.4f s, %5.0f records/s (median)\n", "alone", a, kRecords / a);
  printf("%-32s %6.4f s, %5.0f records/s (median)\n", "beside 60 hostile clients", b, kRecords / b);
  printf(
      "hostile clients: %ld connections, %ld let go by the server, %ld answered 4xx,"
      " at most %ld held open at once\n",
      connections, let_go, answered, held);
  printf("ratio %.3f: %s\n", ratio, ratio <= 1.10 ? "within 10%" : "OVER 10%");
  if (!served) printf("office_bench: the server did not answer /metrics afterwards\n");
  return served ? 0 : 1;
}
