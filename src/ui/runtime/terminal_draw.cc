#include "ui/runtime/terminal_draw.h"

#include <algorithm>
#include <string>

#include "ui/runtime/terminal_text.h"

namespace kavelin2::uirt::term {

Frame CenteredFrame(const Terminal& t, int content_rows, int content_cols) {
  Frame f;
  int avail_rows = std::max(3, t.rows() - 2);  // title bar and key line
  f.height = std::min(content_rows + 2, avail_rows);
  f.width = std::min(content_cols + 4, std::max(6, t.cols()));
  f.top = 1 + std::max(0, (avail_rows - f.height) / 2);
  f.left = std::max(0, (t.cols() - f.width) / 2);
  return f;
}

void PutText(Terminal& t, int row, int col, std::string_view text, int width, unsigned attr) {
  if (row < 0 || row >= t.rows() || col >= t.cols()) return;
  int room = t.cols() - col;
  if (width < 0 || width > room) width = room;
  if (width <= 0) return;
  t.Put(row, col, SafeText(text, width), attr);
}

void DrawFrame(Terminal& t, const Frame& f, std::string_view title) {
  if (f.width < 2 || f.height < 2) return;
  std::string horizontal(static_cast<size_t>(f.width - 2), '-');
  t.Put(f.top, f.left, "+" + horizontal + "+", kPlain);
  t.Put(f.top + f.height - 1, f.left, "+" + horizontal + "+", kPlain);
  for (int r = f.top + 1; r < f.top + f.height - 1; ++r) {
    t.Put(r, f.left, "|", kPlain);
    t.Put(r, f.left + f.width - 1, "|", kPlain);
  }
  if (!title.empty() && f.width > 6) {
    std::string shown = SafeText(title, f.width - 6);
    int w = TextWidth(shown);
    t.Put(f.top, f.left + (f.width - w - 2) / 2, " " + shown + " ", kBold);
  }
}

void DrawTitleBar(Terminal& t, std::string_view title, std::string_view right) {
  int cols = t.cols();
  if (cols <= 0) return;
  t.Put(0, 0, std::string(static_cast<size_t>(cols), ' '), kReverse);
  std::string r = SafeText(right, std::max(0, cols - 2));
  int rw = TextWidth(r);
  PutText(t, 0, 1, title, std::max(0, cols - rw - 3), kReverse | kBold);
  if (rw > 0) t.Put(0, cols - rw - 1, r, kReverse);
}

void DrawKeyLine(Terminal& t, std::string_view hints) {
  if (t.rows() < 2) return;
  PutText(t, t.rows() - 1, 1, hints, t.cols() - 2, kDim);
}

void FillBlank(Terminal& t, int top, int left, int height, int width) {
  if (width <= 0) return;
  std::string blank(static_cast<size_t>(width), ' ');
  for (int r = top; r < top + height; ++r) t.Put(r, left, blank, kPlain);
}

}  // namespace kavelin2::uirt::term
