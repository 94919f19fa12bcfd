// The line settings of a port as a pure function of its PortEntry codes and
// the port's current termios, so that every code can be checked without a
// device (a pseudo-terminal silently ignores data bits and parity).
#pragma once

#include <termios.h>

#include <cstdint>

#include "platform/line_format.h"

namespace kavelin2 {

// BaudRate of a VITESSE code (1 256000, 2 115200, 3 57600, 4 38400, 5 19200,
// 6 9600, 7 2400, 8 1200), or 0 for a code outside the table.
int32_t BaudForSpeedCode(int32_t code);

struct LineSettings {
  termios tio;
  // A speed that termios cannot name (256000): set afterwards through
  // termios2; 0 when tio already carries the speed or it stays unchanged.
  int32_t custom_baud = 0;
};

// The termios to apply: raw bytes, no flow control, receiver on, modem status
// ignored (no wait for carrier), reads that return at once (VMIN 0, VTIME 0),
// parity checking on; speed, data bits, parity and stop bits from |entry|.
// A code outside its table keeps that property as |current| has it.
LineSettings BuildLineSettings(const LineFormat& format, const termios& current);

}  // namespace kavelin2
