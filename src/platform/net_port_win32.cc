// The Winsock sockets beneath network ports: non-blocking TCP, connected
// within a bounded time, with keepalive so that a device server that dies
// without a word is noticed. Waits are select() on the one socket; the
// station's wait on its lines (serial_port_win32.cc) adds an event per
// socket.
// Winsock first: the other headers build on its types.
#include <winsock2.h>
// clang-format off
#include <ws2tcpip.h>
#include <mstcpip.h>
#include <windows.h>
// clang-format on

#include <string>

#include "platform/net_port.h"

namespace kavelin2 {
namespace {

// Keepalive as on POSIX: the first probe after 20 s of silence, then every
// 10 s (Windows sends up to ten probes unless TCP_KEEPCNT is known).
constexpr ULONG kKeepIdleMs = 20000;
constexpr ULONG kKeepIntervalMs = 10000;

std::string SocketMessage(int error) {
  char text[256] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
  while (n > 0 &&
         (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ' || text[n - 1] == '.')) {
    --n;
  }
  if (n == 0) return "error " + std::to_string(error);
  return std::string(text, n);
}

// select() on one socket for up to |ms|. True when it reported anything
// (ready, or failed: the next transfer says why).
bool SelectFor(SOCKET s, bool write, int32_t ms) {
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(s, &ready);
  FD_SET(s, &failed);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  const int r = select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &tv);
  return r != 0;
}

class Win32NetSocket : public NetSocket {
 public:
  explicit Win32NetSocket(SOCKET s) : s_(s) {}
  ~Win32NetSocket() override {
    closesocket(s_);
    WSACleanup();  // pairs the WSAStartup of ConnectNetSocket
  }
  Win32NetSocket(const Win32NetSocket&) = delete;
  Win32NetSocket& operator=(const Win32NetSocket&) = delete;

  Transfer Receive(uint8_t* buf, int n) override {
    const int r = recv(s_, reinterpret_cast<char*>(buf), n, 0);
    if (r > 0) return Transfer::Moved(r);
    if (r == 0) return Transfer::Over("connection closed by the device server");
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAEINTR) return Transfer::Moved(0);
    return Transfer::Over(SocketMessage(error));
  }

  Transfer Send(const uint8_t* buf, int n) override {
    const int r = send(s_, reinterpret_cast<const char*>(buf), n, 0);
    if (r >= 0) return Transfer::Moved(r);
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAEINTR) return Transfer::Moved(0);
    return Transfer::Over(SocketMessage(error));
  }

  bool WaitWritable(int32_t ms) override { return SelectFor(s_, true, ms); }
  bool WaitReadable(int32_t ms) override { return SelectFor(s_, false, ms); }
  // Socket handles are small multiples of four: they fit, and never meet
  // the serial ports' numbers (serial_port_win32.cc).
  int Handle() const override { return static_cast<int>(s_); }

 private:
  SOCKET s_;
};

std::string AddressText(const NetUrl& url, const addrinfo& ai) {
  char text[NI_MAXHOST] = {};
  if (getnameinfo(ai.ai_addr, static_cast<socklen_t>(ai.ai_addrlen), text, sizeof text, nullptr, 0,
                  NI_NUMERICHOST) != 0)
    return url.host;
  if (url.host == text) return url.host;
  return url.host + " (" + text + ")";
}

SOCKET ConnectTo(const addrinfo& ai, std::string* why) {
  SOCKET s = socket(ai.ai_family, ai.ai_socktype, ai.ai_protocol);
  if (s == INVALID_SOCKET) {
    *why = SocketMessage(WSAGetLastError());
    return INVALID_SOCKET;
  }
  // Every frame is a turn of the stop-and-wait protocol: it leaves at once.
  BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
  tcp_keepalive keep{1, kKeepIdleMs, kKeepIntervalMs};
  DWORD returned = 0;
  WSAIoctl(s, SIO_KEEPALIVE_VALS, &keep, sizeof keep, nullptr, 0, &returned, nullptr, nullptr);
#ifdef SIO_TCP_SET_ACK_FREQUENCY
  // Every segment acknowledged at once: a server without TCP_NODELAY holds
  // the rest of a frame back until its first part is acknowledged.
  DWORD every = 1;
  WSAIoctl(s, SIO_TCP_SET_ACK_FREQUENCY, &every, sizeof every, nullptr, 0, &returned, nullptr,
           nullptr);
#endif
#ifdef TCP_KEEPCNT
  DWORD count = 3;
  setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, reinterpret_cast<const char*>(&count), sizeof count);
#endif
  // Non-blocking, so that an unreachable server holds the station (and its
  // other line) for kNetConnectMs at most.
  u_long nonblocking = 1;
  ioctlsocket(s, FIONBIO, &nonblocking);
  if (connect(s, ai.ai_addr, static_cast<int>(ai.ai_addrlen)) != 0) {
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      *why = SocketMessage(error);
      closesocket(s);
      return INVALID_SOCKET;
    }
    fd_set done, failed;
    FD_ZERO(&done);
    FD_ZERO(&failed);
    FD_SET(s, &done);
    FD_SET(s, &failed);
    timeval tv{kNetConnectMs / 1000, (kNetConnectMs % 1000) * 1000};
    const int r = select(0, nullptr, &done, &failed, &tv);
    if (r == 0) {
      *why = "no answer within " + std::to_string(kNetConnectMs / 1000) + " s";
      closesocket(s);
      return INVALID_SOCKET;
    }
    int so_error = 0;
    int len = sizeof so_error;
    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&so_error), &len);
    if (r < 0 || FD_ISSET(s, &failed) || so_error != 0) {
      *why = SocketMessage(so_error != 0 ? so_error : WSAGetLastError());
      closesocket(s);
      return INVALID_SOCKET;
    }
  }
  return s;
}

}  // namespace

NetConnect ConnectNetSocket(const NetUrl& url) {
  NetConnect out;
  WSADATA wsa{};
  if (const int rc = WSAStartup(MAKEWORD(2, 2), &wsa); rc != 0) {
    out.error = url.host + " port " + url.port + ": " + SocketMessage(rc);
    return out;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  // A name goes through the system's resolver, whose own time-outs bound
  // the wait (an address costs nothing).
  if (const int rc = getaddrinfo(url.host.c_str(), url.port.c_str(), &hints, &found); rc != 0) {
    out.error = url.host + " port " + url.port + ": " + SocketMessage(rc);
    WSACleanup();
    return out;
  }
  for (const addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
    std::string why;
    const SOCKET s = ConnectTo(*ai, &why);
    if (s != INVALID_SOCKET) {
      out.socket = std::make_unique<Win32NetSocket>(s);
      out.error.clear();
      break;
    }
    if (out.error.empty()) out.error = AddressText(url, *ai) + " port " + url.port + ": " + why;
  }
  freeaddrinfo(found);
  if (!out.socket) WSACleanup();
  return out;
}

}  // namespace kavelin2
