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
#include <linux/magic.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "platform/clock.h"
#include "platform/device_path.h"
#include "platform/line_speed.h"
#include "platform/net_port.h"
#include "platform/output_queue.h"
#include "platform/serial_port.h"
#include "platform/termios_settings.h"
#include "platform/wire_trace.h"

namespace kavelin2 {
namespace {

// What one read() may take from the driver ahead of the caller: the size of
// the tty layer's own input buffer, so that a read takes everything queued.
constexpr int kReadAheadSize = 4096;

// The system's word for a device gone under a wait.
std::string HangUpReason(short revents) {
  if (revents & POLLHUP) return "hung up";
  if (revents & POLLNVAL) return "descriptor no longer valid";
  return "device error";
}

// Open ports by descriptor, so that a wait can mark the one that hung up.
// Shared by the system and its ports, so either may go first.
using PortRegistry = std::map<int, class PosixSerialPort*>;

// One symbolic link on the way from a device path to its device: which
// link it is (file system, inode, when it was made) and where it points.
struct LinkStamp {
  dev_t dev = 0;
  ino_t ino = 0;
  int64_t changed_ns = 0;
  std::string target;
  bool operator==(const LinkStamp&) const = default;
};

// The symbolic links a path leads through, in order; empty when the path is
// the device node itself. Whoever publishes a pseudo-terminal under a name
// (the handheld simulator, socat) makes these links anew each time.
using NameTrail = std::vector<LinkStamp>;

NameTrail TrailOf(const std::string& path) {
  NameTrail trail;
  std::string at = path;
  // The kernel gives up after 40 links; so does this.
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st;
    if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    char target[PATH_MAX];
    ssize_t n = readlink(at.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof target) break;
    LinkStamp stamp;
    stamp.dev = st.st_dev;
    stamp.ino = st.st_ino;
    stamp.changed_ns = int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
    stamp.target.assign(target, static_cast<size_t>(n));
    trail.push_back(stamp);
    if (stamp.target[0] == '/') {
      at = stamp.target;
    } else {
      size_t slash = at.rfind('/');
      at = (slash == std::string::npos ? std::string() : at.substr(0, slash + 1)) + stamp.target;
    }
  }
  return trail;
}

// Pseudo-terminals that went away under the station, by device path, with
// the trail their path had when they were opened. A pseudo-terminal never
// comes back: the system hands its number to the next one made, by any
// program. While the path still leads through the same links, it leads to
// that stranger, which the station must leave alone; once the links are made
// anew, the name has been published again and is opened as before.
using GoneTerminals = std::map<std::string, NameTrail>;

bool IsPseudoTerminal(int fd) {
  struct statfs fs;
  return fstatfs(fd, &fs) == 0 && fs.f_type == DEVPTS_SUPER_MAGIC;
}

// What a port remembers of a pseudo-terminal it opened, to leave word when
// it goes.
struct TerminalOrigin {
  std::string path;
  NameTrail trail;
  std::shared_ptr<GoneTerminals> gone;
};

class PosixSerialPort : public SerialPort {
 public:
  // |origin| is set for a pseudo-terminal.
  PosixSerialPort(int fd, std::shared_ptr<PortRegistry> registry,
                  std::unique_ptr<TerminalOrigin> origin);
  ~PosixSerialPort() override;

  void Configure(const LineFormat& format) override;
  int QueuedInput() override;
  int Read(uint8_t* buf, int n) override;
  bool Write(const uint8_t* buf, int n) override;
  int PendingOutput() const override { return dead_ ? 0 : static_cast<int>(pending_.size()); }
  void FlushOutput() override;
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
    if (!dead_) {
      reason_ = reason;
      if (origin_) (*origin_->gone)[origin_->path] = origin_->trail;
    }
    dead_ = true;
  }

  // Bytes already taken from the driver that the caller has not read yet.
  int ReadAhead() const { return dead_ ? 0 : ahead_end_ - ahead_next_; }

 private:
  // Takes everything the driver holds into the (empty) read-ahead buffer,
  // without waiting. False on a failure of the line.
  bool FillReadAhead();

  void Failed(int error) {
    if (error == EIO || error == ENXIO || error == ENODEV || error == EBADF) {
      MarkDead(std::strerror(error));
    }
  }

  int fd_;
  std::shared_ptr<PortRegistry> registry_;
  std::unique_ptr<TerminalOrigin> origin_;
  bool dead_ = false;
  // Written, not taken by the driver yet (its queue was full).
  OutputQueue pending_;
  // A write failed while the device stayed: the next Write says so. Ends
  // with the exchange's purge.
  bool write_failed_ = false;
  std::string reason_;
  // A frame arrives in one burst: a single read() takes all of it, instead of
  // asking the driver for the queue's size before every read and reading the
  // lead byte and the rest of the frame apart. What is held here counts as
  // queued input (QueuedInput, WaitForInput) and goes with a purge.
  uint8_t ahead_[kReadAheadSize];
  int ahead_next_ = 0;
  int ahead_end_ = 0;
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
  // The port behind a device server that |url| names.
  std::unique_ptr<SerialPort> OpenNet(const std::string& port_name, const std::string& url);
  Clock& clock_;
  std::shared_ptr<WireTrace> trace_;
  std::shared_ptr<PortRegistry> ports_ = std::make_shared<PortRegistry>();
  std::shared_ptr<GoneTerminals> gone_ = std::make_shared<GoneTerminals>();
  std::string open_error_;  // why the last Open failed; "" after a success
  // The descriptors of a wait, kept from wait to wait: the station waits once
  // per byte it is sent, and need not allocate each time.
  std::vector<pollfd> fds_;
  std::vector<SerialPort*> owners_;  // the port of each of fds_
};

PosixSerialPort::PosixSerialPort(int fd, std::shared_ptr<PortRegistry> registry,
                                 std::unique_ptr<TerminalOrigin> origin)
    : fd_(fd), registry_(std::move(registry)), origin_(std::move(origin)) {
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

bool PosixSerialPort::FillReadAhead() {
  ahead_next_ = ahead_end_ = 0;
  for (;;) {
    ssize_t r = read(fd_, ahead_, sizeof ahead_);
    // 0 is an empty queue (VMIN 0), not the end of the line.
    if (r >= 0) {
      ahead_end_ = static_cast<int>(r);
      return true;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
    Failed(errno);
    return false;
  }
}

int PosixSerialPort::QueuedInput() {
  if (dead_) return 0;
  if (ReadAhead() == 0) FillReadAhead();
  return ReadAhead();
}

int PosixSerialPort::Read(uint8_t* buf, int n) {
  if (dead_ || n <= 0) return 0;
  if (ReadAhead() == 0 && !FillReadAhead()) return -1;
  int k = std::min(n, ReadAhead());
  std::memcpy(buf, ahead_ + ahead_next_, static_cast<size_t>(k));
  ahead_next_ += k;
  return k;
}

bool PosixSerialPort::Write(const uint8_t* buf, int n) {
  if (dead_ || write_failed_) return false;
  if (n <= 0) return true;
  if (!pending_.Push(std::span<const uint8_t>(buf, static_cast<size_t>(n)))) return false;
  FlushOutput();
  return !dead_ && !write_failed_;
}

void PosixSerialPort::FlushOutput() {
  if (dead_) return;
  const bool ok = pending_.Flush([this](std::span<const uint8_t> bytes) -> long {
    for (;;) {
      const ssize_t w = write(fd_, bytes.data(), bytes.size());
      if (w >= 0) return static_cast<long>(w);
      if (errno == EINTR) continue;
      // The driver's queue is full: the rest waits for room.
      if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
      Failed(errno);
      return -1;
    }
  });
  if (!ok) {
    if (!dead_) write_failed_ = true;
    pending_.Clear();
  }
}

void PosixSerialPort::Purge() {
  if (dead_) return;
  // What the station has just sent (the EOT of an aborted exchange) must
  // still reach the handheld: let it leave, then drop what came in. Once
  // drained the output queue is empty, and flushing it anyway would be
  // harmful on a pseudo-terminal, where it discards what the far end has
  // not read yet.
  // Output the driver would not take (a far end that stopped reading) is
  // not waited for: what it takes now goes, the rest is dropped.
  FlushOutput();
  pending_.DropUnbegun();
  write_failed_ = false;
  while (tcdrain(fd_) != 0 && errno == EINTR) {
  }
  tcflush(fd_, TCIFLUSH);
  ahead_next_ = ahead_end_ = 0;
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
  if (IsNetUrl(path)) return OpenNet(port_name, path);
  // Each refusal says, with the device tried, why in the system's words.
  auto refuse = [&](int fd, const std::string& why) -> std::unique_ptr<SerialPort> {
    open_error_ = path + ": " + why;
    if (fd >= 0) close(fd);
    return nullptr;
  };
  // A pseudo-terminal lost under this path is back only once its links are
  // made anew (see GoneTerminals); until then the path leads to whichever
  // terminal got its number since, and opening it would take that one over.
  const NameTrail trail = TrailOf(path);
  if (auto gone = gone_->find(path); gone != gone_->end()) {
    if (gone->second == trail)
      return refuse(-1, "its pseudo-terminal has gone and the name was not published again");
    gone_->erase(gone);
  }
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

  std::unique_ptr<TerminalOrigin> origin;
  if (IsPseudoTerminal(fd))
    origin = std::make_unique<TerminalOrigin>(TerminalOrigin{path, trail, gone_});
  std::unique_ptr<SerialPort> port =
      std::make_unique<PosixSerialPort>(fd, ports_, std::move(origin));
  if (trace_) {
    trace_->Note(port_name, "OPEN " + path);
    port = NewTracingPort(std::move(port), port_name, trace_);
  }
  return port;
}

std::unique_ptr<SerialPort> PosixSerialSystem::OpenNet(const std::string& port_name,
                                                       const std::string& url) {
  std::unique_ptr<SerialPort> port = OpenNetLine(url, clock_, &open_error_);
  if (!port) return nullptr;
  if (trace_) {
    trace_->Note(port_name, "OPEN " + url);
    port = NewTracingPort(std::move(port), port_name, trace_);
  }
  return port;
}

void PosixSerialSystem::WaitForInput(std::span<SerialPort* const> ports, int32_t timeout_ms) {
  if (timeout_ms <= 0) return;
  std::vector<pollfd>& fds = fds_;
  std::vector<SerialPort*>& owners = owners_;
  fds.clear();
  owners.clear();
  for (SerialPort* port : ports) {
    if (port == nullptr) continue;
    if (port->PendingOutput() > 0) {
      // Its frame has not gone: wait for room, not for an answer. Output
      // that goes now, or a line that failed taking it, is the caller's
      // to look at at once.
      port->FlushOutput();
      if (port->PendingOutput() == 0 || port->Lost()) return;
      const int fd = port->WaitHandle();
      if (fd < 0) continue;
      fds.push_back(pollfd{fd, POLLOUT, 0});
      owners.push_back(port);
      continue;
    }
    // Bytes already taken from the device are input a poll cannot see.
    if (port->HoldsInput()) return;
    int fd = port->WaitHandle();
    if (fd < 0) continue;
    // Input already read ahead is input: the driver's queue no longer shows
    // it. Ports are found by descriptor, as a trace may wrap them.
    auto it = ports_->find(fd);
    if (it != ports_->end() && it->second->ReadAhead() > 0) return;
    fds.push_back(pollfd{fd, POLLIN, 0});
    owners.push_back(port);
  }
  const int32_t start = clock_.NowMs();
  for (bool first = true;; first = false) {
    // Only a wait that must go on after an early wake-up asks the clock how
    // much of it is left.
    int32_t remaining =
        first ? timeout_ms
              : timeout_ms - static_cast<int32_t>(static_cast<uint32_t>(clock_.NowMs()) -
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
    bool ready = false;
    size_t live = 0;
    for (size_t i = 0; i < fds.size(); ++i) {
      const pollfd p = fds[i];
      SerialPort* owner = owners[i];
      if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        // Gone for good: polling it again would return at once, forever.
        // The caller learns it from the port (Lost) and closes it.
        auto it = ports_->find(p.fd);
        if (it == ports_->end()) {
          // A network port: its next transfer tells the reason and marks
          // it lost, so let the caller look at it now.
          ready = true;
          continue;
        }
        it->second->MarkDead(HangUpReason(p.revents));
        continue;
      }
      if (p.events & POLLOUT) {
        if (p.revents & POLLOUT) {
          owner->FlushOutput();
          // All gone: the line's input is open again.
          if (owner->PendingOutput() == 0 || owner->Lost()) ready = true;
        }
      } else if (p.revents & POLLIN) {
        ready = true;
      }
      fds[live] = pollfd{p.fd, p.events, 0};
      owners[live] = owner;
      ++live;
    }
    if (ready) return;
    fds.resize(live);
    owners.resize(live);
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
