// Time as the station sees it. Everything that waits or stamps goes through a
// Clock, so tests run the 1000 ms, 3000 ms and schedule rules on a fake clock.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>

namespace kavelin2 {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since the station started. Deadlines are compared as signed
  // 32-bit values: a deadline has passed when it is below NowMs().
  virtual int32_t NowMs() = 0;
  // Blocks the thread for |ms| milliseconds (no-op for ms <= 0).
  virtual void SleepMs(int32_t ms) = 0;
  // Calendar time in seconds (for elapsed exchange times).
  virtual int64_t NowSeconds() = 0;
  // Local broken-down time of NowSeconds().
  virtual std::tm LocalTime() = 0;
};

// The real clock: a monotonic process clock and the system's local time.
std::unique_ptr<Clock> NewSystemClock();

// True when |deadline| has passed at |now|: the deadline is below the clock.
// The difference is taken modulo 2^32, so the comparison stays right when the
// millisecond clock wraps after 24.8 days of running.
inline bool DeadlinePassed(int32_t deadline, int32_t now) {
  return static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(deadline)) > 0;
}

// |now| + |ms| on the wrapping millisecond clock (no signed overflow).
inline int32_t AddMs(int32_t now, int32_t ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(now) + static_cast<uint32_t>(ms));
}

// "hh:mm:ss" and "MM/DD/YY" (two digits each) into 9-byte buffers.
void FormatTimeText(const std::tm& t, char out[9]);
void FormatDateText(const std::tm& t, char out[9]);

}  // namespace kavelin2
