// The crash test's kill on Windows: the process ends at once, without its
// exit handlers or buffered output, as after a power cut.
#include <windows.h>

#include "platform/crash_point.h"

namespace kavelin2 {

void KillThisProcess() { ::TerminateProcess(::GetCurrentProcess(), 137); }

}  // namespace kavelin2
