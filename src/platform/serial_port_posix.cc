// The POSIX back end: a port is a non-blocking tty descriptor in raw mode,
// waits are poll() on the descriptors of the lines.
//
// Nothing here has an equivalent for the Windows queue sizes (the kernel's
// buffers are fixed), the read and write time-outs (VMIN 0, VTIME 0 and
// O_NONBLOCK give the same "return at once with what is queued"), or the
// overlapped records and their events (every call completes before it
// returns). A line's error flags need no clearing: the tty driver does not
// stop I/O after a framing, parity or overrun error.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "platform/clock.h"
#include "platform/device_path.h"
#include "platform/line_speed.h"
#include "platform/serial_port.h"
#include "platform/termios_settings.h"
#include "platform/wire_trace.h"

namespace kavelin2 {
namespace {

// A write that finds no room in the driver's queue for this long gives up:
// the other end has stopped reading (a real line with no flow control always
// drains; even at 1200 baud room for more bytes comes within about 2 s).
constexpr int kWriteStallMs = 10000;

// The system's word for a device gone under a wait.
std::string HangUpReason(short revents) {
  if (revents & POLLHUP) return "hung up";
  if (revents & POLLNVAL) return "descriptor no longer valid";
  return "device error";
}

// Open ports by descriptor, so that a wait can mark the one that hung up.
// Shared by the system and its ports, so either may go first.
using PortRegistry = std::map<int, class PosixSerialPort*>;

class PosixSerialPort : public SerialPort {
 public:
  PosixSerialPort(int fd, std::shared_ptr<PortRegistry> registry);
  ~PosixSerialPort() override;

  void Configure(const LineFormat& format) override;
  int QueuedInput() override;
  int Read(uint8_t* buf, int n) override;
  bool Write(const uint8_t* buf, int n) override;
  void Purge() override;
  void DropControlLines() override;
  // A dead line has nothing to wait for.
  int WaitHandle() const override { return dead_ ? -1 : fd_; }
  bool Lost() const override { return dead_; }
  std::string LostReason() const override { return reason_; }

  // The device went away (adapter pulled out, far end of a pty closed): the
  // line stays silent from now on, and writes are dropped. The first reason
  // given is kept.
  void MarkDead(const std::string& reason) {
    if (!dead_) reason_ = reason;
    dead_ = true;
  }

 private:
  void Failed(int error) {
    if (error == EIO || error == ENXIO || error == ENODEV || error == EBADF) {
      MarkDead(std::strerror(error));
    }
  }

  int fd_;
  std::shared_ptr<PortRegistry> registry_;
  bool dead_ = false;
  std::string reason_;
};

class PosixSerialSystem : public SerialSystem {
 public:
  explicit PosixSerialSystem(Clock& clock) : clock_(clock) {
    trace_ = OpenWireTraceFromEnvironment(clock_);
  }

  std::unique_ptr<SerialPort> Open(const std::string& port_name) override;
  std::string LastOpenError() const override { return open_error_; }
  void WaitForInput(std::span<SerialPort* const> ports, int32_t timeout_ms) override;

 private:
  Clock& clock_;
  std::shared_ptr<WireTrace> trace_;
  std::shared_ptr<PortRegistry> ports_ = std::make_shared<PortRegistry>();
  std::string open_error_;  // why the last Open failed; "" after a success
};

PosixSerialPort::PosixSerialPort(int fd, std::shared_ptr<PortRegistry> registry)
    : fd_(fd), registry_(std::move(registry)) {
  (*registry_)[fd_] = this;
}

PosixSerialPort::~PosixSerialPort() {
  registry_->erase(fd_);
  ioctl(fd_, TIOCNXCL);
  close(fd_);  // also releases the flock
}

void PosixSerialPort::Configure(const LineFormat& format) {
  if (dead_) return;
  termios current;
  if (tcgetattr(fd_, &current) != 0) return;
  LineSettings settings = BuildLineSettings(format, current);
  tcsetattr(fd_, TCSANOW, &settings.tio);
  if (settings.custom_baud != 0) SetLineSpeed(fd_, settings.custom_baud);
  // DTR and RTS raised while the line is open. A pseudo-terminal has no
  // modem lines and answers ENOTTY, which is no failure here.
  int bits = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd_, TIOCMBIS, &bits);
}

int PosixSerialPort::QueuedInput() {
  if (dead_) return 0;
  int queued = 0;
  if (ioctl(fd_, FIONREAD, &queued) != 0) {
    Failed(errno);
    return 0;
  }
  return queued;
}

int PosixSerialPort::Read(uint8_t* buf, int n) {
  if (dead_ || n <= 0) return 0;
  for (;;) {
    ssize_t r = read(fd_, buf, static_cast<size_t>(n));
    // 0 is an empty queue (VMIN 0), not the end of the line.
    if (r >= 0) return static_cast<int>(r);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    Failed(errno);
    return -1;
  }
}

bool PosixSerialPort::Write(const uint8_t* buf, int n) {
  int done = 0;
  while (done < n) {
    if (dead_) return false;
    ssize_t w = write(fd_, buf + done, static_cast<size_t>(n - done));
    if (w > 0) {
      done += static_cast<int>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
      if (w < 0) Failed(errno);
      return false;
    }
    // The driver's queue is full: wait for room, never spin.
    pollfd p{fd_, POLLOUT, 0};
    int r = poll(&p, 1, kWriteStallMs);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      MarkDead(HangUpReason(p.revents));
      return false;
    }
  }
  return true;
}

void PosixSerialPort::Purge() {
  if (dead_) return;
  // What the station has just sent (the EOT of an aborted exchange) must
  // still reach the handheld: let it leave, then drop what came in. Once
  // drained the output queue is empty, and flushing it anyway would be
  // harmful on a pseudo-terminal, where it discards what the far end has
  // not read yet.
  while (tcdrain(fd_) != 0 && errno == EINTR) {
  }
  tcflush(fd_, TCIFLUSH);
}

void PosixSerialPort::DropControlLines() {
  if (dead_) return;
  int bits = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd_, TIOCMBIC, &bits);  // ENOTTY on a pseudo-terminal: nothing to drop
}

// Asks the driver to hand received bytes over at once. A USB adapter would
// otherwise hold them up to its latency timer (16 ms), which adds to every
// stop-and-wait turnaround. Drivers that do not know the request refuse it.
void AskLowLatency(int fd) {
  serial_struct ss{};
  if (ioctl(fd, TIOCGSERIAL, &ss) != 0) return;
  if (ss.flags & ASYNC_LOW_LATENCY) return;
  ss.flags |= ASYNC_LOW_LATENCY;
  ioctl(fd, TIOCSSERIAL, &ss);
}

std::unique_ptr<SerialPort> PosixSerialSystem::Open(const std::string& port_name) {
  open_error_.clear();
  std::string path = DevicePathForPort(port_name);
  if (path.empty()) {
    open_error_ = "\"" + port_name + "\": not a port name (letters, digits and '_')";
    return nullptr;
  }
  // Each refusal says, with the device tried, why in the system's words.
  auto refuse = [&](int fd, const std::string& why) -> std::unique_ptr<SerialPort> {
    open_error_ = path + ": " + why;
    if (fd >= 0) close(fd);
    return nullptr;
  };
  // Non-blocking, so that opening never waits for carrier.
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // A device made exclusive by its holder refuses everyone else (root aside).
    const int error = errno;
    return refuse(-1, error == EBUSY ? std::string("in use (") + std::strerror(error) + ")"
                                     : std::string(std::strerror(error)));
  }
  if (!isatty(fd)) return refuse(fd, "not a terminal device");
  // In use by another program that made it exclusive: root gets past
  // TIOCEXCL at open, so ask.
  int exclusive = 0;
  if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0)
    return refuse(fd, "in use (held exclusively by another program)");
  // In use by another station (or any program that locks ports this way).
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    return refuse(fd, error == EWOULDBLOCK ? std::string("in use (locked by another program)")
                                           : std::string("cannot lock: ") + std::strerror(error));
  }
  // Keep other programs from opening it while the station has it.
  ioctl(fd, TIOCEXCL);
  AskLowLatency(fd);

  std::unique_ptr<SerialPort> port = std::make_unique<PosixSerialPort>(fd, ports_);
  if (trace_) {
    trace_->Note(port_name, "OPEN " + path);
    port = NewTracingPort(std::move(port), port_name, trace_);
  }
  return port;
}

void PosixSerialSystem::WaitForInput(std::span<SerialPort* const> ports, int32_t timeout_ms) {
  if (timeout_ms <= 0) return;
  const int32_t start = clock_.NowMs();
  std::vector<pollfd> fds;
  for (SerialPort* port : ports) {
    if (port == nullptr) continue;
    int fd = port->WaitHandle();
    if (fd >= 0) fds.push_back(pollfd{fd, POLLIN, 0});
  }
  for (;;) {
    int32_t remaining = timeout_ms - static_cast<int32_t>(static_cast<uint32_t>(clock_.NowMs()) -
                                                          static_cast<uint32_t>(start));
    if (remaining <= 0) return;
    if (fds.empty()) {
      // No live line to wait on: wait on the clock.
      clock_.SleepMs(remaining);
      return;
    }
    int r = poll(fds.data(), fds.size(), remaining);
    if (r == 0) return;
    if (r < 0) {
      if (errno == EINTR) continue;
      clock_.SleepMs(remaining);
      return;
    }
    bool input = false;
    std::vector<pollfd> live;
    for (const pollfd& p : fds) {
      if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        // Gone for good: polling it again would return at once, forever.
        // The caller learns it from the port (Lost) and closes it.
        auto it = ports_->find(p.fd);
        if (it != ports_->end()) it->second->MarkDead(HangUpReason(p.revents));
        continue;
      }
      if (p.revents & POLLIN) input = true;
      live.push_back(pollfd{p.fd, POLLIN, 0});
    }
    if (input) return;
    fds.swap(live);
  }
}

}  // namespace

std::unique_ptr<SerialSystem> NewPosixSerialSystem(Clock& clock) {
  return std::make_unique<PosixSerialSystem>(clock);
}

std::unique_ptr<SerialSystem> NewPlatformSerialSystem(Clock& clock) {
  return NewPosixSerialSystem(clock);
}

}  // namespace kavelin2
