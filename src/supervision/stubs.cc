// Placeholders until supervision lands. Remove as implemented.
#include "app/station.h"
#include "supervision/supervision.h"

namespace kavelin2 {
void HandleTimeout(Station&) {}
void HandleNak(Station&) {}
void AbortWithError(Station&) {}
void DiscardReceivedFile(Station&) {}
void LogResult(Station&, int) {}
void BuildStatRecord(int, const LineEntry&, int, long, char*) {}
void BuildUnlinkRecord(const LineEntry&, int, char*) {}
}  // namespace kavelin2
