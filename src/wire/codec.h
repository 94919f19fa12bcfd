// The one codec of the wire formats, shared by the station and the handheld
// simulator: BCC, five-digit fields, name fields, decimal values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kavelin2 {

// The largest frame either side sends or reads, lead byte to check byte.
constexpr size_t kFrameBufferSize = 1032;

// XOR of |n| bytes.
uint8_t XorBytes(const uint8_t* data, size_t n);
// BCC of a frame body (the bytes after the lead byte, ETX excluded): the XOR
// of the body and of ETX.
uint8_t FrameBcc(const uint8_t* body, size_t n);

// Right-aligns a decimal text of at most five characters in a five-character
// field filled with '0' on the left, in place (storage of at least 6 bytes).
void PadZero5(char* text);

// Decimal value as the protocol reads numbers: leading blanks skipped, an
// optional sign, digits up to the first other character; no digit gives 0.
// Reads at most |width| characters.
int32_t DecimalValue(const char* text, size_t width);

// Turns a 12-character name field ("CDE     .001") into a file name
// ("CDE.001") in place; |name| holds 13 bytes.
void TrimFileName(char* name);

// A trimmed name that may safely name a file inside a directory: not empty,
// not ".", no '/', '\\', no "..", no control characters, and not a name the
// platform reserves (IsReservedFileName: "NUL.001" on Windows).
bool IsSafeFileName(const char* name);

// Builds a complete frame: |lead|, |body|, and when |checked| ETX and BCC.
std::vector<uint8_t> BuildFrame(uint8_t lead, const std::string& body, bool checked);

// The 12-character name field of a file name: base left-aligned in 8
// characters, '.', 3-character extension ("CDE.001" -> "CDE     .001").
std::string NameField(const std::string& file_name);

}  // namespace kavelin2
