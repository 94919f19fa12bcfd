// The Windows clock: the 32-bit millisecond tick count, which wraps after
// 49.7 days; the station's deadlines are compared modulo 2^32 (DeadlinePassed),
// so the wrap is harmless.
#include <windows.h>

#include <ctime>

#include "platform/clock.h"

namespace kavelin2 {
namespace {

class TickCountClock : public Clock {
 public:
  TickCountClock() : start_(GetTickCount()) {}

  int32_t NowMs() override {
    // Unsigned difference: right across the tick count's wrap.
    return static_cast<int32_t>(static_cast<uint32_t>(GetTickCount() - start_));
  }

  void SleepMs(int32_t ms) override {
    if (ms > 0) Sleep(static_cast<DWORD>(ms));
  }

  int64_t NowSeconds() override { return static_cast<int64_t>(std::time(nullptr)); }

  std::tm LocalTime() override {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_s(&t, &now);
    return t;
  }

 private:
  DWORD start_;
};

}  // namespace

std::unique_ptr<Clock> NewSystemClock() { return std::make_unique<TickCountClock>(); }

}  // namespace kavelin2
