// Program entry, start-up and the main menu.
#pragma once

#include <string>

namespace kavelin2 {

struct Station;

// Runs the program with its command line (the arguments after the program
// name, joined by spaces). Returns the exit status.
int StationMain(Station& st, const std::string& command_line);

// Prepares going on line: reload the settings, show INIT, reset the lines,
// check the four directories. 1 when ready, 0 otherwise.
int StartOnLine(Station& st);
// 1 when |path| exists or was created on the user's request, 0 otherwise.
int EnsurePathExists(Station& st, const char* path);
// The menu loop; returns when the program is to end.
void MainMenuLoop(Station& st);
// Starts the schedule's program of |kind| (1 PROGFIN, 2 PROGD, 3 PROGC).
void RunScheduledProgram(Station& st, int kind);

}  // namespace kavelin2
