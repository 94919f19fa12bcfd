// Text helpers of the terminal front end: lossless UTF-8 decoding, display
// widths, and the one gate through which every shown text goes (SafeText), so
// that a file name or a log line received from a handheld can never send
// control sequences to the terminal.
#pragma once

#include <string>
#include <string_view>

namespace kavelin2::uirt::term {

// Decodes UTF-8 into code points. A byte that is not part of a valid
// sequence becomes U+DC00 + byte, which EncodeUtf8 turns back into that
// byte: editing a value never changes the bytes the user did not touch.
std::u32string DecodeUtf8(std::string_view utf8);
std::string EncodeUtf8(std::u32string_view text);

// Columns the code point takes once made printable (0, 1 or 2).
int CodePointWidth(char32_t c);
// Columns of a text once made printable.
int TextWidth(std::string_view utf8);

// The text made printable and cut to at most |width| columns: control
// characters and undecodable bytes become '?'.
std::string SafeText(std::string_view utf8, int width = 1 << 20);
// SafeText of |text| padded with blanks to exactly |width| columns.
std::string PadText(std::string_view utf8, int width);

// A one-line editor over a value of at most |max_bytes| bytes once encoded.
class LineEditor {
 public:
  void Reset(std::string_view value, size_t max_bytes);
  std::string value() const { return EncodeUtf8(text_); }
  size_t cursor() const { return cursor_; }
  const std::u32string& text() const { return text_; }

  // False when the character does not fit (the value stays as it was).
  bool Insert(char32_t c);
  void Backspace();
  void Delete();
  void Left() {
    if (cursor_ > 0) --cursor_;
  }
  void Right() {
    if (cursor_ < text_.size()) ++cursor_;
  }
  void Home() { cursor_ = 0; }
  void End() { cursor_ = text_.size(); }

  // What a box |width| columns wide shows, scrolled to keep the cursor in
  // view, and the cursor's column inside that box.
  std::string Visible(int width, int* cursor_column) const;

 private:
  std::u32string text_;
  size_t cursor_ = 0;
  size_t max_bytes_ = 0;
};

}  // namespace kavelin2::uirt::term
