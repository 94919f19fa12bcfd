// Which device a port name is on Linux: COMn is the n-th serial port.
#include <cctype>
#include <string>

#include "platform/device_path.h"

namespace kavelin2 {

std::string PlatformDevicePath(const std::string& port_name, const std::string& upper) {
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
