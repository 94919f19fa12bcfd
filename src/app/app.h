// Program entry, start-up and the main menu.
#pragma once

#include <string>

namespace kavelin2 {

struct Station;

// Runs the program with its command line (the arguments after the program
// name, joined by spaces). Returns the exit status. |attended|: a user sits
// at the UI runtime's front end; a station that is not attended (a service)
// and was started on line ends when it cannot go on line, with the status
// that says why, instead of waiting in a menu nobody sees.
int StationMain(Station& st, const std::string& command_line, bool attended = true);

// Prepares going on line: reload the settings, show INIT, reset the lines,
// check the four directories. 1 when ready, 0 otherwise; then |failure|
// (when given) names the directory and why it is missing.
int StartOnLine(Station& st);
int StartOnLine(Station& st, std::string* failure);
// 1 when |path| exists or was created on the user's request, 0 otherwise;
// then |reason| (when given) says why in the system's words. The empty path
// is the working directory: it exists.
int EnsurePathExists(Station& st, const char* path, std::string* reason = nullptr);
// The menu loop; returns when the program is to end.
void MainMenuLoop(Station& st);
// Starts the schedule's program of |kind| (1 PROGFIN, 2 PROGD, 3 PROGC).
void RunScheduledProgram(Station& st, int kind);

}  // namespace kavelin2
