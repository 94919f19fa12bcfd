// Which device a port name is on Windows.
#include <string>

#include "platform/device_path.h"

namespace kavelin2 {

// The name itself in the device namespace ("\\.\COM12"), which is the only
// spelling that reaches ports above COM9.
std::string PlatformDevicePath(const std::string& /*port_name*/, const std::string& upper) {
  return "\\\\.\\" + upper;
}

}  // namespace kavelin2
