// Program entry and the main menu.
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

// The menu loop; returns when the program is to end.
void MainMenuLoop(Station& st);

}  // namespace kavelin2
