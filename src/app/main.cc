// The station program: builds the platform and runs the station.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/app.h"
#include "app/command_line.h"
#include "app/config_command.h"
#include "config/settings_text.h"
#include "office/http_server.h"
#include "office/office_config.h"
#include "online/consumers.h"
#include "online/service_notify.h"
#include "platform/clock.h"
#include "platform/exit_status.h"
#include "platform/file_system.h"
#include "platform/launcher.h"
#include "platform/serial_port.h"
#include "station/station.h"
#include "ui/ui_channel.h"

int main(int argc, char** argv) {
  using namespace kavelin2;
  // "config" edits the settings files as text; it never loads the UI runtime.
  if (argc > 1 && std::strcmp(argv[1], "config") == 0) return ConfigMain(argc, argv);
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
  // The office view is asked for by the environment; one it cannot serve
  // safely (a non-loopback address without a token) stops the station here.
  const office::OfficeConfig office_config = office::OfficeConfigFromEnvironment();
  if (!office_config.error.empty()) {
    std::fprintf(stderr, "kavelin2: %s\n", office_config.error.c_str());
    return kExitUsage;
  }
  auto clock = NewSystemClock();
  auto serial = NewPlatformSerialSystem(*clock);
  auto launcher = NewPlatformProgramLauncher();
  auto fs = NewPlatformFileSystem();
  auto notifier = NewServiceNotifierFromEnvironment();  // null unless a service manager listens
  Station st(Platform{.clock = clock.get(),
                      .serial = serial.get(),
                      .launcher = launcher.get(),
                      .fs = fs.get(),
                      .notifier = notifier.get()},
             NewDynamicUiRuntimeLink());
  std::shared_ptr<office::SnapshotStore> store = AddStationConsumers(st, office_config);
  std::unique_ptr<office::OfficeServer> office_server;
  if (office_config.enabled) {
    std::string error;
    office_server = office::StartOfficeServer(store, office_config.server, &error);
    if (office_server == nullptr) {
      std::fprintf(stderr, "kavelin2: office view: %s\n", error.c_str());
      return kExitFailure;
    }
  }
  const int status = StationMain(st, parsed.command_line, UserAttends());
  // After the UI runtime has ended: records the result log still holds go to
  // standard error, where a service's journal keeps them.
  st.ReportStop();
  return status;
}
