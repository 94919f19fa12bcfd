// The platform's serial ports, as the station uses them. Callers never know
// which back end runs: serial_port_posix.cc today, a Win32 one later, and a
// fake line in the tests.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/line_format.h"

namespace kavelin2 {

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Applies the line settings of |entry| (speed, data bits, parity, stop
  // bits; raw mode, no flow control, DTR and RTS raised). A code outside its
  // table leaves that property as the port had it. Failures are not reported.
  virtual void Configure(const LineFormat& format) = 0;

  // Number of received bytes waiting in the input queue (0 on a dead line).
  virtual int QueuedInput() = 0;

  // Reads up to |n| queued bytes without waiting. Returns the count read,
  // or -1 on failure.
  virtual int Read(uint8_t* buf, int n) = 0;

  // Takes all |n| bytes for the line and hands the device what it takes
  // now, never waiting for room: the rest is pending output, sent as room
  // comes (FlushOutput, WaitForInput). Returns false, taking nothing, on a
  // failure of the line or when the pending output would pass its bound
  // (platform/output_queue.h: the far end has long stopped reading).
  virtual bool Write(const uint8_t* buf, int n) = 0;

  // Bytes written that the device has not taken yet.
  virtual int PendingOutput() const { return 0; }
  // Hands pending output to the device, as much as it takes now, without
  // waiting. A failure shows as a lost port or a failed next write.
  virtual void FlushOutput() {}

  // Lets what was written leave the port as far as the device takes it now
  // (a write it began is finished; pending writes it has not begun are
  // dropped), then empties the input queue.
  virtual void Purge() = 0;

  // Drops DTR and RTS (before closing).
  virtual void DropControlLines() = 0;

  // The descriptor to wait on, or -1 when there is none (fakes, dead lines).
  virtual int WaitHandle() const { return -1; }

  // True when the port itself holds received bytes that a wait on
  // WaitHandle() cannot see (a network port takes what the socket has and
  // decodes it); a wait then returns at once.
  virtual bool HoldsInput() const { return false; }

  // True once the device has gone away under the station (hung up, or a
  // read or write failed as a vanished device fails); |reason| then says
  // why in the system's words. A lost port is never waited on again.
  virtual bool Lost() const { return false; }
  virtual std::string LostReason() const { return {}; }
};

class SerialSystem {
 public:
  virtual ~SerialSystem() = default;

  // Opens the device named |port_name| ("COM1", ...) exclusively, or
  // connects to the device server its tcp:// or rfc2217:// URL names
  // (platform/net_port.h). Returns nullptr when it is absent, in use or
  // cannot be reached.
  virtual std::unique_ptr<SerialPort> Open(const std::string& port_name) = 0;

  // Why the last Open failed, naming the device path tried and the system's
  // reason ("/dev/ttyUSB0: No such file or directory"; for a network port
  // its URL, host, port and reason); empty after a success or when the back
  // end cannot tell.
  virtual std::string LastOpenError() const { return {}; }

  // Blocks until one of |ports| has queued input or |timeout_ms| of station
  // clock time have passed. Returns at once when timeout_ms <= 0. Null
  // entries are ignored. Never spins on a line that has gone away.
  // A port with pending output is waited on for room instead of input: its
  // output is handed on as room comes, and the wait ends once all of it has
  // gone (its input is then the caller's to read again).
  virtual void WaitForInput(std::span<SerialPort* const> ports, int32_t timeout_ms) = 0;
};

// The POSIX back end (termios); |clock| is the station clock.
class Clock;
std::unique_ptr<SerialSystem> NewPosixSerialSystem(Clock& clock);

// The Win32 back end (communications handles); |clock| is the station clock.
std::unique_ptr<SerialSystem> NewWin32SerialSystem(Clock& clock);

// The serial ports of the platform the program is built for (termios above,
// or the Win32 communications calls).
std::unique_ptr<SerialSystem> NewPlatformSerialSystem(Clock& clock);

}  // namespace kavelin2
