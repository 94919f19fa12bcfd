// Placeholders until the application shell lands. Remove as implemented.
#include "app/app.h"
#include "app/launcher.h"
#include "app/station.h"

namespace kavelin2 {
int StationMain(Station&, const std::string&) { return 0; }
int StartOnLine(Station&) { return 0; }
int EnsurePathExists(Station&, const char*) { return 0; }
void MainMenuLoop(Station&) {}
void RunScheduledProgram(Station&, int) {}
std::unique_ptr<ProgramLauncher> NewPosixProgramLauncher() { return nullptr; }
}  // namespace kavelin2
