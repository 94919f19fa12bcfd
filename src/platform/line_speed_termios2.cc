// Only <asm/termbits.h> here: it cannot share a unit with <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include "platform/line_speed.h"

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace kavelin2 {

bool SetLineSpeed(int fd, int32_t baud) {
  struct termios2 t2;
  if (ioctl(fd, TCGETS2, &t2) != 0) return false;
  t2.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  t2.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t2.c_ispeed = static_cast<speed_t>(baud);
  t2.c_ospeed = static_cast<speed_t>(baud);
  if (ioctl(fd, TCSETS2, &t2) != 0) return false;
  // The driver may round or refuse the rate silently: read it back.
  return ReadLineSpeed(fd) == baud;
}

int32_t ReadLineSpeed(int fd) {
  struct termios2 t2;
  if (ioctl(fd, TCGETS2, &t2) != 0) return -1;
  return static_cast<int32_t>(t2.c_ospeed);
}

}  // namespace kavelin2
