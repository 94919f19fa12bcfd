// The byte primitives. Each acts on st.CurrentLine and waits only by blocking
// on the line or the clock: a wait never spins.
#include <algorithm>
#include <cstring>

#include "link/link.h"
#include "station/station.h"
#include "supervision/supervision.h"

namespace kavelin2 {
namespace {

// Station milliseconds wrap like the 32-bit process clock they stand for
// (after 24.8 days the signed value turns negative). Deadlines are computed
// and compared modulo 2^32, so a wait that straddles the wrap lasts as long
// as any other instead of ending at once.
int32_t After(int32_t now, int32_t ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(now) + static_cast<uint32_t>(ms));
}
int32_t Until(int32_t deadline, int32_t now) {
  return static_cast<int32_t>(static_cast<uint32_t>(deadline) - static_cast<uint32_t>(now));
}
bool Passed(int32_t deadline, int32_t now) { return Until(deadline, now) < 0; }

// Blocks until the line has input or |deadline| has passed.
void WaitUntil(Station& st, SerialPort* port, int32_t deadline) {
  // A deadline passes when it is below the clock: wait one millisecond past it.
  int32_t timeout = Until(deadline, st.clock.NowMs()) + 1;
  if (timeout <= 0) return;
  SerialPort* ports[] = {port};
  st.serial.WaitForInput(ports, timeout);
}

// A port whose device is gone will bring no more bytes: waiting out the
// deadline would only hold up the other line.
bool PortLost(const SerialPort* port) { return port != nullptr && port->Lost(); }

// Notes a failed write on a port that is still there; a lost port is dealt
// with as a whole by the poll loop.
void NoteWrite(LineEntry& line, bool ok) {
  if (!ok && !line.PortHandle->Lost()) line.WriteFailed = true;
}

bool InIdleOrUploadState(char state) {
  return state == '0' || state == '1' || state == '2' || state == '8';
}

}  // namespace

int PollByte(Station& st, uint8_t* byte) {
  SerialPort* port = st.Line().PortHandle.get();
  if (port == nullptr || port->QueuedInput() <= 0) return 0;
  uint8_t b;
  if (port->Read(&b, 1) != 1) return 0;
  *byte = b;
  return 1;
}

uint8_t WaitByte(Station& st) {
  SerialPort* port = st.Line().PortHandle.get();
  int32_t deadline = After(st.clock.NowMs(), 1000);
  for (;;) {
    if (PortLost(port)) {
      // Ends the caller's frame as a time-out would, without counting one.
      st.Line().TimedOut = 1;
      return 0;
    }
    if (Passed(deadline, st.clock.NowMs())) {
      HandleTimeout(st);
      return 0;
    }
    uint8_t b = 0;
    if (PollByte(st, &b)) return b;
    WaitUntil(st, port, deadline);
  }
}

int ReadBytes(Station& st, uint8_t* buffer, uint32_t n) {
  SerialPort* port = st.Line().PortHandle.get();
  n = std::min<uint32_t>(n, kFrameBufferSize);
  // Bytes are taken out of the driver's queue as they come (never more than
  // n, so bytes beyond stay queued): a wait for the queue to grow can then
  // block on the line, which would report the bytes already there at once.
  // The count received so far plays the part of the queue count. They are
  // gathered aside, so the caller's buffer is untouched on failure.
  uint8_t got_bytes[kFrameBufferSize];
  uint32_t got = 0;
  uint32_t last_count = 0;
  int32_t deadline = After(st.clock.NowMs(), 3000);
  for (;;) {
    if (PortLost(port)) return 0;
    if (Passed(deadline, st.clock.NowMs())) {
      HandleTimeout(st);
      return 0;
    }
    if (port != nullptr && got < n) {
      int queued = port->QueuedInput();
      if (queued > 0) {
        int want = static_cast<int>(std::min<uint32_t>(n - got, static_cast<uint32_t>(queued)));
        int r = port->Read(got_bytes + got, want);
        if (r < 0) return 0;
        got += static_cast<uint32_t>(r);
      }
    }
    if (got != last_count) {
      deadline = After(st.clock.NowMs(), 1000);
      last_count = got;
    }
    if (got >= n) {
      std::memcpy(buffer, got_bytes, n);
      return 1;
    }
    WaitUntil(st, port, deadline);
  }
}

void SendByte(Station& st, int byte) {
  LineEntry& line = st.Line();
  if (st.Ports.line[st.CurrentLine].IRDA == 'O' && InIdleOrUploadState(line.LineState)) {
    // An infrared transceiver needs a moment to turn the link around.
    st.clock.SleepMs(20);
  }
  uint8_t b = static_cast<uint8_t>(byte & 0xFF);
  line.LastSentByte = b;
  ++line.SendCount;
  if (line.PortHandle) NoteWrite(line, line.PortHandle->Write(&b, 1));
}

void WriteBytes(Station& st, const uint8_t* buffer, size_t n) {
  LineEntry& line = st.Line();
  if (line.PortHandle && n > 0) {
    NoteWrite(line, line.PortHandle->Write(buffer, static_cast<int>(n)));
  }
}

void PurgeLine(Station& st, int line) {
  if (line < 0 || line >= kLineCount) return;
  if (st.LineTable[line].PortHandle) st.LineTable[line].PortHandle->Purge();
}

}  // namespace kavelin2
