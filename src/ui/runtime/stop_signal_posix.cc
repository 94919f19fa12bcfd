#include "ui/runtime/stop_signal.h"

namespace kavelin2::uirt {
namespace {

// The only state a signal handler may touch. Process-wide by nature: a
// signal is delivered to the process, not to an instance.
volatile std::sig_atomic_t stop_requested = 0;

int installations = 0;
bool hangup_installed = false;
struct sigaction previous_term;
struct sigaction previous_int;
struct sigaction previous_hup;
struct sigaction previous_pipe;

// The signal itself, so that the log can say which one stopped the station.
extern "C" void OnStopSignal(int signal_number) { stop_requested = signal_number; }

}  // namespace

StopSignalGuard::StopSignalGuard(bool hangup_stops) {
  if (installations++ > 0) return;
  stop_requested = 0;
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGTERM, &action, &previous_term);
  sigaction(SIGINT, &action, &previous_int);
  // A hang-up (a closed session, a service manager's reload) asks for a stop
  // like SIGTERM: the running exchange finishes first.
  hangup_installed = hangup_stops;
  if (hangup_stops) sigaction(SIGHUP, &action, &previous_hup);
  // A log reader that went away (a pipe, a collector restarting) makes the
  // next log write fail; that failure is examined, it must not end the
  // station.
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &previous_pipe);
}

StopSignalGuard::~StopSignalGuard() {
  if (--installations > 0) return;
  sigaction(SIGTERM, &previous_term, nullptr);
  sigaction(SIGINT, &previous_int, nullptr);
  if (hangup_installed) sigaction(SIGHUP, &previous_hup, nullptr);
  sigaction(SIGPIPE, &previous_pipe, nullptr);
}

bool StopRequested() { return stop_requested != 0; }

int StopSignalNumber() { return stop_requested; }

}  // namespace kavelin2::uirt
