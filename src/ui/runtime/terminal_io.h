// What the terminal front end needs from a character terminal: a grid to write
// into, keys to read, a clock, and whether the process was asked to end.
//
// The views draw through this interface only, so that the whole front end
// runs against an in-memory terminal in the tests and against ncurses in the
// program (terminal_curses.cc).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace kavelin2::uirt::term {

// Keys: printable characters are their Unicode code points; control keys
// (Ctrl-A is 1 ... ) are their ASCII codes; the others are these codes,
// above every code point.
enum Key : int {
  kNoKey = -1,
  kKeyTab = 9,
  kKeyEnter = 10,
  kKeyEscape = 27,
  kKeyUp = 0x110000,
  kKeyDown,
  kKeyLeft,
  kKeyRight,
  kKeyHome,
  kKeyEnd,
  kKeyPageUp,
  kKeyPageDown,
  kKeyBackspace,
  kKeyDelete,
  kKeyBackTab,
  kKeyResize,
  kKeyF1,
  kKeyF2,
  kKeyF10 = kKeyF1 + 9,
  kKeyRedraw,  // Ctrl-L: repaint everything
};

inline constexpr int kCtrlL = 12;

enum Attr : unsigned {
  kPlain = 0,
  kBold = 1,
  kReverse = 2,
  kUnderline = 4,
  kDim = 8,
};

class Terminal {
 public:
  virtual ~Terminal() = default;
  virtual int rows() const = 0;
  virtual int cols() const = 0;
  // Starts a new frame: the whole grid blank.
  virtual void Clear() = 0;
  // Writes |text| (UTF-8, already made printable by SafeText) at |row|,
  // |col|; what falls outside the grid is dropped.
  virtual void Put(int row, int col, std::string_view text, unsigned attr) = 0;
  // Where the cursor stands after Flush; a negative row hides it.
  virtual void SetCursor(int row, int col) = 0;
  // Shows the frame. |full| repaints every cell (after outside output).
  virtual void Flush(bool full = false) = 0;
  // The next key, waiting at most |timeout_ms| (0: only what is already
  // typed; negative: until a key or a signal). kNoKey when none came.
  virtual int ReadKey(int timeout_ms) = 0;
  // Monotonic milliseconds.
  virtual int64_t NowMs() = 0;
  // True once the process was asked to end (SIGTERM, SIGINT).
  virtual bool TerminationRequested() = 0;
};

// The platform's real terminal (ncurses on POSIX systems, the Win32
// console on Windows), or nullptr when standard input and output are not
// one.
std::unique_ptr<Terminal> OpenSystemTerminal();

}  // namespace kavelin2::uirt::term
