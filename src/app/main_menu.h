// The menu loop's own interface, for the program entry.
#pragma once

namespace kavelin2 {

struct Station;

struct MenuPolicy {
  // Going on line that fails (a port that cannot be opened, a directory that
  // is missing and not created) ends the program with the status that says
  // why, instead of bringing the menu back: for a station nobody watches.
  bool end_when_on_line_fails = false;
};

// MainMenuLoop; returns the program's exit status. When the program ends on
// a failure, one line on standard error says why.
int RunMainMenu(Station& st, const MenuPolicy& policy = {});

}  // namespace kavelin2
