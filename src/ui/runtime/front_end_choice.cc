#include "ui/runtime/front_end_choice.h"

#include <string_view>

namespace kavelin2::uirt {

FrontEndChoice ChooseFrontEnd(const char* setting, bool stdio_is_terminal) {
  FrontEndChoice choice;
  std::string_view s = setting ? setting : "";
  if (s.empty()) {
    // The default. A station started from a terminal could show its windows
    // there (FrontEndKind::kTerminal when |stdio_is_terminal|); until the
    // terminal front end is ready the default is the service front end.
    (void)stdio_is_terminal;
    choice.kind = FrontEndKind::kHeadless;
    return choice;
  }
  constexpr std::string_view kScript = "script:";
  if (s == "headless") {
    choice.kind = FrontEndKind::kHeadless;
  } else if (s == "terminal") {
    choice.kind = FrontEndKind::kTerminal;
  } else if (s.substr(0, kScript.size()) == kScript && s.size() > kScript.size()) {
    choice.kind = FrontEndKind::kScript;
    choice.script_path = std::string(s.substr(kScript.size()));
  } else {
    // A runtime that refused to start would leave the station asking for it
    // again at every command: fall back to the service front end and say so.
    choice.kind = FrontEndKind::kHeadless;
    choice.warning = "KAVELIN2_UI=" + std::string(s) +
                     " not understood (headless, script:FILE or terminal); using headless";
  }
  return choice;
}

}  // namespace kavelin2::uirt
