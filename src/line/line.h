// Lines, byte primitives, frames and modems. Every operation acts on the
// line st.CurrentLine unless it names a line itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/control.h"

namespace kavelin2 {

struct Station;

// Opens and configures the port of every active line (line 1, then 2).
// Returns 1 when all opened; 0 at the first port that cannot be opened (its
// message shown; lines opened before stay open until CloseLines).
int OpenLines(Station& st);
// Opens the port of line |i| exclusively, configures it with the line's
// settings and purges it, without any message when it cannot (OpenLines
// says why; a lost line just tries again later). 1 when it is open; a modem
// line still needs its initialisation.
int ReopenLine(Station& st, int i);
// Purges, drops DTR and RTS, and closes every open line.
void CloseLines(Station& st);
// Resets the modem of every active line that has one; shows the waiting phase
// and purges every active line. Leaves CurrentLine at 0.
void InitModems(Station& st);

// The modem initialisation of InitModems for a line opened again while the
// other line is being served: StartModemInit sends the reset and returns at
// once; ContinueModemInit sends the line's command and ends with the purge,
// each step when its pause is over. ContinueModemInit returns 1 once the line
// is ready to serve (at once for a line with no initialisation running).
void StartModemInit(Station& st);
int ContinueModemInit(Station& st);

// What an operation on the line came to. A read ends with a byte or frame
// (kOk), a time-out, or a lost device; a write with kOk, a write the line did
// not take (the far end stopped reading), or a lost device. The caller
// decides what follows, in one place: nothing is left behind for anyone to
// clear. kReadFailed: a read the port refused although the device is still
// there; the frame it was part of is dropped.
enum class Io { kOk, kTimeout, kLost, kWriteFailed, kReadFailed };

struct ByteRead {
  Io io = Io::kTimeout;
  uint8_t byte = 0;  // when io is kOk

  bool operator==(const ByteRead&) const = default;
};

// Non-blocking read of one byte: true when a byte was read into *byte, else
// false (*byte unchanged).
bool PollByte(Station& st, uint8_t* byte);
// Waits up to 1000 ms for one byte.
ByteRead WaitByte(Station& st);
// Waits until n bytes (1..1032) are queued (3000 ms at first, 1000 ms after
// each growth of the queue) and reads them into |buffer| (untouched unless
// the outcome is kOk).
Io ReadBytes(Station& st, uint8_t* buffer, uint32_t n);
// Sends one control byte (low 8 bits of |byte|), after the infrared pause in
// the upload and idle states; records it in LastSentByte.
Io SendByte(Station& st, int byte);
// Sends |n| bytes as they are.
Io WriteBytes(Station& st, const uint8_t* buffer, size_t n);
// Sends FrameBuffer: FrameLength bytes, followed by ETX and BCC when
// FrameChecked is nonzero. Sending twice sends the same bytes twice.
Io SendFrame(Station& st);
// Purges the port of line |line| if it is open (output drained first, so the
// station's last answer still leaves).
void PurgeLine(Station& st, int line);

}  // namespace kavelin2
