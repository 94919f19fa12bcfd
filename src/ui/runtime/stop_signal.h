// SIGTERM and SIGINT as a stop request: a station run as a service stops its
// on-line mode cleanly instead of dying in the middle of an exchange.
#pragma once

#include <csignal>

namespace kavelin2::uirt {

// Installs the handlers (sigaction, no SA_RESTART: a blocking wait in the
// station returns early and the poll loop sees the request at once) for its
// lifetime and restores the previous ones afterwards. Nested guards share
// one installation; the first clears any earlier request.
class StopSignalGuard {
 public:
  // |hangup_stops|: SIGHUP asks for the stop as well (a station with nobody
  // at a terminal: a service, a closed session). At a terminal a hang-up
  // means the terminal itself is gone, which the terminal front end handles.
  explicit StopSignalGuard(bool hangup_stops = false);
  ~StopSignalGuard();
  StopSignalGuard(const StopSignalGuard&) = delete;
  StopSignalGuard& operator=(const StopSignalGuard&) = delete;
};

// True once SIGTERM or SIGINT (or SIGHUP, when it stops) arrived while a
// guard was installed.
bool StopRequested();
// The signal that asked for the stop (SIGTERM or SIGINT), 0 before one came.
int StopSignalNumber();

}  // namespace kavelin2::uirt
