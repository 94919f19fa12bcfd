// Drawing helpers shared by the views: the frame of a window centred on the
// screen, the title bar and the key line.
#pragma once

#include <string_view>

#include "ui/runtime/terminal_io.h"

namespace kavelin2::uirt::term {

// A framed area: the frame occupies the outer rows and columns; content
// coordinates start at (top + 1, left + 2).
struct Frame {
  int top = 0, left = 0, height = 0, width = 0;
  int content_row(int r) const { return top + 1 + r; }
  int content_col(int c) const { return left + 2 + c; }
  int content_width() const { return width - 4; }
  int content_height() const { return height - 2; }
};

// A frame for |content_rows| x |content_cols|, centred below the title bar
// and above the key line, shrunk to what the terminal holds.
Frame CenteredFrame(const Terminal& t, int content_rows, int content_cols);

// Writes |text| made safe and cut to |width| columns (no limit: to the edge).
void PutText(Terminal& t, int row, int col, std::string_view text, int width = -1,
             unsigned attr = kPlain);
void DrawFrame(Terminal& t, const Frame& f, std::string_view title);
// First row: the program and window title, and |right| at the right edge.
void DrawTitleBar(Terminal& t, std::string_view title, std::string_view right);
// Last row: key hints.
void DrawKeyLine(Terminal& t, std::string_view hints);
// Blanks the rectangle (for boxes drawn over a window).
void FillBlank(Terminal& t, int top, int left, int height, int width);

}  // namespace kavelin2::uirt::term
