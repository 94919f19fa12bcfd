// Outside programs on Windows: CreateProcessA, as WinExec did for the
// original station. The station never waits for them and keeps no handle.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/launcher.h"

namespace kavelin2 {
namespace {

class Win32ProgramLauncher : public ProgramLauncher {
 public:
  void Launch(const std::string& command_line, int show_mode) override {
    // CreateProcessA may write into the command line: give it a copy.
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow =
        static_cast<WORD>(show_mode == kShowMaximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    PROCESS_INFORMATION pi{};
    // No inherited handles: the program must not hold the serial ports or
    // the exchange files open. A command that cannot start is ignored.
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
      return;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }

  // A Windows station runs on the operator's desktop.
  bool HasDesktop() const override { return true; }

  void ViewTextFile(const std::string& path) override {
    Launch("NOTEPAD.EXE " + path, kShowMaximized);
  }
};

}  // namespace

std::unique_ptr<ProgramLauncher> NewPlatformProgramLauncher() {
  return std::make_unique<Win32ProgramLauncher>();
}

}  // namespace kavelin2
