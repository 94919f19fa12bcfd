// The real terminal: ncurses on the process's standard input and output.
#pragma once

#include <memory>

#include "ui/runtime/terminal_io.h"

namespace kavelin2::uirt::term {

// Puts the terminal in full-screen mode. nullptr when standard input or
// output is not a terminal or the terminal type is unknown. The terminal is
// given back as it was when the returned object is destroyed, when the
// process exits without destroying it, and when a fatal signal ends it.
std::unique_ptr<Terminal> OpenCursesTerminal();

// Gives the terminal its modes back and leaves full-screen mode using only
// async-signal-safe calls (tcsetattr and write of a sequence prepared in
// advance). Does nothing when no curses terminal is open.
void RestoreTerminalFromSignal();

}  // namespace kavelin2::uirt::term
