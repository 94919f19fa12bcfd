// What a port has been given to send and its device has not taken yet. A
// write never waits for room: what the device refuses now waits here, and
// goes when a wait on the line finds room (SerialSystem::WaitForInput), so
// that a far end that stops reading holds up its own line alone.
//
// Bytes are kept as the writes gave them (units), so that a purge can drop
// every write not yet begun while a begun one is finished whole: a Telnet
// command or a doubled 0xFF is never cut in two on the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace kavelin2 {

class OutputQueue {
 public:
  // More than any exchange queues once its line stops taking bytes: the
  // largest frame with its ETX and BCC, then an ENQ for each tolerated
  // time-out and the closing EOT, several times over. A write that would go
  // beyond it fails: that far end has long stopped reading.
  static constexpr size_t kLimit = 16384;

  bool empty() const { return bytes_ == 0; }
  size_t size() const { return bytes_; }

  // Queues |bytes| behind what is there. False, with nothing queued, when
  // they would take the queue beyond kLimit; |bounded| false queues them
  // anyway (the few bytes of a protocol answer that must not be lost).
  bool Push(std::span<const uint8_t> bytes, bool bounded = true) {
    if (bytes.empty()) return true;
    if (bounded && bytes_ + bytes.size() > kLimit) return false;
    units_.emplace_back(bytes.begin(), bytes.end());
    bytes_ += bytes.size();
    return true;
  }

  // The bytes to hand the device next: the unsent part of the oldest write.
  // They stay where they are until Taken, whatever is pushed meanwhile (an
  // overlapped write may point at them).
  std::span<const uint8_t> Front() const {
    if (units_.empty()) return {};
    const std::vector<uint8_t>& unit = units_.front();
    return std::span<const uint8_t>(unit.data() + front_taken_, unit.size() - front_taken_);
  }

  // The device took |n| bytes of Front().
  void Taken(size_t n) {
    while (n > 0 && !units_.empty()) {
      const size_t left = units_.front().size() - front_taken_;
      const size_t k = n < left ? n : left;
      front_taken_ += k;
      bytes_ -= k;
      n -= k;
      if (front_taken_ == units_.front().size()) {
        units_.pop_front();
        front_taken_ = 0;
      }
    }
  }

  // Drops every write the device has not begun to take; one it took a part
  // of stays, to go whole.
  void DropUnbegun() {
    const bool begun = !units_.empty() && front_taken_ > 0;
    while (units_.size() > (begun ? 1u : 0u)) {
      bytes_ -= units_.back().size();
      units_.pop_back();
    }
  }

  void Clear() {
    units_.clear();
    front_taken_ = 0;
    bytes_ = 0;
  }

  // Hands the device what it takes now through |send| (bytes -> count
  // taken, 0 when it has no room, negative on failure). False on failure.
  template <typename Send>
  bool Flush(Send&& send) {
    while (!empty()) {
      const std::span<const uint8_t> front = Front();
      const long taken = send(front);
      if (taken < 0) return false;
      if (taken == 0) break;
      Taken(static_cast<size_t>(taken));
    }
    return true;
  }

 private:
  std::deque<std::vector<uint8_t>> units_;
  size_t front_taken_ = 0;  // bytes of units_.front() already taken
  size_t bytes_ = 0;        // unsent bytes in all
};

}  // namespace kavelin2
