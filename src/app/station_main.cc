// Program entry: the UI runtime, the language, the menu window, and whether
// the station starts on the menu or on line.
#include <cstring>
#include <string>

#include "app/app.h"
#include "app/main_menu.h"
#include "config/settings.h"
#include "dialogs/dialogs.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

// The UI runtime's code for each language the station speaks.
struct LanguageCode {
  const char* name;
  int nation;
};
constexpr LanguageCode kLanguageCodes[] = {{"Francais", 5}, {"Anglais", 3}, {"Espagnol", 7}};

// Tells the runtime the loaded language; an unknown name sends nothing.
void SendLanguageCode(Station& st) {
  for (const LanguageCode& code : kLanguageCodes) {
    if (std::strncmp(st.CurrentLanguage, code.name, sizeof st.CurrentLanguage) == 0) {
      st.ui.UiCall("NATION,%d", code.nation);
      return;
    }
  }
}

}  // namespace

int StationMain(Station& st, const std::string& command_line, bool attended) {
  // The first command loads and starts the UI runtime.
  st.ui.UiCall("BIBLI,DISQUE,KAVELIN2.WDL");
  LoadLanguage(st);
  SendLanguageCode(st);
  st.ui.UiCall("OUVRE,MENU.WDW");
  if (command_line == "P") {
    // Started for the menu: the schedule is in memory for the menu's launches
    // ("UD", "UA", "UT"), and the menu waits for the user.
    LoadSchedule(st);
    st.ui.SetStatus("???");
  } else {
    // Any other command line, the empty one included: on line at once.
    st.ui.SetStatus("*B*");
  }
  // A service started on line that cannot go on line ends with the status
  // that says why: a service manager then restarts it (or reports it) instead
  // of recording a clean exit. A user at the menu keeps the menu.
  MenuPolicy policy;
  policy.end_when_on_line_fails = command_line != "P" && !attended;
  return RunMainMenu(st, policy);
}

}  // namespace kavelin2
