// Lines, byte primitives, frames and modems. Every operation acts on the
// line st.CurrentLine unless it names a line itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavelin2 {

struct Station;

// Control characters of the link.
constexpr uint8_t SOH = 0x01;
constexpr uint8_t STX = 0x02;
constexpr uint8_t ETX = 0x03;
constexpr uint8_t EOT = 0x04;
constexpr uint8_t ENQ = 0x05;
constexpr uint8_t ACK = 0x06;
constexpr uint8_t NAK = 0x15;
constexpr uint8_t RS = 0x1E;

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

// Non-blocking read of one byte: 1 when a byte was read into *byte, else 0
// (*byte unchanged).
int PollByte(Station& st, uint8_t* byte);
// Waits up to 1000 ms for one byte. Returns it, or 0 after a time-out (then
// HandleTimeout has run and the line's TimedOut is 1).
uint8_t WaitByte(Station& st);
// Waits until n bytes (1..1032) are queued (3000 ms at first, 1000 ms after
// each growth of the queue) and reads them. 1 on success, 0 on time-out
// (HandleTimeout has run) or failure.
int ReadBytes(Station& st, uint8_t* buffer, uint32_t n);
// Sends one control byte (low 8 bits of |byte|), after the infrared pause in
// the upload and idle states; records it in LastSentByte.
void SendByte(Station& st, int byte);
// Sends |n| bytes as they are.
void WriteBytes(Station& st, const uint8_t* buffer, size_t n);
// Sends FrameBuffer: FrameLength bytes, followed by ETX and BCC when
// FrameChecked is nonzero. Sending twice sends the same bytes twice.
void SendFrame(Station& st);
// Purges the port of line |line| if it is open (output drained first, so the
// station's last answer still leaves).
void PurgeLine(Station& st, int line);

}  // namespace kavelin2
