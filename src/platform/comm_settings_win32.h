// The line settings of a Windows port as a pure function of its PortEntry
// codes and the port's current DCB, so that every code is checked without
// a device (Wine's ports are pseudo-terminals, which ignore data bits and
// parity).
#pragma once

#include <windows.h>

#include "platform/line_format.h"

namespace kavelin2 {

// The DCB to apply: binary mode, no flow control of any kind, DTR and RTS
// on, parity checking on; speed (1 256000, 2 115200, 3 57600, 4 38400,
// 5 19200, 6 9600, 7 2400, 8 1200), data bits (1: 7, any other: 8), parity (1 none,
// 2 even, 3 odd, 4 mark) and stop bits (1: 1, 2: 1.5, 3: 2) from |entry|.
// A code outside its table keeps that property as |current| has it.
DCB BuildCommState(const LineFormat& format, const DCB& current);

// The time-outs of every port: a read returns at once with what is queued,
// and a read of an empty queue returns at its first byte (or after the
// constant, on Windows; Wine keeps it pending until a byte comes).
COMMTIMEOUTS StationCommTimeouts();

}  // namespace kavelin2
