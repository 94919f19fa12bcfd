// A fake serial line: scripted arrivals on the fake clock, recorded output.
// WaitForInput moves the fake clock to the next arrival or the time-out, so
// every deadline of the link runs in no real time.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "testing/fake_clock.h"

namespace kavelin2 {

class FakeLine {
 public:
  explicit FakeLine(FakeClock& clock) : clock_(clock) {}

  // Bytes that reach the station's input queue at station time |at_ms|.
  void Arrive(int64_t at_ms, const std::vector<uint8_t>& bytes);
  void ArriveNow(const std::vector<uint8_t>& bytes) { Arrive(clock_.now(), bytes); }
  void ArriveNow(const std::string& bytes) {
    ArriveNow(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  }

  // Everything the station wrote, and the same split by write call with the
  // station time of each write.
  const std::vector<uint8_t>& written() const { return written_; }
  struct Write {
    int64_t at_ms;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Write>& writes() const { return writes_; }
  // Returns and forgets what was written so far.
  std::vector<uint8_t> TakeWritten();

  // Called after every write of the station: a scripted handheld answers here.
  std::function<void(FakeLine&, const std::vector<uint8_t>&)> on_write;

  // Input already arrived (arrivals due at the current time are moved in).
  std::deque<uint8_t>& queue();
  // Earliest pending arrival time, or -1.
  int64_t NextArrival() const;

  // What the port was asked to do.
  bool is_open = false;
  bool present = true;  // the device exists
  int purges = 0;
  int configures = 0;
  bool control_lines_dropped = false;
  LineFormat last_config;
  bool fail_writes = false;
  // The device went away under the open port (as a hung-up or unplugged
  // device): the port says Lost with |lost_reason|, reads nothing and
  // refuses writes. Cleared when the device is opened again.
  bool lost = false;
  std::string lost_reason;
  void Lose(const std::string& reason) {
    lost = true;
    lost_reason = reason;
  }
  // How many more bytes of the station's output the device takes: a far
  // end that stops reading takes |room| bytes, then none until AddRoom
  // gives it more. -1 (the default) takes everything at once. What the
  // device has not taken is the port's pending output, and is not in
  // written() until it goes.
  int64_t room = -1;
  void AddRoom(int64_t at_ms, int64_t bytes) { room_due_.emplace(at_ms, bytes); }
  // |room| with the room due by now added; the time more is due, or -1.
  int64_t Room();
  int64_t NextRoom() const { return room_due_.empty() ? -1 : room_due_.begin()->first; }

  // Station times of every attempt to open the device, successful or not.
  std::vector<int64_t> open_attempts;

  void RecordWrite(const uint8_t* buf, int n);
  FakeClock& clock() { return clock_; }

 private:
  FakeClock& clock_;
  std::deque<uint8_t> queue_;
  std::multimap<int64_t, std::vector<uint8_t>> pending_;
  std::vector<uint8_t> written_;
  std::vector<Write> writes_;
  std::multimap<int64_t, int64_t> room_due_;
};

class FakeSerialSystem : public SerialSystem {
 public:
  explicit FakeSerialSystem(FakeClock& clock) : clock_(clock) {}

  // Makes a device named |name| exist; returns its line.
  FakeLine& AddLine(const std::string& name);
  FakeLine& line(const std::string& name) { return *lines_.at(name); }
  // Names opened, in order.
  const std::vector<std::string>& opened() const { return opened_; }

  std::unique_ptr<SerialPort> Open(const std::string& port_name) override;
  void WaitForInput(std::span<SerialPort* const> ports, int32_t timeout_ms) override;
  int waits = 0;

 private:
  FakeClock& clock_;
  std::map<std::string, std::unique_ptr<FakeLine>> lines_;
  std::vector<std::string> opened_;
};

}  // namespace kavelin2
