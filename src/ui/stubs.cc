// Placeholders until the runtime link lands. Remove as implemented.
#include "ui/ui_channel.h"

namespace kavelin2 {
std::unique_ptr<UiRuntimeLink> NewDynamicUiRuntimeLink() { return nullptr; }
std::unique_ptr<UiRuntimeLink> NewDynamicUiRuntimeLink(const std::string&) { return nullptr; }
}  // namespace kavelin2
