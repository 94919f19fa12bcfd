// Line speeds through termios2, which names any rate (256000 included).
// Kept apart from <termios.h> users: <asm/termbits.h> redefines its types.
#pragma once

#include <cstdint>

namespace kavelin2 {

// Sets both directions of |fd| to |baud| (BOTHER). False when refused.
bool SetLineSpeed(int fd, int32_t baud);
// The output speed of |fd| in baud, or -1 when it cannot be read.
int32_t ReadLineSpeed(int fd);

}  // namespace kavelin2
