// Which device a PORT text names.
#pragma once

#include <string>

namespace kavelin2 {

// The device path for the port named |port_name| (at most 5 characters of
// letters, digits and '_'): the value of KAVELIN2_PORT_<NAME> (NAME in upper
// case) when set; otherwise "COMn" (n from 1) is /dev/ttyS<n-1> and any other
// name X is /dev/ttyX. Returns "" for a name that cannot name a device (empty,
// too long, other characters), so a hostile settings file never reaches
// another path.
std::string DevicePathForPort(const std::string& port_name);

// The platform's device for a valid port name with no KAVELIN2_PORT_<NAME>
// set; |upper| is the name in upper case. One definition per platform
// (device_path_posix.cc: /dev/ttyS<n-1> or /dev/tty<NAME>; device_path_win32.cc:
// \.\<NAME>).
std::string PlatformDevicePath(const std::string& port_name, const std::string& upper);

}  // namespace kavelin2
