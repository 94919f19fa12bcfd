// Which device a PORT text names, on Windows.
#include <cctype>
#include <cstdlib>

#include "link/device_path.h"

namespace kavelin2 {

// KAVELIN2_PORT_<NAME> when set; otherwise the name itself in the device
// namespace ("\\.\COM12"), which is the only spelling that reaches ports
// above COM9.
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
  return "\\\\.\\" + upper;
}

}  // namespace kavelin2
