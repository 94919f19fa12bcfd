#include <time.h>

#include "platform/clock.h"

namespace kavelin2 {
namespace {

class SystemClock : public Clock {
 public:
  SystemClock() : start_ns_(MonotonicNs()) {}

  int32_t NowMs() override {
    // Wraps like the 32-bit process clock it stands for.
    return static_cast<int32_t>(static_cast<uint32_t>((MonotonicNs() - start_ns_) / 1000000));
  }

  void SleepMs(int32_t ms) override {
    if (ms <= 0) return;
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
  }

  int64_t NowSeconds() override { return static_cast<int64_t>(time(nullptr)); }

  std::tm LocalTime() override {
    time_t now = time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
  }

 private:
  static int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
  }
  int64_t start_ns_;
};

}  // namespace

std::unique_ptr<Clock> NewSystemClock() { return std::make_unique<SystemClock>(); }

}  // namespace kavelin2
