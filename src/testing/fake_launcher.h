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

  std::vector<std::pair<std::string, int>> launched;
  // Whether the session has a desktop, and the files opened in its viewer.
  bool desktop = true;
  std::vector<std::string> viewed;
};

}  // namespace kavelin2
