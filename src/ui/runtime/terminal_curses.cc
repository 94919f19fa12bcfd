#include "ui/runtime/terminal_curses.h"

#include <curses.h>
#include <dlfcn.h>
#include <langinfo.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <string>

#include "ui/runtime/stop_signal.h"
#include "ui/runtime/terminal_text.h"

namespace kavelin2::uirt::term {
namespace {

// What the signal handlers need. A handler can only reach static storage, so
// this is process-wide; one curses terminal is open at a time.
struct SignalShared {
  volatile sig_atomic_t active = 0;  // the terminal is in curses mode
  struct termios saved = {};
  bool saved_valid = false;
  char reset[256] = {};
  size_t reset_length = 0;
};
SignalShared g_shared;

constexpr int kFatalSignals[] = {SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};
struct sigaction g_old_fatal[7];
bool g_fatal_installed[7] = {};

void OnFatal(int sig) {
  RestoreTerminalFromSignal();
  // SA_RESETHAND put the default action back: raise it again.
  raise(sig);
}

void InstallSignalHandlers() {
  for (size_t i = 0; i < 7; ++i) {
    struct sigaction old = {};
    sigaction(kFatalSignals[i], nullptr, &old);
    // Leave alone any handler already there (sanitizers, debuggers).
    g_fatal_installed[i] = !(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL;
    if (!g_fatal_installed[i]) continue;
    struct sigaction sa = {};
    sa.sa_handler = OnFatal;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(kFatalSignals[i], &sa, &g_old_fatal[i]);
  }
}

void RemoveSignalHandlers() {
  // The library may be unloaded after this: no handler may point into it.
  for (size_t i = 0; i < 7; ++i) {
    if (g_fatal_installed[i]) sigaction(kFatalSignals[i], &g_old_fatal[i], nullptr);
    g_fatal_installed[i] = false;
  }
}

void AppendCapability(const char* name) {
  char* cap = tigetstr(const_cast<char*>(name));
  if (cap == nullptr || cap == reinterpret_cast<char*>(-1)) return;
  size_t n = std::strlen(cap);
  if (g_shared.reset_length + n >= sizeof g_shared.reset) return;
  std::memcpy(g_shared.reset + g_shared.reset_length, cap, n);
  g_shared.reset_length += n;
}

// Latin letters without their accents for a terminal that is not UTF-8.
char AsciiFor(char32_t c) {
  static const struct {
    char32_t from;
    char to;
  } table[] = {{U'à', 'a'}, {U'á', 'a'}, {U'â', 'a'}, {U'ä', 'a'}, {U'ç', 'c'}, {U'è', 'e'},
               {U'é', 'e'}, {U'ê', 'e'}, {U'ë', 'e'}, {U'í', 'i'}, {U'î', 'i'}, {U'ï', 'i'},
               {U'ñ', 'n'}, {U'ó', 'o'}, {U'ô', 'o'}, {U'ö', 'o'}, {U'ú', 'u'}, {U'ù', 'u'},
               {U'û', 'u'}, {U'ü', 'u'}, {U'À', 'A'}, {U'É', 'E'}, {U'È', 'E'}, {U'Ñ', 'N'},
               {U'←', '<'}, {U'→', '>'}};
  if (c < 0x80) return static_cast<char>(c);
  for (const auto& e : table) {
    if (e.from == c) return e.to;
  }
  return '?';
}

// ncurses keeps process-wide caches (the terminal database, key tables) for
// the life of the process. When the station unloads the runtime those caches
// would go with the library's mapping while still allocated: keep ncurses
// loaded instead. Pins the libraries that hold |symbols|.
void KeepLoaded(std::initializer_list<const void*> symbols) {
  for (const void* symbol : symbols) {
    Dl_info info;
    if (dladdr(symbol, &info) != 0 && info.dli_fname != nullptr) {
      // Only takes a reference on a library already loaded.
      dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
  }
}

class CursesTerminal;
CursesTerminal* g_open = nullptr;

class CursesTerminal : public Terminal {
 public:
  CursesTerminal(SCREEN* screen, bool utf8, std::unique_ptr<StopSignalGuard> stop_guard)
      : screen_(screen), utf8_(utf8), stop_guard_(std::move(stop_guard)) {
    g_open = this;
  }
  ~CursesTerminal() override { Close(); }

  void Close() {
    if (!screen_) return;
    g_shared.active = 0;
    curs_set(1);
    endwin();
    delscreen(screen_);
    screen_ = nullptr;
    RemoveSignalHandlers();
    if (g_open == this) g_open = nullptr;
  }

  int rows() const override { return getmaxy(stdscr); }
  int cols() const override { return getmaxx(stdscr); }
  void Clear() override { werase(stdscr); }

  void Put(int row, int col, std::string_view text, unsigned attr) override {
    if (row < 0 || row >= rows() || col < 0 || col >= cols()) return;
    std::string safe = SafeText(text, cols() - col);
    if (!utf8_) {
      std::string ascii;
      for (char32_t c : DecodeUtf8(safe)) ascii.push_back(AsciiFor(c));
      safe = ascii;
    }
    attr_t a = A_NORMAL;
    if (attr & kBold) a |= A_BOLD;
    if (attr & kReverse) a |= A_REVERSE;
    if (attr & kUnderline) a |= A_UNDERLINE;
    if (attr & kDim) a |= A_DIM;
    wattrset(stdscr, a);
    mvwaddstr(stdscr, row, col, safe.c_str());
    wattrset(stdscr, A_NORMAL);
  }

  void SetCursor(int row, int col) override {
    cursor_row_ = row;
    cursor_col_ = col;
  }

  void Flush(bool full) override {
    if (full) clearok(curscr, TRUE);
    if (cursor_row_ >= 0 && cursor_row_ < rows() && cursor_col_ >= 0 && cursor_col_ < cols()) {
      curs_set(1);
      wmove(stdscr, cursor_row_, cursor_col_);
    } else {
      curs_set(0);
    }
    wrefresh(stdscr);
  }

  int ReadKey(int timeout_ms) override {
    wtimeout(stdscr, timeout_ms);
    wint_t ch = 0;
    int rc = wget_wch(stdscr, &ch);
    if (rc == ERR) return kNoKey;
    if (rc == KEY_CODE_YES) return MapFunctionKey(static_cast<int>(ch));
    switch (ch) {
      case '\r':
      case '\n':
        return kKeyEnter;
      case 127:
      case 8:
        return kKeyBackspace;
      case 27:
        return kKeyEscape;
      case kCtrlL:
        return kKeyRedraw;
      default:
        return static_cast<int>(ch);
    }
  }

  int64_t NowMs() override {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  }

  bool TerminationRequested() override { return StopRequested(); }

 private:
  static int MapFunctionKey(int k) {
    switch (k) {
      case KEY_UP:
        return kKeyUp;
      case KEY_DOWN:
        return kKeyDown;
      case KEY_LEFT:
        return kKeyLeft;
      case KEY_RIGHT:
        return kKeyRight;
      case KEY_HOME:
        return kKeyHome;
      case KEY_END:
        return kKeyEnd;
      case KEY_PPAGE:
        return kKeyPageUp;
      case KEY_NPAGE:
        return kKeyPageDown;
      case KEY_BACKSPACE:
        return kKeyBackspace;
      case KEY_DC:
        return kKeyDelete;
      case KEY_BTAB:
        return kKeyBackTab;
      case KEY_RESIZE:
        return kKeyResize;
      case KEY_ENTER:
        return kKeyEnter;
      default:
        break;
    }
    if (k >= KEY_F(1) && k <= KEY_F(10)) return kKeyF1 + (k - KEY_F(1));
    return kNoKey;
  }

  SCREEN* screen_;
  bool utf8_;
  std::unique_ptr<StopSignalGuard> stop_guard_;
  int cursor_row_ = -1;
  int cursor_col_ = -1;
};

// A program that ends without closing the runtime still gets its terminal
// back: this runs at exit, and when the runtime library is unloaded.
struct ExitGuard {
  ~ExitGuard() {
    if (g_open) g_open->Close();
  }
} g_exit_guard;

}  // namespace

void RestoreTerminalFromSignal() {
  if (!g_shared.active) return;
  g_shared.active = 0;
  if (g_shared.reset_length > 0) {
    ssize_t ignored = write(STDOUT_FILENO, g_shared.reset, g_shared.reset_length);
    (void)ignored;
  }
  if (g_shared.saved_valid) tcsetattr(STDIN_FILENO, TCSANOW, &g_shared.saved);
}

std::unique_ptr<Terminal> OpenSystemTerminal() { return OpenCursesTerminal(); }

std::unique_ptr<Terminal> OpenCursesTerminal() {
  if (g_open) return nullptr;  // one at a time
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return nullptr;
  // Take the user's character set when the program did not choose one.
  const char* ctype = std::setlocale(LC_CTYPE, nullptr);
  if (ctype == nullptr || std::strcmp(ctype, "C") == 0 || std::strcmp(ctype, "POSIX") == 0) {
    std::setlocale(LC_CTYPE, "");
  }
  bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;

  g_shared.saved_valid = tcgetattr(STDIN_FILENO, &g_shared.saved) == 0;
  // SIGTERM and SIGINT ask the station to stop, as with the service front
  // end. Installed before newterm, so that ncurses keeps its own handlers
  // (which would end the program at once) off them.
  KeepLoaded({reinterpret_cast<const void*>(&newterm), reinterpret_cast<const void*>(&tigetstr)});
  auto stop_guard = std::make_unique<StopSignalGuard>();
  InstallSignalHandlers();
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (screen == nullptr) {
    RemoveSignalHandlers();
    return nullptr;
  }
  set_term(screen);
  cbreak();
  noecho();
  nonl();
  intrflush(stdscr, FALSE);
  keypad(stdscr, TRUE);
  set_escdelay(25);
  curs_set(0);
  g_shared.reset_length = 0;
  AppendCapability("sgr0");
  AppendCapability("cnorm");
  AppendCapability("rmkx");
  AppendCapability("rmcup");
  g_shared.active = 1;
  return std::make_unique<CursesTerminal>(screen, utf8, std::move(stop_guard));
}

}  // namespace kavelin2::uirt::term
