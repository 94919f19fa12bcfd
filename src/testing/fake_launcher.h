#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/launcher.h"

namespace kavelin2 {

class FakeLauncher : public ProgramLauncher {
 public:
  void Launch(const std::string& command_line, int show_mode) override {
    launched.emplace_back(command_line, show_mode);
  }
  std::vector<std::pair<std::string, int>> launched;
};

}  // namespace kavelin2
