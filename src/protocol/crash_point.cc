// The crash test's hook: which point of which upload ends the station.
#include "protocol/crash_point.h"

#include <cstdlib>
#include <cstring>

#include "protocol/codec.h"
#include "station/station.h"

namespace kavelin2 {

void CrashPoint(const Station& st, const char* point) {
  const char* spec = std::getenv("KAVELIN2_CRASH_AT");
  if (spec == nullptr) return;
  const char* colon = std::strchr(spec, ':');
  if (colon == nullptr) return;
  size_t n = static_cast<size_t>(colon - spec);
  if (std::strlen(point) != n || std::strncmp(spec, point, n) != 0) return;
  const LineEntry& line = st.LineTable[st.CurrentLine];
  if (std::atoi(colon + 1) != DecimalValue(line.BlockCountText, 5)) return;
  KillThisProcess();
}

}  // namespace kavelin2
