// Starting outside programs: without waiting, without reporting failure.
#pragma once

#include <memory>
#include <string>
#include <vector>

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

  // True when a program started here has a desktop to show its window on.
  // Without one (a terminal-only session, a service), a file is shown to the
  // user through the UI runtime instead of a viewer program.
  virtual bool HasDesktop() const = 0;
  // Opens the text file |path| in the desktop's text viewer, maximised, and
  // returns at once (the Windows station runs "NOTEPAD.EXE <path>"). Only
  // meaningful when HasDesktop().
  virtual void ViewTextFile(const std::string& path) = 0;

  // Starts the program |argv|[0] (a path, never looked up and never given to
  // a shell) with the arguments |argv|, in the station's environment with
  // |env| ("NAME=VALUE", replacing a variable of the same name) added, and
  // returns as soon as the program runs: it is never waited for and leaves
  // nothing behind for the station to collect. Its standard input and output
  // are the null device; its standard error is the station's (a service's
  // journal) unless that is a terminal, which belongs to the front end.
  // False, with the system's reason in |error|, when it could not be started.
  virtual bool RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                          std::string* error) = 0;
};

// Command lines run by /bin/sh in a process of their own, detached from the
// terminal, with standard input, output and error on /dev/null.
std::unique_ptr<ProgramLauncher> NewPosixProgramLauncher();

// The launcher of the platform the program is built for (POSIX above, or
// CreateProcess on Windows).
std::unique_ptr<ProgramLauncher> NewPlatformProgramLauncher();

}  // namespace kavelin2
