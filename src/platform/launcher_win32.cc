// Outside programs on Windows: CreateProcessA, as WinExec did for the
// original station. The station never waits for them and keeps no handle.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "platform/launcher.h"

namespace kavelin2 {
namespace {

// One argument as the C runtime's command-line parser reads it back: quoted
// when it holds a blank or a quote or is empty, each quote escaped, and the
// backslashes before a quote (or before the closing quote) doubled.
std::string QuotedArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') backslashes = backslashes * 2 + 1;
    out.append(backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

std::string UpperName(const std::string& entry) {
  // "=C:=C:\\dir" entries keep their leading '=' in the name.
  size_t eq = entry.find('=', entry.empty() || entry[0] != '=' ? 0 : 1);
  std::string name = entry.substr(0, eq);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// The station's environment with |extra| added (names compared without
// case, as Windows does), sorted by name, as one block of NUL-terminated
// strings ended by an empty one.
std::vector<char> EnvironmentBlock(const std::vector<std::string>& extra) {
  std::vector<std::string> entries;
  if (char* own = GetEnvironmentStringsA()) {
    for (const char* p = own; *p != 0; p += strlen(p) + 1) entries.emplace_back(p);
    FreeEnvironmentStringsA(own);
  }
  for (const std::string& e : extra) {
    const std::string name = UpperName(e);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const std::string& o) { return UpperName(o) == name; }),
                  entries.end());
    entries.push_back(e);
  }
  std::stable_sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
    return UpperName(a) < UpperName(b);
  });
  std::vector<char> block;
  for (const std::string& e : entries) {
    block.insert(block.end(), e.begin(), e.end());
    block.push_back('\0');
  }
  block.push_back('\0');
  if (entries.empty()) block.push_back('\0');
  return block;
}

std::string LastErrorText() {
  DWORD code = GetLastError();
  char buffer[256] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
    text.pop_back();
  return text.empty() ? "error " + std::to_string(code) : text;
}

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

  // The program named by its path (never searched for, never given to
  // cmd.exe), its arguments quoted for the C runtime, no window, no console
  // signals from the station's console, no inherited handle.
  bool RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& env,
                  std::string* error) override {
    if (args.empty() || args[0].empty()) {
      *error = "no program";
      return false;
    }
    std::string command_line;
    for (const std::string& a : args) {
      if (!command_line.empty()) command_line += ' ';
      command_line += QuotedArgument(a);
    }
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    std::vector<char> block = EnvironmentBlock(env);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(args[0].c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP, block.data(), nullptr, &si,
                        &pi)) {
      *error = args[0] + ": " + LastErrorText();
      return false;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
  }
};

}  // namespace

std::unique_ptr<ProgramLauncher> NewPlatformProgramLauncher() {
  return std::make_unique<Win32ProgramLauncher>();
}

}  // namespace kavelin2
