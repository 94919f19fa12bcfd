// The main menu: dialogs, outside programs, the result file, the about box,
// going on line and back, and the end of the program.
#include "app/main_menu.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/app.h"
#include "dialogs/dialogs.h"
#include "display/station_text.h"
#include "exchange/exchange.h"
#include "line/line.h"
#include "online/online.h"
#include "platform/exit_status.h"
#include "platform/launcher.h"
#include "station/station.h"
#include "ui/exchange_block.h"

namespace kavelin2 {
namespace {

// The result log, in the working directory.
constexpr char kResultFile[] = "STAT.TXT";

enum class Next { kStay, kEnd };

// A menu that is answered at once, time after time, with inputs that do
// nothing has nobody behind it: this many such inputs within kIdleWindowMs
// end the program instead of spinning.
constexpr int kIdleInputLimit = 1000;
constexpr int32_t kIdleWindowMs = 10000;

// What the loop knows about the program's run so far.
struct MenuSession {
  MenuPolicy policy;
  bool went_on_line = false;
  // The last failed going on line, cleared by a good one: its exit status
  // and the line for standard error.
  int failure_status = kExitOk;
  std::string failure_line;
  // Set when the program is to end: its status and, when not 0, why.
  int exit_status = kExitOk;
  std::string exit_line;
  int idle_inputs = 0;
  int32_t idle_since = 0;

  // The program ends without being told to: with the failure that kept it
  // off line, or as a failure when it never served; a station that served
  // and was then left ends normally.
  void EndUnasked(const std::string& why) {
    if (went_on_line) {
      exit_status = kExitOk;
    } else if (failure_status != kExitOk) {
      exit_status = failure_status;
      exit_line = failure_line;
    } else {
      exit_status = kExitFailure;
      exit_line = "kavelin2: " + why;
    }
  }
};

// Closes the current window and ends the runtime: the program then returns.
void EndProgram(Station& st) {
  st.ui.UiCall("FERME");
  st.ui.UiShutdown();
}

enum class Answer { kYes, kNo, kNone };

// Asks a yes/no question. A question that has no text in the current language
// is not asked, and a reply that carries no value is no answer either: the
// previous reply's intValue is no answer of the user.
Answer Ask(Station& st, Msg id) {
  const char* question = Text(st, id);
  if (question == nullptr) return Answer::kNone;
  st.ui.UiCall("OUINON, %s", question);
  if (st.ui.UiReply.initialised == 0 || !(st.ui.UiReply.UiExchangeBlock[kOffFlags] & kReplyValue))
    return Answer::kNone;
  return st.ui.UiReply.intValue != 0 ? Answer::kYes : Answer::kNo;
}

// The quit question. Unanswered, it ends the program as well: asking again
// would get no answer again, at once and for ever.
Next ConfirmQuit(Station& st, MenuSession& session) {
  Answer answer = Ask(st, Msg::kQuitQuestion);
  if (answer == Answer::kNo) return Next::kStay;
  if (answer == Answer::kNone) session.EndUnasked("the quit question got no answer");
  EndProgram(st);
  return Next::kEnd;
}

void ShowEmptyResultFile(Station& st) {
  if (const char* message = Text(st, Msg::kEmptyResultFile)) st.ui.UiCall("INFO, %s", message);
}

bool ResultFileExists(Station& st) {
  FileInfo info;
  return st.fs.Stat(kResultFile, &info).ok() && info.exists;
}

// Shows "STAT.TXT": in the desktop's text viewer when there is a desktop (the
// Windows station opens "NOTEPAD.EXE STAT.TXT" maximised), otherwise in the UI
// runtime itself, so that a terminal-only user sees it too.
Next ViewResults(Station& st) {
  if (!ResultFileExists(st)) {
    ShowEmptyResultFile(st);
  } else if (st.launcher.HasDesktop()) {
    st.launcher.ViewTextFile(kResultFile);
  } else {
    st.ui.UiCall("VOIR,%s", kResultFile);
  }
  return Next::kStay;
}

Next RemoveResults(Station& st) {
  if (!ResultFileExists(st)) {
    ShowEmptyResultFile(st);
  } else if (Ask(st, Msg::kDeleteResultsQuestion) == Answer::kYes) {
    st.fs.Remove(kResultFile);
  }
  return Next::kStay;
}

Next ShowAbout(Station& st) {
  st.ui.UiCall("OUVRE,APROPOS.WDW");
  st.ui.UiCall("AFFICHE,VERSION,=%s", Text(st, Msg::kVersion));
  st.ui.UiCall("ECRAN, SAISIE");  // until the user closes the box
  st.ui.UiCall("FERME");
  return Next::kStay;
}

template <void (*Dialog)(Station&)>
Next RunDialog(Station& st) {
  Dialog(st);
  return Next::kStay;
}

template <char (ScheduleSettings::*CommandLine)[129]>
Next LaunchFromSchedule(Station& st) {
  LaunchCommandLine(st, st.Schedule.*CommandLine, sizeof(st.Schedule.*CommandLine));
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
    // "PI", the quit question, is handled by the loop, which knows the session.
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

const MenuCommand* FindMenuCommand(const char* code) {
  for (const MenuCommand& command : kMenuCommands) {
    if (std::strcmp(code, command.code) == 0) return &command;
  }
  return nullptr;
}

// The port that OpenLines could not open (the first active line left without
// a port: OpenLines stops there), with its device and the system's reason.
std::string PortFailure(Station& st) {
  for (int i = 0; i < kLineCount; ++i) {
    const PortEntry& entry = st.Ports.line[i];
    if (entry.ACTIVE != 'O' || st.LineTable[i].PortHandle) continue;
    const std::string name = PortName(entry);
    std::string reason = st.serial.LastOpenError();
    return "kavelin2: port " + name +
           " unavailable: " + (reason.empty() ? std::string("cannot be opened") : reason);
  }
  return "kavelin2: a port is unavailable";
}

// On-line mode, from the menu window to the menu window again, or to the end
// of the program when a scheduled launch asked for it or the policy ends a
// station that cannot go on line.
Next GoOnLine(Station& st, MenuSession& session) {
  st.ui.UiCall("FERME");
  st.ui.UiCall("OUVRE,KAVELIN2.WDW");
  std::string directory;
  bool ready = false;
  int status = kExitDirectory;
  if (StartOnLine(st, &directory, &status) != 1) {
    session.failure_status = status;
    session.failure_line = "kavelin2: directory " + directory;
  } else if (OpenLines(st) != 1) {
    session.failure_status = kExitPortUnavailable;
    session.failure_line = PortFailure(st);
  } else {
    ready = true;
    session.went_on_line = true;
    session.failure_status = kExitOk;
    session.failure_line.clear();
    InitModems(st);
    if (PollLines(st) == 0) {
      // No quit question: the schedule ends the station unattended.
      CloseLines(st);
      EndProgram(st);
      session.exit_status = kExitOk;
      return Next::kEnd;
    }
  }
  // Also after a failed preparation: a line opened before a failure closes.
  CloseLines(st);
  // Off line, another station may serve the directories.
  st.DirectoryLocks.clear();
  if (!ready && session.policy.end_when_on_line_fails) {
    session.exit_status = session.failure_status;
    session.exit_line = session.failure_line;
    EndProgram(st);
    return Next::kEnd;
  }
  st.ui.UiCall("FERME");
  st.ui.UiCall("OUVRE,MENU.WDW");
  return Next::kStay;
}

// One menu input: what it leads to, and whether it did anything at all.
Next RunMenuInput(Station& st, MenuSession& session, bool* acted) {
  *acted = false;
  if (st.ui.StatusIs("ESC")) return ConfirmQuit(st, session);
  if (st.ui.StatusIs("*B*")) {
    *acted = true;  // the loop goes on line
    return Next::kStay;
  }
  if (!st.ui.StatusIs("*M*")) return Next::kStay;
  if (std::strcmp(st.ui.UiReply.text, "PI") == 0) return ConfirmQuit(st, session);
  const MenuCommand* command = FindMenuCommand(st.ui.UiReply.text);
  if (command == nullptr) return Next::kStay;
  *acted = true;
  return command->run(st);
}

// Counts inputs that did nothing; true when they come so fast and so many
// that no user can be giving them.
bool Runaway(Station& st, MenuSession& session, bool acted) {
  if (acted) {
    session.idle_inputs = 0;
    return false;
  }
  // The process clock wraps: elapsed time is the unsigned difference.
  const int32_t now = st.clock.NowMs();
  const uint32_t elapsed = static_cast<uint32_t>(now) - static_cast<uint32_t>(session.idle_since);
  if (session.idle_inputs == 0 || elapsed > static_cast<uint32_t>(kIdleWindowMs)) {
    session.idle_inputs = 0;
    session.idle_since = now;
  }
  return ++session.idle_inputs >= kIdleInputLimit;
}

int EndWith(const MenuSession& session) {
  // After the runtime has ended, so that a terminal is itself again.
  if (session.exit_status != kExitOk && !session.exit_line.empty()) {
    std::fprintf(stderr, "%s\n", session.exit_line.c_str());
    std::fflush(stderr);
  }
  return session.exit_status;
}

}  // namespace

int RunMainMenu(Station& st, const MenuPolicy& policy) {
  MenuSession session;
  session.policy = policy;
  for (;;) {
    if (st.ui.StatusIs("*B*") && GoOnLine(st, session) == Next::kEnd) return EndWith(session);

    st.ui.UiCall("ECRAN, SAISIE");
    // A runtime that never started answers every input at once with "*E*":
    // waiting for a user who cannot see the menu would spin for ever.
    if (st.ui.UiReply.initialised == 0) {
      st.ui.UiShutdown();
      session.exit_status = kExitNoRuntime;
      session.exit_line = "kavelin2: the UI runtime did not start";
      return EndWith(session);
    }

    bool acted = false;
    if (RunMenuInput(st, session, &acted) == Next::kEnd) return EndWith(session);
    if (Runaway(st, session, acted)) {
      session.EndUnasked("the menu is answered at once without any action: nobody is there");
      EndProgram(st);
      return EndWith(session);
    }
  }
}

void MainMenuLoop(Station& st) { RunMainMenu(st); }

}  // namespace kavelin2
