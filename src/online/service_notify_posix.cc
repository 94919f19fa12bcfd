// The service manager's notification socket: one datagram per notification
// to the AF_UNIX address in $NOTIFY_SOCKET (a path, or "@name" for the
// abstract namespace).
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "online/service_notify.h"

namespace kavelin2 {
namespace {

class NotifySocket {
 public:
  NotifySocket(const sockaddr_un& address, socklen_t length) : address_(address), length_(length) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  }
  ~NotifySocket() {
    if (fd_ >= 0) close(fd_);
  }
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  // A lost notification is not worth stopping the station for: the next
  // pass sends the status again when it changes, and the watchdog's next beat.
  void Send(const std::string& message) {
    if (fd_ < 0) return;
    ssize_t r;
    do {
      r = sendto(fd_, message.data(), message.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&address_), length_);
    } while (r < 0 && errno == EINTR);
  }

 private:
  sockaddr_un address_;
  socklen_t length_;
  int fd_ = -1;
};

// $WATCHDOG_USEC, when it is meant for this process ($WATCHDOG_PID absent or
// ours); 0 otherwise.
int64_t WatchdogUsecFromEnvironment() {
  const char* usec = std::getenv("WATCHDOG_USEC");
  if (usec == nullptr || *usec == 0) return 0;
  if (const char* pid = std::getenv("WATCHDOG_PID"); pid != nullptr && *pid != 0) {
    char* end = nullptr;
    long long owner = std::strtoll(pid, &end, 10);
    if (*end != 0 || owner != static_cast<long long>(getpid())) return 0;
  }
  char* end = nullptr;
  long long value = std::strtoll(usec, &end, 10);
  return *end == 0 && value > 0 ? value : 0;
}

}  // namespace

std::unique_ptr<ServiceNotifier> NewServiceNotifierFromEnvironment() {
  const char* where = std::getenv("NOTIFY_SOCKET");
  if (where == nullptr) return nullptr;
  size_t length = std::strlen(where);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // "@name" is a name in the abstract namespace: a leading NUL, no terminator.
  if (length < 2 || length >= sizeof address.sun_path || (where[0] != '/' && where[0] != '@'))
    return nullptr;
  std::memcpy(address.sun_path, where, length);
  if (where[0] == '@') address.sun_path[0] = 0;
  socklen_t address_length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length + (where[0] == '/' ? 1 : 0));
  auto socket = std::make_shared<NotifySocket>(address, address_length);
  return std::make_unique<ServiceNotifier>(
      [socket](const std::string& message) { socket->Send(message); },
      WatchdogUsecFromEnvironment());
}

}  // namespace kavelin2
