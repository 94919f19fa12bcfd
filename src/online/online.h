// Going on line and serving the lines: the on-line loop and the schedule.
#pragma once

#include <cstddef>
#include <string>

namespace kavelin2 {

struct Station;

// Serves the lines until the user stops (returns 1) or a launched program
// ends the station (returns 0).
int PollLines(Station& st);

// Prepares going on line: reload the settings, show INIT, reset the lines,
// check the four directories. 1 when ready, 0 otherwise; then |failure|
// (when given) names the directory and why it is missing.
int StartOnLine(Station& st);
int StartOnLine(Station& st, std::string* failure);
// 1 when |path| exists or was created on the user's request, 0 otherwise;
// then |reason| (when given) says why in the system's words. The empty path
// is the working directory: it exists.
int EnsurePathExists(Station& st, const char* path, std::string* reason = nullptr);

// Starts the schedule's program of |kind| (1 PROGFIN, 2 PROGD, 3 PROGC).
void RunScheduledProgram(Station& st, int kind);
// Starts the command line held in a fixed field of |width| bytes (bounded by
// it: a corrupt file can leave the field without its terminator).
void LaunchCommandLine(Station& st, const char* command_line, size_t width);

}  // namespace kavelin2
