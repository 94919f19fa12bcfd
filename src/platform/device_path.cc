#include "platform/device_path.h"

#include <cctype>
#include <cstdlib>

namespace kavelin2 {

std::string DevicePathForPort(const std::string& port_name) {
  if (port_name.empty() || port_name.size() > 5) return "";
  std::string upper;
  for (char c : port_name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (!std::isalnum(u) && c != '_') return "";
    upper += static_cast<char>(std::toupper(u));
  }
  std::string variable = "KAVELIN2_PORT_" + upper;
  if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0') {
    return path;
  }
  return PlatformDevicePath(port_name, upper);
}

}  // namespace kavelin2
