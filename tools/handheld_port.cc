#include "handheld_port.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <vector>

namespace kavelin2::handheld {

// handheld_speed.cc
bool SetOtherSpeed(int fd, int baud);

namespace {

// Rates without a Bxxx constant, set through termios2.
constexpr int kOtherSpeeds[] = {256000};

struct SpeedCode {
  int rate;
  speed_t code;
};
constexpr SpeedCode kSpeeds[] = {
    {300, B300},     {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800},
};

int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SleepMs(int ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

// Raw bytes, no flow control of any kind, no echo, reads that never block.
void MakeRaw(termios* t) {
  cfmakeraw(t);
  t->c_iflag &= ~(IXON | IXOFF | IXANY);
  t->c_cflag |= CLOCAL | CREAD;
  t->c_cflag &= ~CRTSCTS;
  t->c_cc[VMIN] = 0;
  t->c_cc[VTIME] = 0;
}

std::string Errno(const std::string& what) { return what + ": " + strerror(errno); }

// The published link, removed when the user interrupts us (the destructors
// do it on every other way out).
char g_link[4096];

void OnSignal(int sig) {
  if (g_link[0]) unlink(g_link);
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace

struct HandheldPort::Native {
  termios initial{};  // the slave's settings as we left them
};

void InstallSignalHandlers(const std::string& link) {
  signal(SIGPIPE, SIG_IGN);
  if (link.empty()) return;
  snprintf(g_link, sizeof g_link, "%s", link.c_str());
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  signal(SIGHUP, OnSignal);
}

bool IsSupportedSpeed(int speed) {
  for (const auto& s : kSpeeds)
    if (s.rate == speed) return true;
  for (int s : kOtherSpeeds)
    if (s == speed) return true;
  return false;
}

std::unique_ptr<HandheldPort> HandheldPort::OpenDevice(const std::string& path, int speed,
                                                       const LineFormat& format,
                                                       std::string* error) {
  std::unique_ptr<HandheldPort> port(new HandheldPort);
  port->peer_path_ = path;
  port->fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (port->fd_ < 0) {
    *error = Errno("cannot open " + path);
    return nullptr;
  }
  // Refuse a line that another program (a station on this machine) holds.
  if (flock(port->fd_, LOCK_EX | LOCK_NB) != 0) {
    *error = path + " is in use by another program";
    return nullptr;
  }
  termios t;
  if (tcgetattr(port->fd_, &t) != 0) {
    *error = Errno(path + " is not a serial line");
    return nullptr;
  }
  MakeRaw(&t);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[format.data_bits - 5];
  if (format.parity != 'N') t.c_cflag |= PARENB;
  if (format.parity == 'O') t.c_cflag |= PARODD;
  if (format.stop_bits == 2) t.c_cflag |= CSTOPB;
  for (const auto& s : kSpeeds) {
    if (s.rate == speed) {
      cfsetispeed(&t, s.code);
      cfsetospeed(&t, s.code);
    }
  }
  if (tcsetattr(port->fd_, TCSANOW, &t) != 0) {
    *error = Errno("cannot configure " + path);
    return nullptr;
  }
  for (int other : kOtherSpeeds) {
    if (other == speed && !SetOtherSpeed(port->fd_, speed)) {
      *error = path + " does not take " + std::to_string(speed) + " baud";
      return nullptr;
    }
  }
  // Raise DTR and RTS, as a handheld in its cradle does; a line without
  // modem control (ENOTTY) simply has none.
  int bits = TIOCM_DTR | TIOCM_RTS;
  ioctl(port->fd_, TIOCMBIS, &bits);
  tcflush(port->fd_, TCIOFLUSH);
  return port;
}

std::unique_ptr<HandheldPort> HandheldPort::CreatePty(const std::string& link, std::string* error) {
  std::unique_ptr<HandheldPort> port(new HandheldPort);
  port->fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (port->fd_ < 0 || grantpt(port->fd_) != 0 || unlockpt(port->fd_) != 0) {
    *error = Errno("cannot create a pseudo-terminal pair");
    return nullptr;
  }
  char name[128];
  if (ptsname_r(port->fd_, name, sizeof name) != 0) {
    *error = Errno("cannot name the pseudo-terminal");
    return nullptr;
  }
  fcntl(port->fd_, F_SETFL, fcntl(port->fd_, F_GETFL) | O_NONBLOCK);
  port->peer_path_ = name;
  port->slave_fd_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (port->slave_fd_ < 0) {
    *error = Errno(std::string("cannot open ") + name);
    return nullptr;
  }
  // Raw from the start: a cooked slave would echo our bytes back to us
  // before the station has configured the line.
  termios t;
  tcgetattr(port->slave_fd_, &t);
  MakeRaw(&t);
  // An unusual speed as a marker: whoever configures the line changes it.
  cfsetispeed(&t, B50);
  cfsetospeed(&t, B50);
  tcsetattr(port->slave_fd_, TCSANOW, &t);
  port->native_ = std::make_unique<Native>();
  tcgetattr(port->slave_fd_, &port->native_->initial);
  tcgetattr(port->fd_, &t);
  MakeRaw(&t);
  tcsetattr(port->fd_, TCSANOW, &t);

  if (!link.empty()) {
    struct stat st;
    if (lstat(link.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) {
        *error = link + " exists and is not a symbolic link; not replacing it";
        return nullptr;
      }
      unlink(link.c_str());
    }
    if (symlink(name, link.c_str()) != 0) {
      *error = Errno("cannot create the link " + link);
      return nullptr;
    }
    port->link_ = link;
  }
  return port;
}

HandheldPort::~HandheldPort() {
  if (!link_.empty()) {
    // Remove the link only while it still names our slave.
    char target[256];
    ssize_t n = readlink(link_.c_str(), target, sizeof target - 1);
    if (n > 0) {
      target[n] = 0;
      if (peer_path_ == target) unlink(link_.c_str());
    }
  }
  if (slave_fd_ >= 0) close(slave_fd_);
  if (fd_ >= 0) close(fd_);
  if (sent_log_) fflush(sent_log_);
  if (received_log_) fflush(received_log_);
}

void HandheldPort::DropUnreadInput() {
  next_ = buffered_ = 0;
  uint8_t scratch[256];
  while (read(fd_, scratch, sizeof scratch) > 0) {
  }
}

bool HandheldPort::WriteRaw(const uint8_t* data, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t w = write(fd_, data + done, n - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno == EAGAIN) {
      pollfd p{fd_, POLLOUT, 0};
      if (poll(&p, 1, 1000) < 0 && errno != EINTR) return false;
      if (p.revents & (POLLHUP | POLLERR)) return false;
      continue;
    }
    return false;
  }
  if (sent_log_) fwrite(data, 1, n, sent_log_);
  return true;
}

int HandheldPort::FillBuffer(int timeout_ms) {
  int64_t deadline = NowMs() + timeout_ms;
  bool hung_up = false;
  for (;;) {
    ssize_t r = read(fd_, buffer_, sizeof buffer_);
    if (r > 0) {
      buffered_ = static_cast<size_t>(r);
      next_ = 0;
      return 0;
    }
    if (r < 0 && errno != EAGAIN && errno != EINTR) return kHangUp;
    // A dead line keeps reporting a hang-up with nothing to read: stop
    // instead of spinning.
    if (hung_up) return kHangUp;
    int64_t left = deadline - NowMs();
    if (left <= 0) return kTimeout;
    pollfd p{fd_, POLLIN, 0};
    int n = poll(&p, 1, static_cast<int>(left));
    if (n < 0 && errno != EINTR) return kHangUp;
    if (n > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) hung_up = true;
  }
}

bool HandheldPort::WaitForStation(int max_ms) {
  if (slave_fd_ < 0) return true;
  int64_t deadline = NowMs() + max_ms;
  for (;;) {
    termios now;
    if (tcgetattr(slave_fd_, &now) != 0) return false;
    const termios& initial = native_->initial;
    if (cfgetospeed(&now) != cfgetospeed(&initial) || now.c_cflag != initial.c_cflag ||
        now.c_iflag != initial.c_iflag || now.c_lflag != initial.c_lflag) {
      // The station empties its queues right after configuring the line.
      SleepMs(50);
      return true;
    }
    if (NowMs() >= deadline) return false;
    SleepMs(5);
  }
}

void HandheldPort::DropUnreadOutput() {
  if (slave_fd_ >= 0) tcflush(slave_fd_, TCIFLUSH);
}

void HandheldPort::WaitUntilDelivered(int max_ms) {
  if (slave_fd_ < 0) {
    tcdrain(fd_);
    return;
  }
  // The bytes pass through the kernel's buffer before they are counted as
  // input of the slave: give them that moment, then wait for the count to
  // fall to zero.
  int64_t deadline = NowMs() + max_ms;
  SleepMs(20);
  while (NowMs() < deadline) {
    int queued = 0;
    if (ioctl(slave_fd_, FIONREAD, &queued) != 0 || queued == 0) return;
    SleepMs(2);
  }
}

}  // namespace kavelin2::handheld
