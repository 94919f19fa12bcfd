#include "ui/exchange_block.h"

#include <algorithm>
#include <cstring>

namespace kavelin2 {

void ClearReply(uint8_t* block) { std::memset(block, 0, kExchangeBlockSize); }

void PutStatus(uint8_t* block, std::string_view status) {
  block[kOffFlags] |= kReplyStatus;
  for (size_t i = 0; i < 3; ++i) block[kOffStatus + i] = i < status.size() ? status[i] : ' ';
}

void PutValue(uint8_t* block, ValueType type, std::string_view value) {
  size_t n = std::min<size_t>(value.size(), 255);
  block[kOffFlags] = static_cast<uint8_t>((block[kOffFlags] & ~kValueTypeMask) | kReplyValue |
                                          (type & kValueTypeMask));
  block[kOffValueLength] = static_cast<uint8_t>(n);
  std::memcpy(block + kOffValueText, value.data(), n);
  block[kOffValueText + n] = 0;
}

void PutNumberAndText(uint8_t* block, std::string_view number, std::string_view text) {
  PutValue(block, kValueNumberAndText, number);
  size_t start = kOffValueText + 1 + block[kOffValueLength];
  size_t room = kExchangeBlockSize - start - 1;
  size_t n = std::min(text.size(), room);
  std::memcpy(block + start, text.data(), n);
  block[start + n] = 0;
}

}  // namespace kavelin2
