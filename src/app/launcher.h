// Starting outside programs: without waiting, without reporting failure.
#pragma once

#include <memory>
#include <string>

namespace kavelin2 {

class ProgramLauncher {
 public:
  virtual ~ProgramLauncher() = default;
  // Show modes of the launches (normal or maximised window).
  static constexpr int kShowNormal = 1;
  static constexpr int kShowMaximized = 3;
  // Starts |command_line| as a separate process in the working directory and
  // returns at once. A command that cannot be started is silently ignored.
  virtual void Launch(const std::string& command_line, int show_mode) = 0;
};

std::unique_ptr<ProgramLauncher> NewPosixProgramLauncher();

}  // namespace kavelin2
