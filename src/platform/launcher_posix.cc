// Outside programs on POSIX: every launch is a grandchild of the station.
//
// The station forks a short-lived child that forks the program and exits at
// once; the station reaps that child right away, and the program, orphaned,
// is adopted and reaped by init. So the menu never waits for a program, no
// zombie is ever left behind, and no SIGCHLD handler is needed.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/launcher.h"

namespace kavelin2 {
namespace {

// In the program's process, before exec: only async-signal-safe calls.
[[noreturn]] void ExecDetached(char* const argv[], bool search_path) {
  // Signals the station ignores or blocks must not leak into the program.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGQUIT, SIGHUP, SIGTERM}) signal(sig, SIG_DFL);

  // Nothing to read from the user, nothing written over the station's screen:
  // a command that cannot be started fails silently, as WinExec does.
  int null_fd = open("/dev/null", O_RDWR);
  if (null_fd >= 0) {
    dup2(null_fd, STDIN_FILENO);
    dup2(null_fd, STDOUT_FILENO);
    dup2(null_fd, STDERR_FILENO);
  }
  // The program must not inherit the serial ports (with their locks) or the
  // exchange files: a port it held open could not be opened again.
  if (close_range(3, ~0U, 0) != 0) {
    for (int fd = 3; fd < 1024; ++fd) close(fd);
  }
  if (search_path) {
    execvp(argv[0], argv);
  } else {
    execv(argv[0], argv);
  }
  _exit(127);
}

void SpawnDetached(const std::vector<std::string>& args, bool search_path) {
  // Built before fork: the children only call async-signal-safe functions.
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  pid_t child = fork();
  if (child < 0) return;  // no message: the menu goes on
  if (child == 0) {
    // A session of its own: Ctrl-C or a hang-up on the station's terminal
    // does not reach the program, and the program cannot grab the terminal.
    setsid();
    pid_t program = fork();
    if (program == 0) ExecDetached(argv.data(), search_path);
    _exit(0);
  }
  // The intermediate child exits as soon as it has forked: this wait is not
  // a wait for the program.
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// True when |name| is an executable file in one of the directories of $PATH.
bool FoundOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string dirs = path;
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    struct stat sb;
    if (stat(candidate.c_str(), &sb) == 0 && S_ISREG(sb.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

bool EnvSet(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != 0;
}

class PosixProgramLauncher : public ProgramLauncher {
 public:
  // The show mode has no meaning here: the program opens its own windows.
  void Launch(const std::string& command_line, int /*show_mode*/) override {
    SpawnDetached({"/bin/sh", "-c", command_line}, false);
  }

  bool HasDesktop() const override {
    return (EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY")) && FoundOnPath("xdg-open");
  }

  // xdg-open takes the path as one argument: no shell, no quoting.
  void ViewTextFile(const std::string& path) override { SpawnDetached({"xdg-open", path}, true); }
};

}  // namespace

std::unique_ptr<ProgramLauncher> NewPosixProgramLauncher() {
  return std::make_unique<PosixProgramLauncher>();
}

std::unique_ptr<ProgramLauncher> NewPlatformProgramLauncher() { return NewPosixProgramLauncher(); }

}  // namespace kavelin2
