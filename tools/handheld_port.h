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
#include <random>
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

// Bit errors that the port puts on the line, both ways: each byte sent or
// received is hit with probability |per_byte|, and a hit flips one bit of it,
// chosen at random. What was flipped is counted per transmission, so that a
// caller can tell errors a frame's XOR check byte cannot see (the same bit
// position flipped an even number of times after the lead byte).
struct NoiseTally {
  int bytes = 0;               // bytes passed
  int flips = 0;               // bytes hit
  int flips_after_lead = 0;    // bytes hit after the first one
  uint8_t xor_after_lead = 0;  // XOR of the flip masks after the first byte
  // Errors the XOR check byte of the frame cannot see.
  bool Unseen() const { return flips_after_lead > 0 && xor_after_lead == 0; }
};

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

  // Line noise (see NoiseTally); 0 switches it off.
  void SetNoise(double per_byte, uint64_t seed);
  // The flips of the last Write call.
  const NoiseTally& last_write_noise() const { return write_noise_; }
  // Starts counting the flips of the bytes read from now on (the first byte
  // read is the lead byte of a frame).
  void StartReadNoise() { read_noise_ = NoiseTally{}; }
  const NoiseTally& read_noise() const { return read_noise_; }
  // Bytes hit since the start, both ways.
  int64_t injected() const { return injected_; }
  // Throws away whatever the station sent that was not read yet.
  void DropUnreadInput();

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

  // Flips one bit of |*b| with the noise probability; counts it in |tally|.
  void Noise(uint8_t* b, NoiseTally* tally);
  // The platform's own writing, without noise.
  bool WriteRaw(const uint8_t* data, size_t n);
  // Reads what has come (waiting up to |timeout_ms| for the first byte) into
  // buffer_, from its start: 0, or kTimeout or kHangUp with nothing read.
  int FillBuffer(int timeout_ms);
  double noise_ = 0;
  std::mt19937_64 random_;
  NoiseTally write_noise_;
  NoiseTally read_noise_;
  int64_t injected_ = 0;
};

}  // namespace kavelin2::handheld
