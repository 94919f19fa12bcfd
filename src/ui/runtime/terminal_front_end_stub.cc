// Placeholder until the terminal front end lands: a terminal request gets
// the service front end.
#include "ui/runtime/front_end.h"

namespace kavelin2::uirt {
std::unique_ptr<FrontEnd> NewTerminalFrontEnd() { return NewHeadlessFrontEnd(); }
}  // namespace kavelin2::uirt
