// The window library "KAVELIN2.WDL", compiled into the runtime: which windows
// exist, which fields each one has, and which statuses end its input. The
// core and the headless front end use the statuses; a front end that draws
// the windows also uses the labels, kinds and choices.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavelin2::uirt {

// A text in the three languages of the runtime ("NATION,5" French, 3 English,
// 7 Spanish).
struct Text3 {
  const char* fr;
  const char* en;
  const char* es;
  const char* For(int nation) const;
};

enum class FieldKind {
  kText,     // free text of at most |width| characters
  kFlag,     // 'O' or 'N'
  kChoice,   // one of |choices|, shown and fetched as its code number
  kPort,     // a serial port: shown as a number, fetched as a device name
  kTime,     // HH:MM
  kDisplay,  // shown only, never edited by the user
};

struct Choice {
  int code;
  const char* label;
};

struct FieldSpec {
  // The name a fetch uses ("ACTIVE1", "TABLE") or, for the indexed display
  // fields of the on-line window, the key AFFICHE stores ("PHASE,1").
  const char* name;
  Text3 label;
  FieldKind kind;
  int width;
  std::vector<Choice> choices;
};

// A button or menu entry: the status it ends the input with and, for a menu
// entry ("*M*"), the code given as the reply's text.
struct ActionSpec {
  const char* status;
  const char* code;
  Text3 label;
};

struct WindowSpec {
  const char* name;
  Text3 title;
  std::vector<FieldSpec> fields;
  std::vector<ActionSpec> actions;
  // What a modal input ends with when the user closes the window.
  const char* cancel_status;
  // What a non-blocking input answers while the user has not acted; nullptr
  // when the window is not meant for non-blocking input (it then answers its
  // cancel status).
  const char* idle_status;
};

const std::vector<WindowSpec>& WindowLibrary();
// nullptr for a window the library does not hold.
const WindowSpec* FindWindowSpec(std::string_view name);
const FieldSpec* FindFieldSpec(const WindowSpec& window, std::string_view name);

// The cancel status of |window|: "*A*" in "CHEMIN.WDW", "ESC" elsewhere
// (also for a window the library does not hold).
std::string CancelStatus(std::string_view window);

constexpr const char* kLibraryName = "KAVELIN2.WDL";
constexpr const char* kOnLineWindow = "KAVELIN2.WDW";
constexpr const char* kSerialWindow = "SERIE.WDW";

}  // namespace kavelin2::uirt
