// The wire trace: with KAVELIN2_TRACE=FILE every burst of bytes sent or
// received on any line is appended to FILE as one line:
//
//   <station ms> <port name> <TX|RX> <hex bytes> |<printable ASCII, '.' else>|
//
// The trace sits in a SerialPort decorator that is inserted only when the
// variable is set, so an untraced station pays nothing for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_system.h"
#include "platform/serial_port.h"

namespace kavelin2 {

class Clock;

// One trace line, without the newline.
std::string FormatTraceLine(int32_t now_ms, const std::string& port_name, bool sent,
                            const uint8_t* bytes, int n);

class WireTrace {
 public:
  // Appends to |path| (made when missing); IsOpen() is false when it cannot
  // be opened.
  WireTrace(FileSystem& fs, const std::string& path, Clock& clock);
  ~WireTrace();
  WireTrace(const WireTrace&) = delete;
  WireTrace& operator=(const WireTrace&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  void Bytes(const std::string& port_name, bool sent, const uint8_t* bytes, int n);
  // A free-form event line ("COM1 OPEN /dev/ttyS0").
  void Note(const std::string& port_name, const std::string& text);

 private:
  void Line(const std::string& text);
  std::unique_ptr<File> file_;
  Clock& clock_;
};

// The trace KAVELIN2_TRACE asks for, or null when it is unset; a file that
// cannot be opened is said on standard error and traces nothing.
std::shared_ptr<WireTrace> OpenWireTraceFromEnvironment(Clock& clock);

// Wraps |inner| so that its traffic goes to |trace|.
std::unique_ptr<SerialPort> NewTracingPort(std::unique_ptr<SerialPort> inner,
                                           const std::string& port_name,
                                           std::shared_ptr<WireTrace> trace);

}  // namespace kavelin2
