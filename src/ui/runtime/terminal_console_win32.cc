// The terminal front end's character terminal on the Win32 console: the
// frame is kept as a grid of UTF-16 cells and written whole with
// WriteConsoleOutputW, so French and Spanish letters show whatever the
// console's code page; text the program writes itself (messages on standard
// error) goes out as UTF-8 (SetConsoleOutputCP(CP_UTF8)).
#include "ui/runtime/terminal_console_win32.h"

#include <windows.h>

#include <vector>

#include "ui/runtime/stop_signal.h"
#include "ui/runtime/terminal_io.h"
#include "ui/runtime/terminal_text.h"

namespace kavelin2::uirt::term {
namespace {

// A wait for a key looks at the stop request this often: the console's
// control events come on a thread of their own and do not end the wait.
constexpr DWORD kStopCheckMs = 250;

}  // namespace

WORD AttributesFor(unsigned attr, WORD normal) {
  WORD a = normal;
  if (attr & kBold) a |= FOREGROUND_INTENSITY;
  if (attr & kDim) a &= static_cast<WORD>(~FOREGROUND_INTENSITY);
  if (attr & kUnderline) a |= COMMON_LVB_UNDERSCORE;
  if (attr & kReverse) {
    // Foreground and background colours swapped: the legacy console has no
    // reverse video of its own.
    WORD fg = a & 0x0F;
    WORD bg = (a >> 4) & 0x0F;
    a = static_cast<WORD>((a & ~0xFF) | (fg << 4) | bg);
  }
  return a;
}

// The console keys as the front end's keys; kNoKey for a key that is
// nothing to the front end (Shift alone, a key release). Pure, so that the
// fakes' tests check it without a console.
int KeyFromConsoleEvent(const KEY_EVENT_RECORD& k) {
  if (!k.bKeyDown) return kNoKey;
  bool shift = (k.dwControlKeyState & SHIFT_PRESSED) != 0;
  switch (k.wVirtualKeyCode) {
    case VK_UP:
      return kKeyUp;
    case VK_DOWN:
      return kKeyDown;
    case VK_LEFT:
      return kKeyLeft;
    case VK_RIGHT:
      return kKeyRight;
    case VK_HOME:
      return kKeyHome;
    case VK_END:
      return kKeyEnd;
    case VK_PRIOR:
      return kKeyPageUp;
    case VK_NEXT:
      return kKeyPageDown;
    case VK_DELETE:
      return kKeyDelete;
    case VK_BACK:
      return kKeyBackspace;
    case VK_TAB:
      return shift ? kKeyBackTab : kKeyTab;
    case VK_RETURN:
      return kKeyEnter;
    case VK_ESCAPE:
      return kKeyEscape;
    default:
      break;
  }
  if (k.wVirtualKeyCode >= VK_F1 && k.wVirtualKeyCode <= VK_F10) {
    return kKeyF1 + (k.wVirtualKeyCode - VK_F1);
  }
  wchar_t c = k.uChar.UnicodeChar;
  if (c == kCtrlL) return kKeyRedraw;
  if (c == 0) return kNoKey;
  return static_cast<int>(c);
}

namespace {

class ConsoleTerminal : public Terminal {
 public:
  ConsoleTerminal(HANDLE in, HANDLE out, DWORD in_mode, UINT output_cp, WORD normal)
      : in_(in), out_(out), saved_in_mode_(in_mode), saved_cp_(output_cp), normal_(normal) {
    Measure();
  }

  ~ConsoleTerminal() override {
    SetConsoleMode(in_, saved_in_mode_);
    SetConsoleOutputCP(saved_cp_);
    CONSOLE_CURSOR_INFO ci{25, TRUE};
    SetConsoleCursorInfo(out_, &ci);
  }

  int rows() const override { return rows_; }
  int cols() const override { return cols_; }

  void Clear() override {
    for (CHAR_INFO& c : grid_) {
      c.Char.UnicodeChar = L' ';
      c.Attributes = normal_;
    }
  }

  void Put(int row, int col, std::string_view text, unsigned attr) override {
    if (row < 0 || row >= rows_ || col < 0 || col >= cols_) return;
    WORD a = AttributesFor(attr, normal_);
    for (char32_t c : DecodeUtf8(SafeText(text, cols_ - col))) {
      if (col >= cols_) break;
      CHAR_INFO& cell = grid_[static_cast<size_t>(row * cols_ + col)];
      // Outside the Basic Multilingual Plane a cell cannot hold it.
      cell.Char.UnicodeChar = c < 0x10000 ? static_cast<wchar_t>(c) : L'?';
      cell.Attributes = a;
      ++col;
    }
  }

  void SetCursor(int row, int col) override {
    cursor_row_ = row;
    cursor_col_ = col;
  }

  void Flush(bool /*full*/) override {
    // The whole frame in one call: nothing half drawn shows.
    COORD size{static_cast<SHORT>(cols_), static_cast<SHORT>(rows_)};
    SMALL_RECT area = window_;
    WriteConsoleOutputW(out_, grid_.data(), size, COORD{0, 0}, &area);
    bool visible =
        cursor_row_ >= 0 && cursor_row_ < rows_ && cursor_col_ >= 0 && cursor_col_ < cols_;
    CONSOLE_CURSOR_INFO ci{25, visible ? TRUE : FALSE};
    SetConsoleCursorInfo(out_, &ci);
    if (visible) {
      SetConsoleCursorPosition(out_, COORD{static_cast<SHORT>(window_.Left + cursor_col_),
                                           static_cast<SHORT>(window_.Top + cursor_row_)});
    }
  }

  int ReadKey(int timeout_ms) override {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
      INPUT_RECORD rec;
      DWORD pending = 0;
      while (GetNumberOfConsoleInputEvents(in_, &pending) && pending > 0) {
        DWORD got = 0;
        if (!ReadConsoleInputW(in_, &rec, 1, &got) || got == 0) break;
        if (rec.EventType == WINDOW_BUFFER_SIZE_EVENT) {
          Measure();
          return kKeyResize;
        }
        if (rec.EventType != KEY_EVENT) continue;
        int key = KeyFromConsoleEvent(rec.Event.KeyEvent);
        if (key != kNoKey) return key;
      }
      if (TerminationRequested()) return kNoKey;
      DWORD wait = kStopCheckMs;
      if (timeout_ms >= 0) {
        ULONGLONG spent = GetTickCount64() - start;
        if (spent >= static_cast<ULONGLONG>(timeout_ms)) return kNoKey;
        ULONGLONG left = static_cast<ULONGLONG>(timeout_ms) - spent;
        if (left < wait) wait = static_cast<DWORD>(left);
      }
      WaitForSingleObject(in_, wait);
    }
  }

  int64_t NowMs() override { return static_cast<int64_t>(GetTickCount64()); }

  bool TerminationRequested() override { return StopRequested(); }

 private:
  void Measure() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(out_, &info)) window_ = info.srWindow;
    rows_ = window_.Bottom - window_.Top + 1;
    cols_ = window_.Right - window_.Left + 1;
    if (rows_ < 1) rows_ = 25;
    if (cols_ < 1) cols_ = 80;
    grid_.assign(static_cast<size_t>(rows_ * cols_), CHAR_INFO{});
    Clear();
  }

  HANDLE in_;
  HANDLE out_;
  DWORD saved_in_mode_;
  UINT saved_cp_;
  WORD normal_;
  StopSignalGuard stop_guard_;
  SMALL_RECT window_{0, 0, 79, 24};
  int rows_ = 25;
  int cols_ = 80;
  std::vector<CHAR_INFO> grid_;
  int cursor_row_ = -1;
  int cursor_col_ = -1;
};

}  // namespace

std::unique_ptr<Terminal> OpenSystemTerminal() {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD in_mode = 0;
  DWORD out_mode = 0;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  // Standard input and output must both be the console (not redirected).
  if (!GetConsoleMode(in, &in_mode) || !GetConsoleMode(out, &out_mode) ||
      !GetConsoleScreenBufferInfo(out, &info)) {
    return nullptr;
  }
  UINT cp = GetConsoleOutputCP();
  SetConsoleOutputCP(CP_UTF8);
  // Keys one by one, unechoed; Ctrl-C stays a control event (a stop
  // request), and resizing the window is reported.
  SetConsoleMode(in, ENABLE_PROCESSED_INPUT | ENABLE_WINDOW_INPUT | ENABLE_EXTENDED_FLAGS);
  return std::make_unique<ConsoleTerminal>(in, out, in_mode, cp, info.wAttributes & 0xFF);
}

}  // namespace kavelin2::uirt::term
