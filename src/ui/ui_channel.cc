#include "ui/ui_channel.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kavelin2 {
namespace {

constexpr size_t kMaxText = 206;

void DefaultFatal(const char* title, const char* text) {
  // The message box of a desktop program becomes its title and text on
  // standard error; the program then stops at once.
  std::fprintf(stderr, "%s\n%s\n", title, text);
  std::fflush(stderr);
  std::_Exit(3);
}

int32_t ReadInt32(const uint8_t* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  return static_cast<int32_t>(v);
}

// Copies at most |n| characters of |src| (stopping at a NUL) and terminates.
void CopyChars(char* dst, const uint8_t* src, size_t n) {
  size_t i = 0;
  for (; i < n && src[i] != 0; ++i) dst[i] = static_cast<char>(src[i]);
  dst[i] = 0;
}

// The value text as a bounded string: the block may hold no NUL at all.
void ValueString(const uint8_t* block, size_t offset, char* out, size_t out_size) {
  size_t i = 0;
  while (offset + i < kExchangeBlockSize && i + 1 < out_size && block[offset + i] != 0) {
    out[i] = static_cast<char>(block[offset + i]);
    ++i;
  }
  out[i] = 0;
}

int32_t ClampToInt32(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return static_cast<int32_t>(-2147483647 - 1);
  return static_cast<int32_t>(v);
}

int32_t ParseInt(const char* s) {
  long long v = std::strtoll(s, nullptr, 10);
  return static_cast<int32_t>(v);
}

}  // namespace

UiChannel::UiChannel(std::unique_ptr<UiRuntimeLink> link, FatalHandler fatal)
    : link_(std::move(link)), fatal_(fatal ? fatal : DefaultFatal) {}

UiChannel::~UiChannel() = default;

void UiChannel::UiCall(const char* format, ...) {
  va_list args;
  va_start(args, format);
  // Bounded: a longer command is cut at 1,024 characters.
  std::vsnprintf(UiCommandBuffer, sizeof UiCommandBuffer, format, args);
  va_end(args);
  UiEnsureLoaded();
  if (UiReply.initialised == 0) {
    if (link_->InitInstance(UiReply.UiExchangeBlock) != 0) {
      UiReply.intValue = UiReply.longValue = UiReply.extraValue = UiReply.auxValue = 0;
      UiReply.doubleValue = 0;
      UiReply.floatValue = 0;
      UiReply.text[0] = UiReply.extraText[0] = UiReply.status[0] = 0;
      UiReply.tag1[0] = UiReply.tag2[0] = UiReply.tag3[0] = 0;
      UiReply.initialised = 1;
    } else {
      std::memcpy(UiReply.status, "*E*", 4);
      return;
    }
  }
  UiDecodeReply(UiCommandBuffer);
}

void UiChannel::UiEnsureLoaded() {
  if (link_->IsLoaded()) return;
  switch (link_->Load()) {
    case UiRuntimeLink::LoadResult::kOk:
      return;
    case UiRuntimeLink::LoadResult::kLibraryMissing:
      fatal_("Erreur", "La fonction loadlibrary sur la DLL WDEXE a échoué.\nProgramme arrêté!");
      break;
    case UiRuntimeLink::LoadResult::kEntryPointMissing:
      fatal_("Erreur", "La résolution des liens avec la DLL WDEXE a échoué.\nProgramme arrêté!");
      break;
  }
}

void UiChannel::UiDecodeReply(const char* command) {
  size_t n = std::strlen(command);
  if (n >= kExchangeBlockSize) n = kExchangeBlockSize - 1;
  std::memcpy(UiReply.UiExchangeBlock, command, n);
  UiReply.UiExchangeBlock[n] = 0;
  link_->Call(UiReply.UiExchangeBlock);
  DecodeBlock();
}

void UiChannel::DecodeBlock() {
  const uint8_t* b = UiReply.UiExchangeBlock;
  UiReply.auxValue = 0;
  uint8_t flags = b[kOffFlags];
  if (flags & kReplyStatus) CopyChars(UiReply.status, b + kOffStatus, 3);
  if (flags & kReplyExtraText) {
    CopyChars(UiReply.extraText, b + kOffExtraText, 10);
    UiReply.extraValue = ReadInt32(b + kOffExtraValue);
  }
  if (flags & kReplyTags) {
    CopyChars(UiReply.tag1, b + kOffTag1, 8);
    CopyChars(UiReply.tag2, b + kOffTag2, 8);
    CopyChars(UiReply.tag3, b + kOffTag3, 15);
  }
  if (!(flags & kReplyValue)) return;

  size_t length = b[kOffValueLength];
  size_t n = length > kMaxText ? kMaxText : length;
  CopyChars(UiReply.text, b + kOffValueText, n);
  UiReply.text[n] = 0;

  char value[kExchangeBlockSize];
  ValueString(b, kOffValueText, value, sizeof value);
  switch (flags & kValueTypeMask) {
    case kValueInteger:
      UiReply.intValue = ParseInt(value);
      UiReply.longValue = UiReply.intValue;
      UiReply.floatValue = static_cast<float>(UiReply.intValue);
      UiReply.doubleValue = UiReply.intValue;
      break;
    case kValueLong:
      UiReply.longValue = ParseInt(value);
      UiReply.intValue = UiReply.longValue;
      UiReply.floatValue = static_cast<float>(UiReply.longValue);
      UiReply.doubleValue = UiReply.longValue;
      break;
    case kValueFloat:
      UiReply.floatValue = static_cast<float>(std::atof(value));
      UiReply.intValue = ClampToInt32(UiReply.floatValue);
      UiReply.longValue = UiReply.intValue;
      UiReply.doubleValue = UiReply.floatValue;
      break;
    case kValueDouble:
      UiReply.doubleValue = std::atof(value);
      UiReply.intValue = ClampToInt32(UiReply.doubleValue);
      UiReply.longValue = UiReply.intValue;
      UiReply.floatValue = static_cast<float>(UiReply.doubleValue);
      break;
    case kValuePair:
      UiReply.auxValue = ReadInt32(b + kOffPairAux);
      UiReply.intValue = ReadInt32(b + kOffPairInt);
      break;
    case kValueNumberAndText: {
      UiReply.intValue = ParseInt(value);
      size_t second = kOffValueText + 1 + length;
      if (second < kExchangeBlockSize) {
        ValueString(b, second, UiReply.text, kMaxText + 1);
      } else {
        UiReply.text[0] = 0;
      }
      break;
    }
    default:
      break;
  }
}

void UiChannel::UiShutdown() {
  if (UiReply.initialised == 1) {
    if (link_->IsLoaded()) link_->FinInstance(UiReply.UiExchangeBlock);
    UiReply.initialised = 0;
  }
  if (link_->IsLoaded()) link_->Unload();
}

void UiChannel::SetStatus(const char* status) {
  std::snprintf(UiReply.status, sizeof UiReply.status, "%s", status);
}

bool UiChannel::StatusIs(const char* status) const {
  return std::strncmp(UiReply.status, status, sizeof UiReply.status) == 0;
}

}  // namespace kavelin2
