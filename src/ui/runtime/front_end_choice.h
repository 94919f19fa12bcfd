// Which front end a runtime instance uses, from KAVELIN2_UI.
#pragma once

#include <string>

namespace kavelin2::uirt {

enum class FrontEndKind { kHeadless, kScript, kTerminal };

struct FrontEndChoice {
  FrontEndKind kind = FrontEndKind::kHeadless;
  std::string script_path;  // for kScript
  std::string warning;      // not empty when the setting was not understood
};

// |setting| is KAVELIN2_UI (nullptr when unset): "headless", "script:FILE" or
// "terminal". |stdio_is_terminal| tells whether standard input and output are
// both terminals.
FrontEndChoice ChooseFrontEnd(const char* setting, bool stdio_is_terminal);

}  // namespace kavelin2::uirt
