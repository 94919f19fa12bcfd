// The station program: builds the platform and runs the station.
#include <cstdio>
#include <string>

#include "app/app.h"
#include "station/clock.h"
#include "station/launcher.h"
#include "station/station.h"
#include "link/serial_port.h"
#include "ui/ui_channel.h"
#include "app/command_line.h"
#include "station/exit_status.h"

int main(int argc, char** argv) {
  using namespace kavelin2;
  // Answered before anything is built: no file is read or created and the UI
  // runtime is not loaded.
  ParsedCommandLine parsed = ParseCommandLine(argc, argv);
  switch (parsed.action) {
    case CommandLineAction::kHelp:
      std::fputs(UsageText(), stdout);
      return kExitOk;
    case CommandLineAction::kVersion:
      std::fputs(VersionText(), stdout);
      return kExitOk;
    case CommandLineAction::kRun:
      break;
  }
  auto clock = NewSystemClock();
  auto serial = NewPosixSerialSystem(*clock);
  auto launcher = NewPosixProgramLauncher();
  Station st(Platform{clock.get(), serial.get(), launcher.get()}, NewDynamicUiRuntimeLink());
  return StationMain(st, parsed.command_line, UserAttends());
}
