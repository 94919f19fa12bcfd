// The handheld's end of the line: a serial device or the master side of a
// pseudo-terminal pair that the simulator creates itself. Plain POSIX (raw
// termios, poll with time-outs: handheld_port.cc), or a Windows serial port
// (handheld_port_win32.cc), independent of the station's link code so that
// the simulator checks the station rather than sharing its faults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace kavelin2::handheld {

// Character format of a real line, as "8N1", "7E1", "8O2".
struct LineFormat {
  int data_bits = 8;
  char parity = 'N';  // 'N', 'E' or 'O'
  int stop_bits = 1;
};
bool ParseLineFormat(const std::string& text, LineFormat* format);
// True when |speed| is a rate the serial driver knows.
bool IsSupportedSpeed(int speed);

// Makes an interrupted run remove the published link |link| (empty: none)
// and keeps a closed line from ending the program by a signal.
void InstallSignalHandlers(const std::string& link);

class HandheldPort {
 public:
  static constexpr int kTimeout = -1;
  static constexpr int kHangUp = -2;

  // Opens a serial device exclusively and puts it in raw mode at |speed|.
  static std::unique_ptr<HandheldPort> OpenDevice(const std::string& path, int speed,
                                                  const LineFormat& format, std::string* error);
  // Creates a pseudo-terminal pair, keeps the master, sets the slave raw and
  // publishes it as the symbolic link |link| (replacing an older link).
  static std::unique_ptr<HandheldPort> CreatePty(const std::string& link, std::string* error);

  ~HandheldPort();
  HandheldPort(const HandheldPort&) = delete;
  HandheldPort& operator=(const HandheldPort&) = delete;

  // Writes every byte (waiting for room). False when the line is gone.
  bool Write(const uint8_t* data, size_t n);
  // The next byte, waiting up to |timeout_ms|; kTimeout or kHangUp otherwise.
  int ReadByte(int timeout_ms);
  // Drops what we sent that the station has not read yet, so that a request
  // repeated while the station was not listening is not queued twice.
  void DropUnreadOutput();
  // Waits (at most |max_ms|) until the station has taken every byte we sent:
  // closing a pseudo-terminal master throws away what the other side has not
  // read yet, which would lose the final acknowledgement.
  void WaitUntilDelivered(int max_ms);

  // Pseudo-terminal mode: waits (at most |max_ms|) until the station has
  // opened and configured the line, which it shows by changing the line
  // settings we left on the slave, then lets it finish setting up. True when
  // seen; always true on a serial device, where nothing can be seen.
  bool WaitForStation(int max_ms);

  // The slave device the station must open (pseudo-terminal mode), or the
  // device path.
  const std::string& peer_path() const { return peer_path_; }

  // Raw copies of every byte sent and received (either may be null).
  void SetLogs(FILE* sent, FILE* received) {
    sent_log_ = sent;
    received_log_ = received;
  }

 private:
  HandheldPort() = default;

  int fd_ = -1;
  // Pseudo-terminal mode: our own descriptor of the slave. It keeps the pair
  // alive before the station opens it (bytes are queued instead of raising a
  // hang-up) and lets us see how much input the station has not read yet.
  int slave_fd_ = -1;
  // What the platform's back end keeps besides (the slave's settings as we
  // left them; the Windows handle).
  struct Native;
  std::unique_ptr<Native> native_;
  std::string link_;
  std::string peer_path_;
  uint8_t buffer_[4096];
  size_t buffered_ = 0;
  size_t next_ = 0;
  FILE* sent_log_ = nullptr;
  FILE* received_log_ = nullptr;
};

}  // namespace kavelin2::handheld
