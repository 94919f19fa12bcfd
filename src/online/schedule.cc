// The schedule's programs, started by the on-line loop and the menu.
#include <cstring>

#include "online/online.h"
#include "station/station.h"

namespace kavelin2 {

void LaunchCommandLine(Station& st, const char* command_line, size_t width) {
  st.launcher.Launch(std::string(command_line, strnlen(command_line, width)),
                     ProgramLauncher::kShowNormal);
}

void RunScheduledProgram(Station& st, int kind) {
  switch (kind) {
    case 1:
      LaunchCommandLine(st, st.Schedule.PROGFIN, sizeof st.Schedule.PROGFIN);
      break;
    case 2:
      st.ProgDLaunched = 1;
      LaunchCommandLine(st, st.Schedule.PROGD, sizeof st.Schedule.PROGD);
      break;
    case 3:
      st.ProgCLaunched = 1;
      LaunchCommandLine(st, st.Schedule.PROGC, sizeof st.Schedule.PROGC);
      break;
    default:
      break;  // starts nothing
  }
  st.PendingProgram = 0;
}

}  // namespace kavelin2
