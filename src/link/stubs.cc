// Placeholders until the serial link lands. Remove as implemented.
#include "app/station.h"
#include "link/link.h"
#include "link/serial_port.h"

namespace kavelin2 {
int OpenLines(Station&) { return 0; }
void CloseLines(Station&) {}
void InitModems(Station&) {}
int PollByte(Station&, uint8_t*) { return 0; }
uint8_t WaitByte(Station&) { return 0; }
int ReadBytes(Station&, uint8_t*, uint32_t) { return 0; }
void SendByte(Station&, int) {}
void WriteBytes(Station&, const uint8_t*, size_t) {}
void SendFrame(Station&) {}
void PurgeLine(Station&, int) {}
std::unique_ptr<SerialSystem> NewPosixSerialSystem(Clock&) { return nullptr; }
}  // namespace kavelin2
