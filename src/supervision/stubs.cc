// Placeholders until supervision lands. Remove as implemented.
#include "app/station.h"
#include "supervision/supervision.h"

namespace kavelin2 {
// The least a time-out must do until the full handling lands: count it and
// re-arm the line's deadline.
void HandleTimeout(Station& st) {
  LineEntry& line = st.Line();
  line.TimedOut = 1;
  line.LineDeadline = st.clock.NowMs() + 3000;
  ++line.TimeoutCount;
}
void HandleNak(Station&) {}
void AbortWithError(Station&) {}
void DiscardReceivedFile(Station&) {}
void LogResult(Station&, int) {}
void BuildStatRecord(int, const LineEntry&, int, long, char*) {}
void BuildUnlinkRecord(const LineEntry&, int, char*) {}
}  // namespace kavelin2
