// The main menu "MENU.WDW": every menu code of the station, reached by its
// accelerator letter or with the arrows and Enter.
#pragma once

#include <vector>

#include "ui/runtime/terminal_labels.h"

namespace kavelin2::uirt::term {

struct MenuEntry {
  Text3 label;
  Text3 accel;         // one character in each language
  const char* status;  // "*B*" (go on line) or "*M*"
  const char* code;    // menu code for "*M*"
  int row, col;        // in the menu's content area
};

struct MenuHeader {
  Text3 label;
  int row, col;
};

const std::vector<MenuEntry>& MenuEntries();
const std::vector<MenuHeader>& MenuHeaders();

}  // namespace kavelin2::uirt::term
