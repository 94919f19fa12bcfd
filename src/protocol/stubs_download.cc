// Placeholder until the append step lands with uploads. Remove as implemented.
#include "app/station.h"
#include "protocol/protocol.h"

namespace kavelin2 {
void AppendReceivedFile(Station&) {}
}  // namespace kavelin2
