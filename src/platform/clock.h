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

// A moment on the station's millisecond clock. The clock is a signed 32-bit
// value that wraps (after 24.8 days of running); every difference is taken
// modulo 2^32, so a wait that straddles the wrap lasts as long as any other.
// A deadline has passed once it is below the clock.
class Deadline {
 public:
  constexpr Deadline() = default;
  // |ms| after |now|.
  static constexpr Deadline After(int32_t now, int32_t ms) { return Deadline(Add(now, ms)); }
  // The deadline that is the clock value |at|.
  static constexpr Deadline At(int32_t at) { return Deadline(at); }

  constexpr bool PassedAt(int32_t now) const { return MsLeft(now) < 0; }
  // Milliseconds from |now| until the deadline: 0 at it, negative once passed.
  constexpr int32_t MsLeft(int32_t now) const {
    return static_cast<int32_t>(static_cast<uint32_t>(at_) - static_cast<uint32_t>(now));
  }
  // Milliseconds a wait from |now| must block for the deadline to have
  // passed when it returns (one past it); 0 when it has passed already.
  constexpr int32_t WaitMs(int32_t now) const {
    int32_t left = MsLeft(now);
    return left < 0 ? 0 : Add(left, 1);
  }
  constexpr int32_t ms() const { return at_; }

 private:
  constexpr explicit Deadline(int32_t at) : at_(at) {}
  static constexpr int32_t Add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
  }
  int32_t at_ = 0;
};

// "hh:mm:ss" and "MM/DD/YY" (two digits each) into 9-byte buffers.
void FormatTimeText(const std::tm& t, char out[9]);
void FormatDateText(const std::tm& t, char out[9]);

}  // namespace kavelin2
