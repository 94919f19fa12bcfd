// A serial line's format in the codes its settings file keeps them in, so
// that the back ends can apply it without knowing the settings records.
#pragma once

#include <cstdint>

namespace kavelin2 {

struct LineFormat {
  int32_t speed = 0;      // 1 256000, 2 115200, 3 57600, 4 38400, 5 19200, 6 9600, 7 2400, 8 1200
  int32_t data_bits = 0;  // 1 seven bits, anything else eight
  int32_t parity = 0;     // 1 none, 2 even, 3 odd, 4 mark, 5 space
  int32_t stop_bits = 0;  // 1 one, 2 one and a half, 3 two
};

}  // namespace kavelin2
