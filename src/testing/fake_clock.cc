#include "testing/fake_clock.h"

#include <ctime>

namespace kavelin2 {

FakeClock::FakeClock() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 6;
  t.tm_hour = 9;
  t.tm_min = 15;
  t.tm_sec = 2;
  base_seconds_ = static_cast<int64_t>(timegm(&t));
}

void FakeClock::SleepMs(int32_t ms) {
  if (ms <= 0) return;
  ms_ += ms;
  slept_ += ms;
}

std::tm FakeClock::LocalTime() {
  time_t now = static_cast<time_t>(NowSeconds());
  std::tm t{};
  gmtime_r(&now, &t);
  return t;
}

}  // namespace kavelin2
