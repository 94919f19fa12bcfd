// Inside the UI runtime library: the screen state that the runtime keeps from
// the station's commands, and the front end that shows it and asks the user.
//
// The runtime core parses every command, keeps the window stack and the field
// values (Screen), and turns the station's commands into calls of one
// FrontEnd: headless (a service: log lines on standard output), script (tests)
// or terminal (ncurses). The core, not the front end, encodes the replies into
// the exchange block.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kavelin2::uirt {

// A window of the library "KAVELIN2.WDL" ("MENU.WDW", "SERIE.WDW", ...).
struct Window {
  std::string name;
  std::string title;  // "WINDOWS,TCOURANT,<title>"
  // Field values as last shown with AFFICHE or edited by the user, keyed by
  // the field reference the station writes before '=' with blanks trimmed:
  // "PHASE,1" (on-line fields indexed by line), "ACTIVE1," (dialog fields),
  // "SUP_FIC" (file options), "HEURE," / "ETATIMG1". Front ends that let the
  // user edit a field store the new value under the same key.
  std::map<std::string, std::string> fields;

  // The value of field |name| as a fetch ("ECRAN,RECUPERE,<name>") sees it:
  // the value stored under "<name>," or "<name>"; "" when never shown.
  std::string Get(const std::string& name) const;
  void Set(const std::string& name, const std::string& value);
};

struct Screen {
  std::vector<Window> windows;  // the stack of open windows; back() is current
  int nation = 5;               // "NATION,5" French, 3 English, 7 Spanish
  Window* current() { return windows.empty() ? nullptr : &windows.back(); }
};

enum class InputKind { kModal, kNonBlocking };
enum class MessageKind { kInfo, kError };

// What an input ends with: the status ("*V*", "*M*", "ESC", "*N*", "*P*",
// "*A*", "*B*", "*F*", "*E*", "*R*", "*T*", "*L*") and, for "*M*", the menu
// code in |text|.
struct InputResult {
  std::string status;
  std::string text;
};

// A reply given whole, bypassing the core's own handling (script front end).
struct Reply {
  std::optional<std::string> status;  // nullopt: no status in the reply
  std::optional<std::string> text;    // nullopt: no value in the reply
  std::optional<int> int_value;       // with text: a number and a text
};

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  // Called first for every command. A front end that answers the command
  // itself returns the reply; the core still keeps its bookkeeping (window
  // stack, fields, language) but asks nothing else of the front end.
  virtual std::optional<Reply> Intercept(Screen&, const std::string& command) {
    (void)command;
    return std::nullopt;
  }

  // Notifications, after the core updated |screen|.
  virtual void WindowOpened(Screen&) {}
  virtual void WindowClosed(Screen&, const Window& closed) { (void)closed; }
  virtual void FieldShown(Screen&, const std::string& key, const std::string& value) {
    (void)key;
    (void)value;
  }
  virtual void LanguageChanged(Screen&) {}

  // "ECRAN, SAISIE" (modal: returns when the user acted) and
  // "ECRAN,SAISIE/NONBLOCANTE" / "ECRAN,SAISIE,/NONBLOCANTE" (returns at once,
  // "*N*" when nothing happened).
  virtual InputResult Input(Screen&, InputKind kind) = 0;
  // "OUINON, <text>": true for yes.
  virtual bool Question(Screen&, const std::string& text) = 0;
  // "INFO, <text>", "ERREUR, <text>" / "Erreur, <text>".
  virtual void Message(Screen&, MessageKind kind, const std::string& text) = 0;
  // "VOIR,<path>": shows a text file (the result log) to the user.
  virtual void ShowTextFile(Screen&, const std::string& path) { (void)path; }
  // "JOURNAL,<text>": one line for the station's log (what happened and why:
  // a summary of an exchange, a warning, a lost line). Never asks anything.
  virtual void Journal(Screen&, const std::string& text) { (void)text; }
};

// The front ends. The terminal one lives in terminal_front_end.cc.
std::unique_ptr<FrontEnd> NewHeadlessFrontEnd();
std::unique_ptr<FrontEnd> NewScriptFrontEnd(const std::string& path);
std::unique_ptr<FrontEnd> NewTerminalFrontEnd();

}  // namespace kavelin2::uirt
