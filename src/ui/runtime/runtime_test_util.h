// Helpers of the runtime tests: the runtime core behind the station's own
// channel (so every answer goes through the real exchange block and decoder),
// and a captured output stream.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "ui/runtime/headless_front_end.h"
#include "ui/runtime/runtime_core.h"
#include "ui/ui_channel.h"

namespace kavelin2::uirt {

class InProcessRuntimeLink : public UiRuntimeLink {
 public:
  explicit InProcessRuntimeLink(std::unique_ptr<Runtime> runtime) : runtime_(std::move(runtime)) {}
  LoadResult Load() override {
    loaded_ = true;
    return LoadResult::kOk;
  }
  bool IsLoaded() const override { return loaded_; }
  int32_t InitInstance(uint8_t*) override { return 1; }
  void FinInstance(uint8_t*) override {}
  void Call(uint8_t* block) override { runtime_->Execute(block); }
  void Unload() override { loaded_ = false; }
  Runtime& runtime() { return *runtime_; }

 private:
  std::unique_ptr<Runtime> runtime_;
  bool loaded_ = false;
};

// An unnamed temporary file standing in for standard output.
class CapturedOutput {
 public:
  CapturedOutput() : file_(std::tmpfile()) {}
  ~CapturedOutput() { std::fclose(file_); }
  std::FILE* file() { return file_; }
  std::string Text() {
    std::fflush(file_);
    long size = std::ftell(file_);
    std::string text(static_cast<size_t>(size), '\0');
    std::rewind(file_);
    size_t n = std::fread(text.data(), 1, text.size(), file_);
    text.resize(n);
    std::fseek(file_, 0, SEEK_END);
    return text;
  }

 private:
  std::FILE* file_;
};

// A headless runtime behind a channel, logging to |out| with the time stamp
// "T".
inline HeadlessOptions TestOptions(CapturedOutput& out) {
  HeadlessOptions options;
  options.out = out.file();
  options.now = [] { return std::string("T"); };
  return options;
}

inline UiChannel ChannelOver(std::unique_ptr<FrontEnd> front_end,
                             std::unique_ptr<Transcript> transcript = nullptr) {
  return UiChannel(std::make_unique<InProcessRuntimeLink>(
      std::make_unique<Runtime>(std::move(front_end), std::move(transcript))));
}

// The runtime behind a channel made by ChannelOver.
inline Runtime& RuntimeOf(UiChannel& ui) {
  return static_cast<InProcessRuntimeLink&>(ui.link()).runtime();
}

}  // namespace kavelin2::uirt
