// Layout of the exchange block shared by the station and its UI runtime.
//
// On entry to WDCALLC the block holds the NUL-terminated command. On return:
//   0   ReplyFlags: 0x80 status, 0x40 extra text, 0x20 tags, 0x10 value;
//       bits 0-3 ValueType
//   2   status, 3 characters, no terminator
//   5   extra text, 10 characters (ValueType 5: int32 at 5 and int32 at 9)
//   15  extraValue, int32
//   16  tag 1 (8), 24 tag 2 (8), 32 tag 3 (15)
//   47  value length N (unsigned byte)
//   48  value text, NUL-terminated; ValueType 8: a second string at 49 + N
// Integers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kavelin2 {

constexpr size_t kExchangeBlockSize = 1025;

constexpr uint8_t kReplyStatus = 0x80;
constexpr uint8_t kReplyExtraText = 0x40;
constexpr uint8_t kReplyTags = 0x20;
constexpr uint8_t kReplyValue = 0x10;
constexpr uint8_t kValueTypeMask = 0x0F;

constexpr size_t kOffFlags = 0;
constexpr size_t kOffStatus = 2;
constexpr size_t kOffExtraText = 5;
constexpr size_t kOffPairAux = 5;
constexpr size_t kOffPairInt = 9;
constexpr size_t kOffExtraValue = 15;
constexpr size_t kOffTag1 = 16;
constexpr size_t kOffTag2 = 24;
constexpr size_t kOffTag3 = 32;
constexpr size_t kOffValueLength = 47;
constexpr size_t kOffValueText = 48;

enum ValueType : uint8_t {
  kValueInteger = 1,
  kValueLong = 2,
  kValueFloat = 3,
  kValueDouble = 4,
  kValuePair = 5,
  kValueNumberAndText = 8,
};

// Writers used by the runtime (and the test fake) to build a reply.
// ClearReply zeroes the reply area; the others set their flag.
void ClearReply(uint8_t* block);
void PutStatus(uint8_t* block, std::string_view status);  // 3 characters
// Value text of at most 255 characters (longer is cut), with |type|.
void PutValue(uint8_t* block, ValueType type, std::string_view value);
// ValueType 8: the number text, then the second string (cut to fit the block).
void PutNumberAndText(uint8_t* block, std::string_view number, std::string_view text);

}  // namespace kavelin2
