// Placeholders until the serial link lands. Remove as implemented.
#include "app/station.h"
#include "link/link.h"
#include "link/serial_port.h"

namespace kavelin2 {
int OpenLines(Station&) { return 0; }
void CloseLines(Station&) {}
void InitModems(Station&) {}
std::unique_ptr<SerialSystem> NewPosixSerialSystem(Clock&) { return nullptr; }
}  // namespace kavelin2
