// Ctrl-C, Ctrl-Break and the console's close (and log-off, shut-down) as a
// stop request: what SIGINT and SIGTERM are to the POSIX station.
#include <windows.h>

#include <atomic>

#include "ui/runtime/stop_signal.h"

namespace kavelin2::uirt {
namespace {

// Set by the console's control thread. Process-wide by nature: a control
// event is delivered to the process, not to an instance.
std::atomic<bool> stop_requested{false};
// What the log names the stop by: Ctrl-C reads as SIGINT, everything else
// (Ctrl-Break, close, log-off, shut-down) as SIGTERM, as a service manager's
// stop does on Linux.
std::atomic<int> stop_signal{0};
int installations = 0;

BOOL WINAPI OnControlEvent(DWORD event) {
  stop_signal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
  stop_requested = true;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return TRUE;
    default:
      // Close, log-off, shut-down: the system ends the process as soon as
      // this handler returns. Holding it here lets the running exchange
      // finish and the station end by itself (the system still ends it when
      // its own time limit runs out).
      Sleep(INFINITE);
      return TRUE;
  }
}

}  // namespace

StopSignalGuard::StopSignalGuard(bool) {
  if (installations++ > 0) return;
  stop_requested = false;
  stop_signal = 0;
  SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

StopSignalGuard::~StopSignalGuard() {
  if (--installations > 0) return;
  SetConsoleCtrlHandler(OnControlEvent, FALSE);
}

bool StopRequested() { return stop_requested; }

int StopSignalNumber() { return stop_requested ? stop_signal.load() : 0; }

}  // namespace kavelin2::uirt
