// The parts of the handheld's port that are the same on every platform: the
// bytes read ahead, handed out one by one, and the line noise put on what it
// sends and receives.
#include <cstdio>
#include <random>
#include <vector>

#include "handheld_port.h"

namespace kavelin2::handheld {

void HandheldPort::SetNoise(double per_byte, uint64_t seed) {
  noise_ = per_byte;
  random_.seed(seed);
}

void HandheldPort::Noise(uint8_t* b, NoiseTally* tally) {
  if (noise_ > 0 && std::uniform_real_distribution<double>(0, 1)(random_) < noise_) {
    uint8_t mask = static_cast<uint8_t>(1u << (random_() % 8));
    *b ^= mask;
    ++injected_;
    ++tally->flips;
    if (tally->bytes > 0) {
      ++tally->flips_after_lead;
      tally->xor_after_lead ^= mask;
    }
  }
  ++tally->bytes;
}

bool HandheldPort::Write(const uint8_t* data, size_t n) {
  std::vector<uint8_t> noisy;
  if (noise_ > 0) {
    write_noise_ = NoiseTally{};
    noisy.assign(data, data + n);
    for (uint8_t& b : noisy) Noise(&b, &write_noise_);
    data = noisy.data();
  }
  return WriteRaw(data, n);
}

int HandheldPort::ReadByte(int timeout_ms) {
  if (next_ >= buffered_) {
    int r = FillBuffer(timeout_ms);
    if (r < 0) return r;
  }
  uint8_t byte = buffer_[next_++];
  if (received_log_) fputc(byte, received_log_);
  if (noise_ > 0) Noise(&byte, &read_noise_);
  return byte;
}

}  // namespace kavelin2::handheld
