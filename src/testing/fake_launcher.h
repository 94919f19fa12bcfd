#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/launcher.h"

namespace kavelin2 {

class FakeLauncher : public ProgramLauncher {
 public:
  void Launch(const std::string& command_line, int show_mode) override {
    launched.emplace_back(command_line, show_mode);
  }
  bool HasDesktop() const override { return desktop; }
  void ViewTextFile(const std::string& path) override { viewed.push_back(path); }
  bool RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  std::string* error) override {
    runs.push_back({argv, env});
    if (!run_error.empty()) *error = run_error;
    return run_error.empty();
  }

  std::vector<std::pair<std::string, int>> launched;
  // Whether the session has a desktop, and the files opened in its viewer.
  bool desktop = true;
  std::vector<std::string> viewed;
  // The programs run, each with its arguments and added environment; a
  // non-empty |run_error| makes every run fail with it.
  struct Run {
    std::vector<std::string> argv;
    std::vector<std::string> env;
  };
  std::vector<Run> runs;
  std::string run_error;
};

}  // namespace kavelin2
