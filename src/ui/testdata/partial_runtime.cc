// A runtime library with only four of the five entry points: WSIPPARTAGE is
// missing, so binding must fail after the fourth.
#include <cstdint>

extern "C" {
int32_t WDInitInstance(uint8_t*) { return 1; }
void FinInstance(uint8_t*) {}
void WDCALLC(uint8_t*) {}
void AffTexteLongC(uint8_t*) {}
}
