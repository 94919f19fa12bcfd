// The crash test's kill: SIGKILL, which nothing in the process can catch, as
// a power cut would not be.
#include <signal.h>

#include "platform/crash_point.h"

namespace kavelin2 {

void KillThisProcess() { ::raise(SIGKILL); }

}  // namespace kavelin2
