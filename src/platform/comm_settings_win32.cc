#include "platform/comm_settings_win32.h"

namespace kavelin2 {
namespace {

struct SpeedRow {
  int32_t code;
  DWORD baud;
};
// There is no 4800 step.
constexpr SpeedRow kSpeeds[] = {{1, 256000}, {2, 115200}, {3, 57600}, {4, 38400},
                                {5, 19200},  {6, 9600},   {7, 2400},  {8, 1200}};

}  // namespace

DCB BuildCommState(const LineFormat& format, const DCB& current) {
  DCB d = current;
  d.DCBlength = sizeof(DCB);
  for (const SpeedRow& row : kSpeeds) {
    if (row.code == format.speed) d.BaudRate = row.baud;
  }
  // As on POSIX systems: 7 data bits for code 1, 8 for any other.
  d.ByteSize = format.data_bits == 1 ? 7 : 8;
  switch (format.parity) {
    case 1:
      d.Parity = NOPARITY;
      break;
    case 2:
      d.Parity = EVENPARITY;
      break;
    case 3:
      d.Parity = ODDPARITY;
      break;
    case 4:
      d.Parity = MARKPARITY;
      break;
    default:
      break;
  }
  switch (format.stop_bits) {
    case 1:
      d.StopBits = ONESTOPBIT;
      break;
    case 2:
      d.StopBits = ONE5STOPBITS;
      break;
    case 3:
      d.StopBits = TWOSTOPBITS;
      break;
    default:
      break;
  }
  d.fBinary = TRUE;
  d.fParity = TRUE;  // checking on, whatever the parity
  // No flow control of any kind; DTR and RTS simply raised.
  d.fOutxCtsFlow = FALSE;
  d.fOutxDsrFlow = FALSE;
  d.fDtrControl = DTR_CONTROL_ENABLE;
  d.fDsrSensitivity = FALSE;
  d.fTXContinueOnXoff = TRUE;
  d.fOutX = FALSE;
  d.fInX = FALSE;
  d.fErrorChar = FALSE;
  d.fNull = FALSE;  // a NUL is a byte of the file
  d.fRtsControl = RTS_CONTROL_ENABLE;
  // A line error must not stop every later read until it is cleared.
  d.fAbortOnError = FALSE;
  return d;
}

COMMTIMEOUTS StationCommTimeouts() {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = MAXDWORD;
  t.ReadTotalTimeoutMultiplier = MAXDWORD;
  t.ReadTotalTimeoutConstant = 10000;
  t.WriteTotalTimeoutMultiplier = 0;
  t.WriteTotalTimeoutConstant = 0;
  return t;
}

}  // namespace kavelin2
