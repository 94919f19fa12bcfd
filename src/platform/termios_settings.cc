#include "platform/termios_settings.h"

namespace kavelin2 {
namespace {

struct SpeedRow {
  int32_t code;
  int32_t baud;
  speed_t constant;  // B0 when termios has no constant for it
};

// There is no 4800 step; 256000 has no Bxxx constant.
constexpr SpeedRow kSpeeds[] = {
    {1, 256000, B0},    {2, 115200, B115200}, {3, 57600, B57600}, {4, 38400, B38400},
    {5, 19200, B19200}, {6, 9600, B9600},     {7, 2400, B2400},   {8, 1200, B1200},
};

const SpeedRow* FindSpeed(int32_t code) {
  for (const SpeedRow& row : kSpeeds)
    if (row.code == code) return &row;
  return nullptr;
}

}  // namespace

int32_t BaudForSpeedCode(int32_t code) {
  const SpeedRow* row = FindSpeed(code);
  return row ? row->baud : 0;
}

LineSettings BuildLineSettings(const LineFormat& format, const termios& current) {
  LineSettings out;
  termios& t = out.tio;
  t = current;

  // Raw bytes both ways. Not cfmakeraw: it would also reset the character
  // size and parity, which a code outside its table must leave alone.
  // A break is a line condition, not a byte: ignore it rather than read a NUL.
  t.c_iflag &= ~static_cast<tcflag_t>(BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IUCLC | IMAXBEL);
  t.c_iflag |= IGNBRK;
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOKE | ICANON |
                                      ISIG | IEXTEN);
  // Parity checking on, also without parity (the byte then has no parity
  // bit to check and INPCK has no effect).
  t.c_iflag |= INPCK;
  // No flow control of either kind.
  t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  // Receiver on; modem status lines ignored, so opening and reading never
  // wait for carrier.
  t.c_cflag |= CLOCAL | CREAD;
  // A read returns at once with what is queued.
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;

  if (const SpeedRow* row = FindSpeed(format.speed)) {
    if (row->constant != B0) {
      cfsetispeed(&t, row->constant);
      cfsetospeed(&t, row->constant);
    } else {
      out.custom_baud = row->baud;
    }
  }

  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
  t.c_cflag |= format.data_bits == 1 ? CS7 : CS8;

  switch (format.parity) {
    case 1:  // none
      t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
      break;
    case 2:  // even
      t.c_cflag &= ~static_cast<tcflag_t>(PARODD | CMSPAR);
      t.c_cflag |= PARENB;
      break;
    case 3:  // odd
      t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
      t.c_cflag |= PARENB | PARODD;
      break;
    case 4:  // mark: "stick" parity, always 1
      t.c_cflag |= PARENB | PARODD | CMSPAR;
      break;
    default:
      break;
  }

  switch (format.stop_bits) {
    case 1:
      t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
      break;
    case 2:  // one and a half: termios has none with 7 or 8 data bits.
             // Two stop bits are never shorter than what the other end waits for,
             // and a receiver checks only the first stop bit, so 2 talks to a
             // 1.5-stop-bit peer both ways; 1 could be too short for it.
    case 3:
      t.c_cflag |= CSTOPB;
      break;
    default:
      break;
  }
  return out;
}

}  // namespace kavelin2
