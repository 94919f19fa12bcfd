// The byte primitives. Each acts on line.index and waits only by blocking
// on the line or the clock: a wait never spins. A write never waits: what
// the port cannot take at once is pending output, and the line's input
// waits behind it (InputOpen). Each returns what happened;
// what a time-out or a lost device means for the exchange is its handlers'
// business.
#include <algorithm>
#include <cstring>

#include "line/line.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

constexpr int32_t kByteWaitMs = 1000;
constexpr int32_t kFirstBytesWaitMs = 3000;

// Blocks until the line has input or |deadline| has passed.
void WaitUntil(Station& st, SerialPort* port, Deadline deadline) {
  int32_t timeout = deadline.WaitMs(st.clock.NowMs());
  if (timeout <= 0) return;
  SerialPort* ports[] = {port};
  st.serial.WaitForInput(ports, timeout);
}

// A port whose device is gone will bring no more bytes: waiting out the
// deadline would only hold up the other line.
bool PortLost(const SerialPort* port) { return port != nullptr && port->Lost(); }

Io WriteOutcome(const SerialPort& port, bool ok) {
  if (ok) return Io::kOk;
  return port.Lost() ? Io::kLost : Io::kWriteFailed;
}

// The line's input is for reading only once everything the station wrote
// has left: before that, no answer to it can be due, and a byte already
// there (a far end that sends without reading) must not move the exchange
// on while the station's own frame is still waiting for room. The exchange
// meanwhile waits within its deadlines, and times out as on a silent line.
bool InputOpen(SerialPort& port) {
  if (port.PendingOutput() == 0) return true;
  port.FlushOutput();
  return port.PendingOutput() == 0;
}

bool InIdleOrUploadState(char state) {
  return state == kStateUploadOpen || state == kStateReceiving || state == kStateIdle ||
         state == kStateHeaderAccepted;
}

}  // namespace

bool PollByte(LineEntry& line, uint8_t* byte) {
  SerialPort* port = line.PortHandle.get();
  if (port == nullptr || !InputOpen(*port) || port->QueuedInput() <= 0) return false;
  uint8_t b;
  if (port->Read(&b, 1) != 1) return false;
  *byte = b;
  return true;
}

ByteRead WaitByte(Station& st, LineEntry& line) {
  SerialPort* port = line.PortHandle.get();
  const Deadline deadline = Deadline::After(st.clock.NowMs(), kByteWaitMs);
  for (;;) {
    if (PortLost(port)) return {Io::kLost};
    if (deadline.PassedAt(st.clock.NowMs())) return {Io::kTimeout};
    uint8_t b = 0;
    if (PollByte(line, &b)) return {Io::kOk, b};
    WaitUntil(st, port, deadline);
  }
}

Io ReadBytes(Station& st, LineEntry& line, uint8_t* buffer, uint32_t n) {
  SerialPort* port = line.PortHandle.get();
  n = std::min<uint32_t>(n, kFrameBufferSize);
  // Bytes are taken out of the driver's queue as they come (never more than
  // n, so bytes beyond stay queued): a wait for the queue to grow can then
  // block on the line, which would report the bytes already there at once.
  // The count received so far plays the part of the queue count. They are
  // gathered aside, so the caller's buffer is untouched on failure.
  uint8_t got_bytes[kFrameBufferSize];
  uint32_t got = 0;
  uint32_t last_count = 0;
  Deadline deadline = Deadline::After(st.clock.NowMs(), kFirstBytesWaitMs);
  for (;;) {
    if (PortLost(port)) return Io::kLost;
    if (deadline.PassedAt(st.clock.NowMs())) return Io::kTimeout;
    if (port != nullptr && got < n && InputOpen(*port)) {
      int queued = port->QueuedInput();
      if (queued > 0) {
        int want = static_cast<int>(std::min<uint32_t>(n - got, static_cast<uint32_t>(queued)));
        int r = port->Read(got_bytes + got, want);
        if (r < 0) return port->Lost() ? Io::kLost : Io::kReadFailed;
        got += static_cast<uint32_t>(r);
      }
    }
    if (got != last_count) {
      deadline = Deadline::After(st.clock.NowMs(), kByteWaitMs);
      last_count = got;
    }
    if (got >= n) {
      std::memcpy(buffer, got_bytes, n);
      return Io::kOk;
    }
    WaitUntil(st, port, deadline);
  }
}

Io SendByte(Station& st, LineEntry& line, int byte) {
  if (st.Ports.line[line.index].IRDA == 'O' && InIdleOrUploadState(line.LineState)) {
    // An infrared transceiver needs a moment to turn the link around.
    st.clock.SleepMs(20);
  }
  uint8_t b = static_cast<uint8_t>(byte & 0xFF);
  line.LastSentByte = b;
  if (!line.PortHandle) return Io::kOk;
  return WriteOutcome(*line.PortHandle, line.PortHandle->Write(&b, 1));
}

Io WriteBytes(LineEntry& line, const uint8_t* buffer, size_t n) {
  if (!line.PortHandle || n == 0) return Io::kOk;
  return WriteOutcome(*line.PortHandle, line.PortHandle->Write(buffer, static_cast<int>(n)));
}

void PurgeLine(Station& st, int line) {
  if (line < 0 || line >= kLineCount) return;
  if (st.LineTable[line].PortHandle) st.LineTable[line].PortHandle->Purge();
}

}  // namespace kavelin2
