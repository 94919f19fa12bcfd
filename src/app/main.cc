// The station program: builds the platform and runs the station.
#include <cstring>
#include <string>

#include "app/app.h"
#include "config/settings_text.h"
#include "link/serial_port.h"
#include "station/clock.h"
#include "station/launcher.h"
#include "station/service_notify.h"
#include "station/station.h"
#include "ui/ui_channel.h"

int main(int argc, char** argv) {
  using namespace kavelin2;
  // "config" edits the settings files as text; it never loads the UI runtime.
  if (argc > 1 && std::strcmp(argv[1], "config") == 0) return ConfigMain(argc, argv);
  // The command line is the program's arguments, as the Windows command line
  // is everything after the program name.
  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }
  auto clock = NewSystemClock();
  auto serial = NewPosixSerialSystem(*clock);
  auto launcher = NewPosixProgramLauncher();
  auto notifier = NewServiceNotifierFromEnvironment();  // null unless a service manager listens
  Station st(Platform{clock.get(), serial.get(), launcher.get(), notifier.get()},
             NewDynamicUiRuntimeLink());
  return StationMain(st, command_line);
}
