// The POSIX sockets beneath network ports: non-blocking TCP, connected
// within a bounded time, with keepalive so that a device server that dies
// without a word (power cut, cable pulled) is noticed within a minute.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/net_port.h"

namespace kavelin2 {
namespace {

// Keepalive: the first probe after 20 s of silence, then every 10 s; three
// unanswered probes end the connection (50 s). Data sent and never
// acknowledged gives up in the same time.
constexpr int kKeepIdleS = 20;
constexpr int kKeepIntervalS = 10;
constexpr int kKeepCount = 3;
constexpr unsigned kUserTimeoutMs = (kKeepIdleS + kKeepIntervalS * kKeepCount) * 1000;

int64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// poll() on one descriptor for up to |ms|, resumed after signals. True when
// it reported anything (ready, hung up or failed).
bool PollFor(int fd, short events, int32_t ms) {
  const int64_t end = MonotonicMs() + ms;
  for (;;) {
    pollfd p{fd, events, 0};
    const int64_t left = end - MonotonicMs();
    const int r = poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
    if (r > 0) return true;
    if (r == 0) return false;
    if (errno != EINTR) return true;  // let the transfer that follows say why
  }
}

class PosixNetSocket : public NetSocket {
 public:
  explicit PosixNetSocket(int fd) : fd_(fd) {}
  ~PosixNetSocket() override { close(fd_); }
  PosixNetSocket(const PosixNetSocket&) = delete;
  PosixNetSocket& operator=(const PosixNetSocket&) = delete;

  Transfer Receive(uint8_t* buf, int n) override {
    for (;;) {
      const ssize_t r = recv(fd_, buf, static_cast<size_t>(n), MSG_DONTWAIT);
      if (r > 0) {
        // Acknowledge at once, not after the delayed-ACK time (40 ms): a
        // server that sends a frame in two segments without TCP_NODELAY
        // holds the second back until the first is acknowledged, and the
        // station says nothing before it has the whole frame. The kernel
        // leaves quick-ACK mode by itself, so it is asked again each time.
        SetQuickAck();
        return Transfer::Moved(static_cast<int>(r));
      }
      if (r == 0) return Transfer::Over("connection closed by the device server");
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return Transfer::Moved(0);
      return Transfer::Over(std::strerror(errno));
    }
  }

  Transfer Send(const uint8_t* buf, int n) override {
    for (;;) {
      // MSG_NOSIGNAL: a connection closed under a write is a lost line, not
      // a SIGPIPE that ends the station.
      const ssize_t r = send(fd_, buf, static_cast<size_t>(n), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (r >= 0) return Transfer::Moved(static_cast<int>(r));
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return Transfer::Moved(0);
      return Transfer::Over(std::strerror(errno));
    }
  }

  bool WaitWritable(int32_t ms) override { return PollFor(fd_, POLLOUT, ms); }
  bool WaitReadable(int32_t ms) override { return PollFor(fd_, POLLIN, ms); }
  int Handle() const override { return fd_; }

 private:
  void SetQuickAck() {
    int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
  }

  int fd_;
};

void SetOption(int fd, int level, int name, int value) {
  setsockopt(fd, level, name, &value, sizeof value);
}

// "192.0.2.7" or "cradles (192.0.2.7)": the address tried, with the name it
// came from when that is not the address itself.
std::string AddressText(const NetUrl& url, const addrinfo& ai) {
  char text[NI_MAXHOST] = {};
  if (getnameinfo(ai.ai_addr, ai.ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
    return url.host;
  if (url.host == text) return url.host;
  return url.host + " (" + text + ")";
}

// One attempt at one address. Returns the descriptor, or -1 with |why|.
int ConnectTo(const addrinfo& ai, std::string* why) {
  const int fd =
      socket(ai.ai_family, ai.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai.ai_protocol);
  if (fd < 0) {
    *why = std::strerror(errno);
    return -1;
  }
  // Every frame is a turn of the stop-and-wait protocol: it must leave at
  // once, not wait for more bytes to share a segment with.
  SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
  SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
  SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleS);
  SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalS);
  SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepCount);
  SetOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, static_cast<int>(kUserTimeoutMs));
  // Non-blocking, so that an unreachable server holds the station (and its
  // other line) for kNetConnectMs at most, not for the system's minutes of
  // SYN retries.
  if (connect(fd, ai.ai_addr, ai.ai_addrlen) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) {
      *why = std::strerror(errno);
      close(fd);
      return -1;
    }
    if (!PollFor(fd, POLLOUT, kNetConnectMs)) {
      *why = "no answer within " + std::to_string(kNetConnectMs / 1000) + " s";
      close(fd);
      return -1;
    }
    int error = 0;
    socklen_t len = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
    if (error != 0) {
      *why = std::strerror(error);
      close(fd);
      return -1;
    }
  }
  return fd;
}

}  // namespace

NetConnect ConnectNetSocket(const NetUrl& url) {
  NetConnect out;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  // A name goes through the system's resolver, whose own time-outs bound
  // the wait (an address, or a name in /etc/hosts, costs nothing).
  const int rc = getaddrinfo(url.host.c_str(), url.port.c_str(), &hints, &found);
  if (rc != 0) {
    out.error = url.host + " port " + url.port + ": " +
                (rc == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(rc));
    return out;
  }
  for (const addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
    std::string why;
    const int fd = ConnectTo(*ai, &why);
    if (fd >= 0) {
      out.socket = std::make_unique<PosixNetSocket>(fd);
      out.error.clear();
      break;
    }
    // The first failure is kept: later addresses are the fallbacks.
    if (out.error.empty()) out.error = AddressText(url, *ai) + " port " + url.port + ": " + why;
  }
  freeaddrinfo(found);
  return out;
}

}  // namespace kavelin2
