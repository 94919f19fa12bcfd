// The terminal front end over any Terminal (ncurses in the program, an
// in-memory grid in the tests).
#pragma once

#include <memory>

#include "ui/runtime/front_end.h"
#include "ui/runtime/terminal_io.h"

namespace kavelin2::uirt::term {

// How often the on-line display may be drawn and the keyboard looked at
// while the station polls it without blocking: the station may show many
// fields per millisecond during a fast transfer, and drawing each of them
// would slow the transfer down.
inline constexpr int kOnlineRedrawMs = 200;
inline constexpr int kOnlineKeyCheckMs = 50;
// A dialog polled without blocking (the schedule dialog and its clock) waits
// this long for a key, so that its polling loop does not spin.
inline constexpr int kDialogPollWaitMs = 100;

std::unique_ptr<FrontEnd> NewTerminalFrontEndOn(std::unique_ptr<Terminal> terminal);

}  // namespace kavelin2::uirt::term
