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
#include <cstring>
#include <string>
#include <vector>

#include "platform/launcher.h"

namespace kavelin2 {
namespace {

// In the program's process, before exec: signals the station ignores or
// blocks must not leak into the program, and it gets nothing to read from the
// user and writes nothing over the station's screen (its standard error
// stays the station's only when |keep_stderr|). Async-signal-safe calls only.
void ResetChildProcess(bool keep_stderr) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGQUIT, SIGHUP, SIGTERM}) signal(sig, SIG_DFL);
  int null_fd = open("/dev/null", O_RDWR);
  if (null_fd >= 0) {
    dup2(null_fd, STDIN_FILENO);
    dup2(null_fd, STDOUT_FILENO);
    if (!keep_stderr) dup2(null_fd, STDERR_FILENO);
  }
}

[[noreturn]] void ExecDetached(char* const argv[], bool search_path) {
  // A command that cannot be started fails silently, as WinExec does.
  ResetChildProcess(false);
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

extern "C" char** environ;

// The station's environment with |extra| ("NAME=VALUE") added, each replacing
// a variable of the same name.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
  auto name_of = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  std::vector<std::string> names;
  for (const std::string& e : extra) names.push_back(name_of(e));
  std::vector<std::string> out;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    std::string entry = *e;
    bool replaced = false;
    for (const std::string& n : names) replaced = replaced || name_of(entry) == n;
    if (!replaced) out.push_back(std::move(entry));
  }
  out.insert(out.end(), extra.begin(), extra.end());
  return out;
}

// Writes |err| on the status pipe |fd|; async-signal-safe.
void TellErrno(int fd, int err) {
  while (write(fd, &err, sizeof err) < 0 && errno == EINTR) {
  }
}

// The program's process, before exec: only async-signal-safe calls. |status|
// is the pipe that tells the station whether the exec happened: it closes on
// exec, or carries errno.
[[noreturn]] void ExecProgram(const char* path, char* const argv[], char* const envp[],
                              bool keep_stderr, int status) {
  ResetChildProcess(keep_stderr);
  // Every other descriptor (ports, exchange files, sockets) closes on exec,
  // the status pipe with them; until then the pipe stays usable.
  if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    for (int fd = 3; fd < 1024; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  execve(path, argv, envp);
  TellErrno(status, errno);
  _exit(127);
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

  // A grandchild, as for Launch, so that nothing is left to reap; the station
  // waits only until the program's exec happened (or failed), which the
  // status pipe tells: it sees end of file once the exec closed it.
  bool RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& env,
                  std::string* error) override {
    if (args.empty() || args[0].empty()) {
      *error = "no program";
      return false;
    }
    // Everything the children use is built before fork.
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::vector<std::string> merged = MergedEnvironment(env);
    std::vector<char*> envp;
    for (const std::string& e : merged) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const bool keep_stderr = isatty(STDERR_FILENO) == 0;

    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0) {
      *error = args[0] + ": " + std::strerror(errno);
      return false;
    }
    pid_t child = fork();
    if (child < 0) {
      int err = errno;
      close(status[0]);
      close(status[1]);
      *error = args[0] + ": " + std::strerror(err);
      return false;
    }
    if (child == 0) {
      close(status[0]);
      setsid();
      pid_t program = fork();
      if (program == 0) ExecProgram(argv[0], argv.data(), envp.data(), keep_stderr, status[1]);
      if (program < 0) TellErrno(status[1], errno);
      _exit(0);
    }
    close(status[1]);
    int err = 0;
    ssize_t got;
    while ((got = read(status[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    close(status[0]);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof err)) {
      *error = args[0] + ": " + std::strerror(err);
      return false;
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<ProgramLauncher> NewPosixProgramLauncher() {
  return std::make_unique<PosixProgramLauncher>();
}

std::unique_ptr<ProgramLauncher> NewPlatformProgramLauncher() { return NewPosixProgramLauncher(); }

}  // namespace kavelin2
