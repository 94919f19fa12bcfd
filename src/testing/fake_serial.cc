#include "testing/fake_serial.h"

#include <algorithm>

#include "platform/output_queue.h"

namespace kavelin2 {

void FakeLine::Arrive(int64_t at_ms, const std::vector<uint8_t>& bytes) {
  pending_.emplace(at_ms, bytes);
}

std::deque<uint8_t>& FakeLine::queue() {
  while (!pending_.empty() && pending_.begin()->first <= clock_.now()) {
    const auto& bytes = pending_.begin()->second;
    queue_.insert(queue_.end(), bytes.begin(), bytes.end());
    pending_.erase(pending_.begin());
  }
  return queue_;
}

int64_t FakeLine::NextArrival() const { return pending_.empty() ? -1 : pending_.begin()->first; }

int64_t FakeLine::Room() {
  while (!room_due_.empty() && room_due_.begin()->first <= clock_.now()) {
    if (room >= 0) room += room_due_.begin()->second;
    room_due_.erase(room_due_.begin());
  }
  return room;
}

std::vector<uint8_t> FakeLine::TakeWritten() {
  std::vector<uint8_t> out;
  out.swap(written_);
  return out;
}

void FakeLine::RecordWrite(const uint8_t* buf, int n) {
  std::vector<uint8_t> bytes(buf, buf + n);
  written_.insert(written_.end(), bytes.begin(), bytes.end());
  writes_.push_back({clock_.now(), bytes});
  if (on_write) on_write(*this, bytes);
}

namespace {

class FakePort : public SerialPort {
 public:
  explicit FakePort(FakeLine& line) : line_(line) {
    line_.is_open = true;
    line_.lost = false;
    line_.lost_reason.clear();
  }
  ~FakePort() override { line_.is_open = false; }

  void Configure(const LineFormat& format) override {
    line_.last_config = format;
    ++line_.configures;
  }
  int QueuedInput() override { return line_.lost ? 0 : static_cast<int>(line_.queue().size()); }
  int Read(uint8_t* buf, int n) override {
    if (line_.lost) return -1;
    auto& q = line_.queue();
    int count = std::min<int>(n, static_cast<int>(q.size()));
    for (int i = 0; i < count; ++i) {
      buf[i] = q.front();
      q.pop_front();
    }
    return count;
  }
  bool Write(const uint8_t* buf, int n) override {
    if (line_.fail_writes || line_.lost) return false;
    if (!pending_.Push(std::span<const uint8_t>(buf, static_cast<size_t>(std::max(n, 0)))))
      return false;
    FlushOutput();
    return true;
  }
  int PendingOutput() const override { return line_.lost ? 0 : static_cast<int>(pending_.size()); }
  void FlushOutput() override {
    if (line_.lost) return;
    pending_.Flush([this](std::span<const uint8_t> bytes) -> long {
      const int64_t room = line_.Room();
      const size_t take =
          room < 0 ? bytes.size() : std::min(bytes.size(), static_cast<size_t>(room));
      if (take == 0) return 0;
      if (room >= 0) line_.room -= static_cast<int64_t>(take);
      line_.RecordWrite(bytes.data(), static_cast<int>(take));
      return static_cast<long>(take);
    });
  }
  void Purge() override {
    FlushOutput();
    pending_.DropUnbegun();
    line_.queue().clear();
    ++line_.purges;
  }
  void DropControlLines() override { line_.control_lines_dropped = true; }
  bool Lost() const override { return line_.lost; }
  std::string LostReason() const override { return line_.lost_reason; }

  FakeLine& line() { return line_; }

 private:
  FakeLine& line_;
  OutputQueue pending_;
};

}  // namespace

FakeLine& FakeSerialSystem::AddLine(const std::string& name) {
  auto& slot = lines_[name];
  if (!slot) slot = std::make_unique<FakeLine>(clock_);
  return *slot;
}

std::unique_ptr<SerialPort> FakeSerialSystem::Open(const std::string& port_name) {
  auto it = lines_.find(port_name);
  if (it != lines_.end()) it->second->open_attempts.push_back(clock_.now());
  if (it == lines_.end() || !it->second->present || it->second->is_open) return nullptr;
  opened_.push_back(port_name);
  return std::make_unique<FakePort>(*it->second);
}

void FakeSerialSystem::WaitForInput(std::span<SerialPort* const> ports, int32_t timeout_ms) {
  ++waits;
  if (timeout_ms <= 0) return;
  int64_t until = clock_.now() + timeout_ms;
  for (SerialPort* port : ports) {
    if (port == nullptr) continue;
    auto* fake = dynamic_cast<FakePort*>(port);
    if (fake == nullptr) continue;
    FakeLine& line = fake->line();
    if (line.lost) continue;  // nothing comes from a lost device
    if (port->PendingOutput() > 0) {
      // Waits for room, not for input; returns once the output has gone.
      port->FlushOutput();
      if (port->PendingOutput() == 0) return;
      int64_t room_at = line.NextRoom();
      if (room_at >= 0 && room_at < until) until = room_at;
      continue;
    }
    if (!line.queue().empty()) return;
    int64_t next = line.NextArrival();
    if (next >= 0 && next < until) until = next;
  }
  if (until > clock_.now()) clock_.Advance(until - clock_.now());
}

}  // namespace kavelin2
