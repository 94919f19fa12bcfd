// The crash test's hook: which point of which upload ends the station.
#include "platform/crash_point.h"

#include <cstdlib>
#include <cstring>

#include "station/station.h"
#include "wire/codec.h"

namespace kavelin2 {

void CrashPoint(const Station& st, const char* point) {
  const char* setting = std::getenv("KAVELIN2_CRASH_AT");
  if (setting == nullptr) return;
  const char* colon = std::strchr(setting, ':');
  if (colon == nullptr) return;
  size_t n = static_cast<size_t>(colon - setting);
  if (std::strlen(point) != n || std::strncmp(setting, point, n) != 0) return;
  const LineEntry& line = st.LineTable[st.CurrentLine];
  if (std::atoi(colon + 1) != DecimalValue(line.BlockCountText, 5)) return;
  KillThisProcess();
}

}  // namespace kavelin2
