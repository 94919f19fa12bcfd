#include "ui/runtime/front_end.h"

namespace kavelin2::uirt {

std::string Window::Get(const std::string& name) const {
  // The dialogs show most fields as "NAME,=v" and fetch them as "NAME".
  auto it = fields.find(name + ",");
  if (it == fields.end()) it = fields.find(name);
  return it == fields.end() ? std::string() : it->second;
}

void Window::Set(const std::string& name, const std::string& value) { fields[name] = value; }

}  // namespace kavelin2::uirt
