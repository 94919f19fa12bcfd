// The program's own arguments: what is answered before the station starts
// (usage, version) and what the station receives as its command line.
#pragma once

#include <string>

namespace kavelin2 {

enum class CommandLineAction {
  kRun,      // start the station with |command_line|
  kHelp,     // print the usage text, exit 0
  kVersion,  // print the version, exit 0
};

struct ParsedCommandLine {
  CommandLineAction action = CommandLineAction::kRun;
  // The arguments joined by blanks, as the station reads its command line:
  // exactly "P" opens the menu, anything else goes on line at once.
  std::string command_line;
};

// Reads the arguments after the program name. "-h", "--help" and "--version"
// are answered before anything else happens (no settings file is read or
// created, no UI runtime loaded); every other argument keeps its meaning.
ParsedCommandLine ParseCommandLine(int argc, const char* const* argv);

const char* UsageText();
const char* VersionText();

// True when a user sits at the UI runtime's front end: KAVELIN2_UI says
// "terminal", or it is unset and standard input and output are terminals
// (the runtime's own default). A headless or scripted station is a service.
bool UserAttends();

}  // namespace kavelin2
