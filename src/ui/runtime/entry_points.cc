// The five entry points of the runtime library, the only symbols it exports.
// The station binds them by name; they share one runtime instance.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "ui/exchange_block.h"
#include "ui/runtime/front_end_choice.h"
#include "ui/runtime/runtime_core.h"

#define KAVELIN2UI_EXPORT extern "C" __attribute__((visibility("default")))

namespace kavelin2::uirt {
namespace {

// The instance between WDInitInstance and FinInstance. The C entry points
// carry no context of their own, so the library keeps it.
std::unique_ptr<Runtime> instance;

std::unique_ptr<FrontEnd> MakeFrontEnd() {
  FrontEndChoice choice =
      ChooseFrontEnd(std::getenv("KAVELIN2_UI"), isatty(0) == 1 && isatty(1) == 1);
  if (!choice.warning.empty()) std::fprintf(stderr, "kavelin2ui: %s\n", choice.warning.c_str());
  switch (choice.kind) {
    case FrontEndKind::kScript:
      return NewScriptFrontEnd(choice.script_path);
    case FrontEndKind::kTerminal:
      return NewTerminalFrontEnd();
    case FrontEndKind::kHeadless:
      break;
  }
  return NewHeadlessFrontEnd();
}

std::unique_ptr<Transcript> MakeTranscript() {
  const char* path = std::getenv("KAVELIN2_UI_TRANSCRIPT");
  if (path == nullptr || *path == 0) return nullptr;
  auto transcript = Transcript::Open(path);
  if (!transcript) std::fprintf(stderr, "kavelin2ui: cannot append to transcript %s\n", path);
  return transcript;
}

}  // namespace
}  // namespace kavelin2::uirt

using kavelin2::uirt::instance;

// Starts the instance: non-zero on success. Starting twice keeps the first.
KAVELIN2UI_EXPORT int32_t WDInitInstance(uint8_t* block) {
  try {
    if (!instance) {
      instance = std::make_unique<kavelin2::uirt::Runtime>(kavelin2::uirt::MakeFrontEnd(),
                                                           kavelin2::uirt::MakeTranscript());
    }
    if (block) kavelin2::ClearReply(block);
    return 1;
  } catch (...) {
    return 0;
  }
}

KAVELIN2UI_EXPORT void FinInstance(uint8_t* block) {
  instance.reset();
  if (block) kavelin2::ClearReply(block);
}

// Executes the command in |block| and leaves the reply there. Without an
// instance, or when the runtime fails, the reply is empty.
KAVELIN2UI_EXPORT void WDCALLC(uint8_t* block) {
  if (block == nullptr) return;
  try {
    if (instance) {
      instance->Execute(block);
      return;
    }
  } catch (...) {
  }
  kavelin2::ClearReply(block);
}

// Bound by the station but never called.
KAVELIN2UI_EXPORT void AffTexteLongC(uint8_t*) {}
KAVELIN2UI_EXPORT void WSIPPARTAGE(uint8_t*) {}
