#include "wire/codec.h"

#include <cstring>

#include "wire/reserved_names.h"

namespace kavelin2 {

namespace {
constexpr uint8_t kEtx = 0x03;
}

uint8_t XorBytes(const uint8_t* data, size_t n) {
  uint8_t x = 0;
  for (size_t i = 0; i < n; ++i) x ^= data[i];
  return x;
}

uint8_t FrameBcc(const uint8_t* body, size_t n) { return XorBytes(body, n) ^ kEtx; }

void PadZero5(char* text) {
  size_t n = strnlen(text, 5);
  std::memmove(text + (5 - n), text, n);
  std::memset(text, '0', 5 - n);
  text[5] = 0;
}

int32_t DecimalValue(const char* text, size_t width) {
  size_t i = 0;
  while (i < width && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < width && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int64_t v = 0;
  for (; i < width && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > 2147483647) v = 2147483647;  // saturate instead of overflowing
  }
  return static_cast<int32_t>(negative ? -v : v);
}

void TrimFileName(char* name) {
  name[12] = 0;
  char* space = static_cast<char*>(std::memchr(name, ' ', 12));
  if (space == nullptr) return;
  size_t first = static_cast<size_t>(space - name);
  if (name[11] == ' ' || first >= 8) {
    // No extension, or the first space lies in the extension itself: the
    // name ends at the first space (copying positions 8-11 over themselves
    // would leave a name with blanks in it).
    *space = 0;
    return;
  }
  char ext[4];
  std::memcpy(ext, name + 8, 4);
  std::memcpy(name + first, ext, 4);
  name[first + 4] = 0;
}

bool IsSafeFileName(const char* name) {
  if (name[0] == 0) return false;
  if (std::strcmp(name, ".") == 0) return false;  // the directory itself
  if (std::strstr(name, "..") != nullptr) return false;
  for (const char* p = name; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
  }
  return !IsReservedFileName(name);
}

std::vector<uint8_t> BuildFrame(uint8_t lead, const std::string& body, bool checked) {
  std::vector<uint8_t> frame;
  frame.reserve(body.size() + 3);
  frame.push_back(lead);
  frame.insert(frame.end(), body.begin(), body.end());
  if (checked) {
    frame.push_back(kEtx);
    frame.push_back(FrameBcc(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
  }
  return frame;
}

std::string NameField(const std::string& file_name) {
  std::string base = file_name;
  std::string ext;
  size_t dot = file_name.rfind('.');
  if (dot != std::string::npos) {
    base = file_name.substr(0, dot);
    ext = file_name.substr(dot + 1);
  }
  base.resize(8, ' ');
  ext.resize(3, ' ');
  return base.substr(0, 8) + "." + ext.substr(0, 3);
}

}  // namespace kavelin2
