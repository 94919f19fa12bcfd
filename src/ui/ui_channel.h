// The station's one road to the screen: command strings to the UI runtime and
// the decoded reply record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ui/exchange_block.h"

namespace kavelin2 {

// The reply record. Callers read status, text and intValue right after UiCall.
struct UiReplyRecord {
  uint8_t UiExchangeBlock[kExchangeBlockSize] = {};
  int32_t intValue = 0;
  int32_t longValue = 0;
  double doubleValue = 0;
  float floatValue = 0;
  char text[207] = {};
  char extraText[11] = {};
  int32_t extraValue = 0;
  char status[4] = {};
  char tag1[9] = {};
  char tag2[9] = {};
  char tag3[16] = {};
  int32_t auxValue = 0;
  int32_t initialised = 0;
};

// The loaded UI runtime: a library with five entry points bound by name.
class UiRuntimeLink {
 public:
  enum class LoadResult { kOk, kLibraryMissing, kEntryPointMissing };
  virtual ~UiRuntimeLink() = default;
  // Loads the library and binds WDInitInstance, FinInstance, WDCALLC,
  // AffTexteLongC and WSIPPARTAGE in that order, stopping at the first
  // missing name.
  virtual LoadResult Load() = 0;
  virtual bool IsLoaded() const = 0;
  virtual int32_t InitInstance(uint8_t* block) = 0;  // WDInitInstance
  virtual void FinInstance(uint8_t* block) = 0;
  virtual void Call(uint8_t* block) = 0;  // WDCALLC
  virtual void Unload() = 0;
};

// The runtime library found beside the program ("libkavelin2ui.so"), or the
// one that KAVELIN2_UI_LIBRARY names (a path or a library name).
std::unique_ptr<UiRuntimeLink> NewDynamicUiRuntimeLink();
std::unique_ptr<UiRuntimeLink> NewDynamicUiRuntimeLink(const std::string& library);

class UiChannel {
 public:
  // |fatal| is called with the message box title and text when the runtime
  // cannot be loaded or bound; the default prints both on standard error and
  // ends the program with status 3.
  using FatalHandler = void (*)(const char* title, const char* text);
  explicit UiChannel(std::unique_ptr<UiRuntimeLink> link, FatalHandler fatal = nullptr);
  ~UiChannel();

  // Formats one command (cut at 1,024 characters), loads and starts the
  // runtime on first use, sends the command and decodes the reply.
  void UiCall(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Ends the runtime instance and unloads the library. Idempotent.
  void UiShutdown();
  // Sets status to a 3-character code, as callers do with "???".
  void SetStatus(const char* status);
  bool StatusIs(const char* status) const;

  UiReplyRecord UiReply;

  // Decodes the reply in UiReply.UiExchangeBlock (the step after WDCALLC).
  // Public for the byte-level tests of the decoder.
  void DecodeBlock();

  UiRuntimeLink& link() { return *link_; }

 private:
  void UiEnsureLoaded();
  void UiDecodeReply(const char* command);

  std::unique_ptr<UiRuntimeLink> link_;
  FatalHandler fatal_;
  char UiCommandBuffer[1025] = {};
};

}  // namespace kavelin2
