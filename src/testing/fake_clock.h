// A clock that moves only when told to, or when the station sleeps or waits.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace kavelin2 {

class FakeClock : public Clock {
 public:
  // Starts at 0 ms, on 6 December 2026 at 09:15:02 (calendar time, UTC).
  FakeClock();

  int32_t NowMs() override { return static_cast<int32_t>(static_cast<uint32_t>(ms_)); }
  void SleepMs(int32_t ms) override;
  int64_t NowSeconds() override { return base_seconds_ + ms_ / 1000; }
  std::tm LocalTime() override;

  void Advance(int64_t ms) { ms_ += ms; }
  int64_t now() const { return ms_; }
  // Sets the wall clock (seconds since the epoch, read as UTC) at the current
  // station time.
  void SetCalendar(int64_t seconds) { base_seconds_ = seconds - ms_ / 1000; }
  // Total time spent in SleepMs.
  int64_t slept() const { return slept_; }

 private:
  int64_t ms_ = 0;
  int64_t base_seconds_;
  int64_t slept_ = 0;
};

}  // namespace kavelin2
