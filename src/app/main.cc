// The station program: builds the platform and runs the station.
#include <string>

#include "app/app.h"
#include "link/serial_port.h"
#include "station/clock.h"
#include "station/launcher.h"
#include "station/station.h"
#include "ui/ui_channel.h"

int main(int argc, char** argv) {
  using namespace kavelin2;
  // The command line is the program's arguments, as the Windows command line
  // is everything after the program name.
  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }
  auto clock = NewSystemClock();
  auto serial = NewPlatformSerialSystem(*clock);
  auto launcher = NewPlatformProgramLauncher();
  Station st(Platform{clock.get(), serial.get(), launcher.get()}, NewDynamicUiRuntimeLink());
  return StationMain(st, command_line);
}
