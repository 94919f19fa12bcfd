// The menu loop's own outcome, for the program entry.
#pragma once

namespace kavelin2 {

struct Station;

enum class MenuEnd {
  kQuit,                // the user quit, or the schedule ended the station
  kRuntimeUnavailable,  // the UI runtime never started: nobody to wait for
};

// MainMenuLoop, telling why it ended.
MenuEnd RunMainMenu(Station& st);

}  // namespace kavelin2
