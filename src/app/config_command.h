// "kavelin2 config": the settings files as text, without the menu.
#pragma once

#include <string>
#include <vector>

namespace kavelin2 {

struct Station;

// "kavelin2 config ARGS...": show, set KEY=VALUE..., export [FILE], import
// FILE ("-" for standard input), each optionally after "--dir DIR". Works on
// the settings files of the working directory; a missing file is first
// created with its defaults. Returns the exit status (2 for bad input, with
// no file changed).
int RunConfigCommand(Station& st, const std::vector<std::string>& args, std::string* out,
                     std::string* err);

// The program's entry for "kavelin2 config ...": builds a station on the
// system's services (the UI runtime is never loaded) and runs the command.
int ConfigMain(int argc, char** argv);

}  // namespace kavelin2
