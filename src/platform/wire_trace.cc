#include "platform/wire_trace.h"

#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"

namespace kavelin2 {

std::string FormatTraceLine(int32_t now_ms, const std::string& port_name, bool sent,
                            const uint8_t* bytes, int n) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string line = std::to_string(now_ms) + " " + port_name + (sent ? " TX " : " RX ");
  std::string text;
  for (int i = 0; i < n; ++i) {
    uint8_t b = bytes[i];
    if (i > 0) line += ' ';
    line += kHex[b >> 4];
    line += kHex[b & 0x0F];
    text += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
  }
  return line + " |" + text + "|";
}

WireTrace::WireTrace(FileSystem& fs, const std::string& path, Clock& clock) : clock_(clock) {
  if (!fs.Create(path, CreateMode::kAppend, &file_).ok()) file_.reset();
}

WireTrace::~WireTrace() = default;

void WireTrace::Line(const std::string& text) {
  if (file_ == nullptr) return;
  // Written at every line, unbuffered, so the trace of a station that dies
  // is complete.
  std::string line = text + '\n';
  file_->Write(line.data(), line.size());
}

void WireTrace::Bytes(const std::string& port_name, bool sent, const uint8_t* bytes, int n) {
  if (n > 0) Line(FormatTraceLine(clock_.NowMs(), port_name, sent, bytes, n));
}

void WireTrace::Note(const std::string& port_name, const std::string& text) {
  Line(std::to_string(clock_.NowMs()) + " " + port_name + " " + text);
}

namespace {

class TracingPort : public SerialPort {
 public:
  TracingPort(std::unique_ptr<SerialPort> inner, std::string name, std::shared_ptr<WireTrace> trace)
      : inner_(std::move(inner)), name_(std::move(name)), trace_(std::move(trace)) {}
  ~TracingPort() override { trace_->Note(name_, "CLOSE"); }

  void Configure(const LineFormat& format) override { inner_->Configure(format); }
  int QueuedInput() override { return inner_->QueuedInput(); }
  int Read(uint8_t* buf, int n) override {
    int r = inner_->Read(buf, n);
    trace_->Bytes(name_, false, buf, r);
    return r;
  }
  bool Write(const uint8_t* buf, int n) override {
    bool ok = inner_->Write(buf, n);
    trace_->Bytes(name_, true, buf, n);
    if (!ok) trace_->Note(name_, "TX FAILED");
    return ok;
  }
  int PendingOutput() const override { return inner_->PendingOutput(); }
  void FlushOutput() override { inner_->FlushOutput(); }
  void Purge() override {
    inner_->Purge();
    trace_->Note(name_, "PURGE");
  }
  void DropControlLines() override { inner_->DropControlLines(); }
  int WaitHandle() const override { return inner_->WaitHandle(); }
  bool HoldsInput() const override { return inner_->HoldsInput(); }
  bool Lost() const override { return inner_->Lost(); }
  std::string LostReason() const override { return inner_->LostReason(); }

 private:
  std::unique_ptr<SerialPort> inner_;
  std::string name_;
  std::shared_ptr<WireTrace> trace_;
};

}  // namespace

std::unique_ptr<SerialPort> NewTracingPort(std::unique_ptr<SerialPort> inner,
                                           const std::string& port_name,
                                           std::shared_ptr<WireTrace> trace) {
  if (!inner) return nullptr;
  return std::make_unique<TracingPort>(std::move(inner), port_name, std::move(trace));
}

std::shared_ptr<WireTrace> OpenWireTraceFromEnvironment(Clock& clock) {
  const char* path = std::getenv("KAVELIN2_TRACE");
  if (path == nullptr || *path == '\0') return nullptr;
  // The trace is the serial back end's own: written beside the station's
  // files, not one of them.
  std::unique_ptr<FileSystem> fs = NewPlatformFileSystem();
  auto trace = std::make_shared<WireTrace>(*fs, path, clock);
  if (trace->IsOpen()) return trace;
  std::fprintf(stderr, "kavelin2: cannot open the wire trace %s\n", path);
  return nullptr;
}

}  // namespace kavelin2
