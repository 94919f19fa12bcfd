// Placeholders until downloads land. Remove as implemented.
#include "app/station.h"
#include "protocol/protocol.h"

namespace kavelin2 {
void StartDownload(Station&) {}
void DownloadStep(Station&) {}
void RemoveSentFiles(Station&) {}
}  // namespace kavelin2
