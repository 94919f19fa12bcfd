#include "link/device_path.h"

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
  // Windows names are case-blind: "com1" is COM1.
  if (upper.size() > 3 && upper.compare(0, 3, "COM") == 0) {
    std::string digits = upper.substr(3);
    bool numeric = digits[0] != '0';
    for (char c : digits) numeric = numeric && std::isdigit(static_cast<unsigned char>(c));
    if (numeric) return "/dev/ttyS" + std::to_string(std::stoi(digits) - 1);
  }
  return "/dev/tty" + port_name;
}

}  // namespace kavelin2
