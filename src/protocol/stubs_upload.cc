// Placeholders until the poll loop and uploads land. Remove as implemented.
#include "app/station.h"
#include "protocol/protocol.h"

namespace kavelin2 {
int PollLines(Station&) { return 1; }
void DispatchControlByte(Station&, uint8_t) {}
void StampExchange(Station&) {}
void StartUpload(Station&) {}
void ReceiveHeader(Station&) {}
void ReceiveBlock(Station&) {}
void ReceiveEndOfFile(Station&) {}
}  // namespace kavelin2
