// The main menu: dialogs, outside programs, the result file, the about box,
// going on line and back, and the end of the program.
#include "app/main_menu.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/app.h"
#include "station/launcher.h"
#include "station/station.h"
#include "config/dialogs.h"
#include "link/link.h"
#include "protocol/protocol.h"

namespace kavelin2 {
namespace {

// The result log, in the working directory.
constexpr char kResultFile[] = "STAT.TXT";

enum class Next { kStay, kEnd };

// Closes the current window and ends the runtime: the program then returns.
void EndProgram(Station& st) {
  st.ui.UiCall("FERME");
  st.ui.UiShutdown();
}

// Asks a yes/no question. A question that has no text in the current language
// is not asked, and the answer is no: the previous reply's intValue is no
// answer of the user.
bool Ask(Station& st, const char* question) {
  if (question == nullptr) return false;
  st.ui.UiCall("%s", question);
  return st.ui.UiReply.intValue != 0;
}

Next ConfirmQuit(Station& st) {
  if (!Ask(st, Localized(st, "OUINON, Etes vous sur de vouloir quitter KAVELIN2 ?",
                         "OUINON, Are you sure to quit KAVELIN2 ?",
                         "OUINON, Esta seguro de querer salir de KAVELIN2 ?"))) {
    return Next::kStay;
  }
  EndProgram(st);
  return Next::kEnd;
}

void ShowEmptyResultFile(Station& st) {
  const char* message = Localized(st, "INFO, Fichier resultats vide.", "INFO, Empty result file.",
                                  "INFO, Fichero de resultados vasillo.");
  if (message != nullptr) st.ui.UiCall("%s", message);
}

bool ResultFileExists() { return access(kResultFile, F_OK) == 0; }

// Shows "STAT.TXT": in the desktop's text viewer when there is a desktop (the
// Windows station opens "NOTEPAD.EXE STAT.TXT" maximised), otherwise in the UI
// runtime itself, so that a terminal-only user sees it too.
Next ViewResults(Station& st) {
  if (!ResultFileExists()) {
    ShowEmptyResultFile(st);
  } else if (st.launcher.HasDesktop()) {
    st.launcher.ViewTextFile(kResultFile);
  } else {
    st.ui.UiCall("VOIR,%s", kResultFile);
  }
  return Next::kStay;
}

Next RemoveResults(Station& st) {
  if (!ResultFileExists()) {
    ShowEmptyResultFile(st);
  } else if (Ask(st, Localized(st, "OUINON, Effacement du fichier resultats?",
                               "OUINON, Delete of the result file?",
                               "OUINON, Borrar el fichero de resultados?"))) {
    std::remove(kResultFile);
  }
  return Next::kStay;
}

Next ShowAbout(Station& st) {
  st.ui.UiCall("OUVRE,APROPOS.WDW");
  st.ui.UiCall("AFFICHE,VERSION,=Version 1.95");
  st.ui.UiCall("ECRAN, SAISIE");  // until the user closes the box
  st.ui.UiCall("FERME");
  return Next::kStay;
}

// The command lines of the schedule are fixed fields: bounded by their width.
template <size_t N>
void LaunchCommandLine(Station& st, const char (&command_line)[N]) {
  st.launcher.Launch(std::string(command_line, strnlen(command_line, N)),
                     ProgramLauncher::kShowNormal);
}

template <void (*Dialog)(Station&)>
Next RunDialog(Station& st) {
  Dialog(st);
  return Next::kStay;
}

template <char (ScheduleSettings::*CommandLine)[129]>
Next LaunchFromSchedule(Station& st) {
  LaunchCommandLine(st, st.Schedule.*CommandLine);
  return Next::kStay;
}

struct MenuCommand {
  const char* code;
  Next (*run)(Station&);
};

// Codes the menu window answers with "*M*"; any other code does nothing.
// Each dialog closes its own window and, but for the schedule, leaves the
// status "???", so the loop comes back to the menu input.
const MenuCommand kMenuCommands[] = {
    {"PM", RunDialog<EditModemSettings>},
    {"PP", RunDialog<EditPortSettings>},
    {"PD", RunDialog<EditSchedule>},
    {"PF", RunDialog<EditFileOptions>},
    {"PE", RunDialog<EditPathSettings>},
    {"PA",
     [](Station& st) {
       // The menu window is opened anew, so that it shows the language chosen.
       EditLanguage(st);
       st.ui.UiCall("FERME");
       st.ui.UiCall("OUVRE,MENU.WDW");
       return Next::kStay;
     }},
    {"PI", ConfirmQuit},
    {"UD", LaunchFromSchedule<&ScheduleSettings::PROGD>},
    {"UA", LaunchFromSchedule<&ScheduleSettings::PROGC>},
    {"UT", LaunchFromSchedule<&ScheduleSettings::PROGFIN>},
    // The user's own batch file. On Linux it is a command line like any other,
    // run by /bin/sh, which looks "PROG.BAT" up through PATH.
    {"UP",
     [](Station& st) {
       st.launcher.Launch("PROG.BAT", ProgramLauncher::kShowNormal);
       return Next::kStay;
     }},
    {"RV", ViewResults},
    {"RR", RemoveResults},
    {"A", ShowAbout},
};

Next RunMenuCode(Station& st, const char* code) {
  for (const MenuCommand& command : kMenuCommands) {
    if (std::strcmp(code, command.code) == 0) return command.run(st);
  }
  return Next::kStay;
}

// On-line mode, from the menu window to the menu window again, or to the end
// of the program when a scheduled launch asked for it.
Next GoOnLine(Station& st) {
  st.ui.UiCall("FERME");
  st.ui.UiCall("OUVRE,KAVELIN2.WDW");
  if (StartOnLine(st) == 1 && OpenLines(st) == 1) {
    InitModems(st);
    if (PollLines(st) == 0) {
      // No quit question: the schedule ends the station unattended.
      CloseLines(st);
      EndProgram(st);
      return Next::kEnd;
    }
  }
  // Also after a failed preparation: a line opened before a failure closes.
  CloseLines(st);
  st.ui.UiCall("FERME");
  st.ui.UiCall("OUVRE,MENU.WDW");
  return Next::kStay;
}

}  // namespace

MenuEnd RunMainMenu(Station& st) {
  for (;;) {
    if (st.ui.StatusIs("*B*") && GoOnLine(st) == Next::kEnd) return MenuEnd::kQuit;

    st.ui.UiCall("ECRAN, SAISIE");
    // A runtime that never started answers every input at once with "*E*":
    // waiting for a user who cannot see the menu would spin for ever.
    if (st.ui.UiReply.initialised == 0) {
      st.ui.UiShutdown();
      return MenuEnd::kRuntimeUnavailable;
    }

    Next next = Next::kStay;
    if (st.ui.StatusIs("ESC")) {
      next = ConfirmQuit(st);
    } else if (st.ui.StatusIs("*M*")) {
      next = RunMenuCode(st, st.ui.UiReply.text);
    }
    if (next == Next::kEnd) return MenuEnd::kQuit;
  }
}

void MainMenuLoop(Station& st) { RunMainMenu(st); }

void RunScheduledProgram(Station& st, int kind) {
  switch (kind) {
    case 1:
      LaunchCommandLine(st, st.Schedule.PROGFIN);
      break;
    case 2:
      st.ProgDLaunched = 1;
      LaunchCommandLine(st, st.Schedule.PROGD);
      break;
    case 3:
      st.ProgCLaunched = 1;
      LaunchCommandLine(st, st.Schedule.PROGC);
      break;
    default:
      break;  // starts nothing
  }
  st.PendingProgram = 0;
}

}  // namespace kavelin2
