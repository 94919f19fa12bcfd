#include <cctype>
#include <cstring>

#include "wire/reserved_names.h"

namespace kavelin2 {

// "NUL.001" is the null device in every directory, not a file: an upload of
// that name would be acknowledged and lost.
bool IsReservedFileName(const char* name) {
  for (const char* p = name; *p; ++p) {
    if (std::strchr(":*?\"<>|", *p) != nullptr) return true;
  }
  // The device name is the part before the first dot, blanks trimmed.
  char base[16] = {};
  size_t n = 0;
  for (const char* p = name; *p && *p != '.' && n < sizeof base - 1; ++p) {
    base[n++] = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  }
  while (n > 0 && base[n - 1] == ' ') base[--n] = 0;
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* d : kDevices) {
    if (std::strcmp(base, d) == 0) return true;
  }
  // COM1-COM9 and LPT1-LPT9 (and the superscript digits Windows also takes
  // are not in a handheld's character set).
  if (n == 4 && (std::strncmp(base, "COM", 3) == 0 || std::strncmp(base, "LPT", 3) == 0) &&
      base[3] >= '1' && base[3] <= '9') {
    return true;
  }
  return false;
}

}  // namespace kavelin2
