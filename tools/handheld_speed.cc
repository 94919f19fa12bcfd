// Speeds without a Bxxx constant (the station's default 256000): the
// termios2 interface, alone in this unit because <asm/termbits.h> cannot share
// one with <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace kavelin2::handheld {

bool SetOtherSpeed(int fd, int baud) {
  struct termios2 t;
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = static_cast<speed_t>(baud);
  t.c_ospeed = static_cast<speed_t>(baud);
  if (ioctl(fd, TCSETS2, &t) != 0) return false;
  // A driver may round the rate or refuse it silently: read it back.
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  return static_cast<int>(t.c_ospeed) == baud;
}

}  // namespace kavelin2::handheld
