// Support of the end-to-end tests: a working directory with settings files
// written byte by byte, the real station program and the handheld simulator
// as child processes, and the result log read back.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kavelin2::e2e {

// The build tree that holds kavelin2, libkavelin2ui.so and kavelin2-handheld.
std::string BuildDir();

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
bool FileExists(const std::string& path);
// The names in a directory, sorted, without ".", ".." and the station's lock
// file ".kavelin2.lock".
std::vector<std::string> ListDir(const std::string& path);
// Polls |condition| every 10 ms until it holds or |timeout_ms| passed.
bool WaitFor(const std::function<bool()>& condition, int timeout_ms);

// What the six settings files say. Lines use the speed code 2 (115200).
struct Settings {
  bool active[2] = {true, false};
  char sup_tab = 'N', append = 'N', portable = 'N', sup_fic = 'N', add_crlf = 'N', dos = 'N';
  std::string language = "Anglais";
};

// A fresh temporary working directory with RECU/, TABLE/, TRANS/ and LOG/,
// removed with everything in it at the end.
class WorkDir {
 public:
  WorkDir();
  ~WorkDir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Writes the six settings files.
  void WriteSettings(const Settings& s) const;

 private:
  std::string path_;
};

// A child process with its standard output and error in files (one file for
// both unless |err_path| names another for standard error).
class Child {
 public:
  Child(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
        const std::map<std::string, std::string>& env, const std::string& out_path,
        const std::string& err_path = "");
  ~Child();  // kills a child still running
  pid_t pid() const { return pid_; }
  // Waits for the end; the exit status, or -1 on a time-out, 128 + signal
  // when killed by a signal.
  int Wait(int timeout_ms);
  bool Running();
  void Signal(int sig);
  std::string Output() const;
  std::string Errors() const;  // standard error, when it has its own file

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  bool done_ = false;
  std::string out_path_;
  std::string err_path_;
};

// User and system CPU seconds of a process, from /proc/<pid>/stat.
double ProcessCpuSeconds(pid_t pid);

// The station program on line at once, headless, with its UI transcript.
class StationProcess {
 public:
  // |ports| maps "COM1"/"COM2" to the device paths. Without |transcript| the
  // UI commands are not recorded (as for measurements).
  // |env| adds variables to the station's environment.
  StationProcess(const WorkDir& dir, const std::map<std::string, std::string>& ports,
                 bool transcript = true, const std::map<std::string, std::string>& env = {});
  // SIGTERM, then the exit status (-1 when it did not end in |timeout_ms|).
  int Stop(int timeout_ms = 15000);
  Child& child() { return *child_; }
  std::string Transcript() const;
  std::string Output() const { return child_->Output(); }

 private:
  std::string transcript_;
  std::unique_ptr<Child> child_;
};

// The simulator with |args|, run in the working directory.
class SimulatorProcess {
 public:
  SimulatorProcess(const WorkDir& dir, const std::string& name, std::vector<std::string> args);
  int Finish(int timeout_ms = 30000) { return child_->Wait(timeout_ms); }
  std::string Output() const { return child_->Output(); }
  Child& child() { return *child_; }

 private:
  std::unique_ptr<Child> child_;
};

// A TCP port on 127.0.0.1 that is bound by |holder| (a socket kept open by
// the caller, never listening), so that nothing else takes it: a connect to
// it is refused. Close |holder| to hand the port to a server.
int ReservedLoopbackPort(int* holder);
// True while a socket listens on 127.0.0.1:|port| (from /proc/net/tcp, so
// that looking does not connect).
bool ListeningOnLoopback(int port);
// The connections to 127.0.0.1:|port| made by a client on this machine, as
// their /proc/net/tcp timer fields ("tr:tm->when", e.g. "02:000007D0": the
// keepalive timer due in 2000 clock ticks).
std::vector<std::string> ClientTimersToLoopback(int port);

// The real ser2net (the device server of sites that put their cradles on the
// network), serving |device| on 127.0.0.1:|port|: raw TCP or Telnet with
// RFC 2217, the line at |line| ("9600n81") until a client sets it, and with
// chardelay off as the station needs (see the README). Its configuration,
// pid file and output are in |dir|.
class Ser2netProcess {
 public:
  Ser2netProcess(const WorkDir& dir, int port, std::string device, bool rfc2217,
                 std::string line = "9600n81");
  // Starts it and waits (at most 10 s) until it listens. False when it did
  // not come up (its output says why).
  bool Start();
  // SIGKILL, as a crash or a power cut of the device server.
  void Kill();
  std::string Output() const;
  static std::string Program();  // "" when ser2net is not installed

 private:
  const WorkDir& dir_;
  int port_;
  std::string device_;
  bool rfc2217_;
  std::string line_;
  int runs_ = 0;
  std::unique_ptr<Child> child_;
};

// The STAT.TXT record an exchange that began at |start| (calendar seconds)
// and lasted |elapsed| seconds writes.
std::string StatRecord(const std::string& result, const std::string& id, int line, time_t start,
                       int elapsed);
// True when |record| is the record of an exchange that began within
// [from, to] and lasted at most to - from seconds.
bool MatchesStatRecord(const std::string& record, const std::string& result, const std::string& id,
                       int line, time_t from, time_t to);
// STAT.TXT cut into its 37-byte records.
std::vector<std::string> StatRecords(const WorkDir& dir);

// Bytes as the simulator's raw logs hold them.
std::string Frame(uint8_t lead, const std::string& body);  // lead, body, ETX, BCC

}  // namespace kavelin2::e2e
