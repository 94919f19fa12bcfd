#include "ui/runtime/terminal_text.h"

namespace kavelin2::uirt::term {
namespace {

constexpr char32_t kRawByteBase = 0xDC00;

bool IsRawByte(char32_t c) { return c >= kRawByteBase + 0x80 && c <= kRawByteBase + 0xFF; }

bool Printable(char32_t c) {
  if (c < 0x20 || c == 0x7F) return false;
  if (c >= 0x80 && c < 0xA0) return false;
  if (c >= 0xD800 && c <= 0xDFFF) return false;  // raw bytes and lone surrogates
  if (c > 0x10FFFF) return false;
  return true;
}

size_t EncodedSize(char32_t c) {
  if (IsRawByte(c) || c < 0x80) return 1;
  if (c < 0x800) return 2;
  if (c < 0x10000) return 3;
  return 4;
}

}  // namespace

std::u32string DecodeUtf8(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    char32_t c = 0;
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      n = 1;
      c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      n = 2;
      c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      n = 3;
      c = b & 0x07;
    }
    bool ok = n > 0 && i + n < s.size();
    if (ok) {
      for (size_t k = 1; k <= n; ++k) {
        unsigned char t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80) {
          ok = false;
          break;
        }
        c = (c << 6) | (t & 0x3F);
      }
    }
    // Overlong forms, surrogates and values past U+10FFFF are not text.
    if (ok && ((n == 2 && c < 0x800) || (n == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
               (c >= 0xD800 && c <= 0xDFFF))) {
      ok = false;
    }
    if (ok) {
      out.push_back(c);
      i += n + 1;
    } else {
      out.push_back(kRawByteBase + b);
      ++i;
    }
  }
  return out;
}

std::string EncodeUtf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) {
    if (IsRawByte(c)) {
      out.push_back(static_cast<char>(c - kRawByteBase));
    } else if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

int CodePointWidth(char32_t c) {
  if (!Printable(c)) return 1;  // shown as '?'
  if ((c >= 0x0300 && c <= 0x036F) || c == 0x200B) return 0;
  if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
      (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD)) {
    return 2;
  }
  return 1;
}

int TextWidth(std::string_view utf8) {
  int w = 0;
  for (char32_t c : DecodeUtf8(utf8)) w += CodePointWidth(c);
  return w;
}

std::string SafeText(std::string_view utf8, int width) {
  std::u32string out;
  int used = 0;
  for (char32_t c : DecodeUtf8(utf8)) {
    char32_t shown = Printable(c) ? c : U'?';
    int w = CodePointWidth(shown);
    if (used + w > width) break;
    // A combining mark needs something to sit on.
    if (w == 0 && out.empty()) continue;
    out.push_back(shown);
    used += w;
  }
  return EncodeUtf8(out);
}

std::string PadText(std::string_view utf8, int width) {
  std::string s = SafeText(utf8, width);
  int w = TextWidth(s);
  if (w < width) s.append(static_cast<size_t>(width - w), ' ');
  return s;
}

void LineEditor::Reset(std::string_view value, size_t max_bytes) {
  text_ = DecodeUtf8(value);
  max_bytes_ = max_bytes;
  cursor_ = text_.size();
}

bool LineEditor::Insert(char32_t c) {
  if (!Printable(c)) return false;
  size_t bytes = 0;
  for (char32_t t : text_) bytes += EncodedSize(t);
  if (bytes + EncodedSize(c) > max_bytes_) return false;
  text_.insert(text_.begin() + static_cast<long>(cursor_), c);
  ++cursor_;
  return true;
}

void LineEditor::Backspace() {
  if (cursor_ == 0) return;
  text_.erase(text_.begin() + static_cast<long>(cursor_ - 1));
  --cursor_;
}

void LineEditor::Delete() {
  if (cursor_ < text_.size()) text_.erase(text_.begin() + static_cast<long>(cursor_));
}

std::string LineEditor::Visible(int width, int* cursor_column) const {
  if (width < 1) width = 1;
  // Scroll so that the cursor stays inside the box, with one blank column
  // for it at the end of the value.
  size_t start = 0;
  for (;;) {
    int w = 0;
    for (size_t i = start; i < cursor_; ++i) w += CodePointWidth(text_[i]);
    if (w < width || start >= cursor_) break;
    ++start;
  }
  std::u32string shown;
  int used = 0;
  int cursor_col = 0;
  for (size_t i = start; i < text_.size(); ++i) {
    if (i == cursor_) cursor_col = used;
    char32_t c = Printable(text_[i]) ? text_[i] : U'?';
    int w = CodePointWidth(c);
    if (used + w > width) break;
    shown.push_back(c);
    used += w;
  }
  if (cursor_ >= text_.size()) cursor_col = used;
  if (cursor_col >= width) cursor_col = width - 1;
  if (cursor_column) *cursor_column = cursor_col;
  return EncodeUtf8(shown);
}

}  // namespace kavelin2::uirt::term
