#include "e2e_support.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace kavelin2::e2e {

namespace {

void SleepMs(int ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

void RemoveTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    if (DIR* d = opendir(path.c_str())) {
      while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") RemoveTree(path + "/" + name);
      }
      closedir(d);
    }
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

void PutInt32(std::string* image, size_t offset, int32_t v) {
  for (int i = 0; i < 4; ++i) (*image)[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutText(std::string* image, size_t offset, const std::string& text) {
  image->replace(offset, text.size(), text);
}

}  // namespace

std::string BuildDir() { return KAVELIN2_BUILD_DIR; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

bool FileExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* d = opendir(path.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      // The lock a station keeps in its directories holds no site data.
      if (name != "." && name != ".." && name != ".kavelin2.lock") names.push_back(name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool WaitFor(const std::function<bool()>& condition, int timeout_ms) {
  for (int waited = 0;; waited += 10) {
    if (condition()) return true;
    if (waited >= timeout_ms) return false;
    SleepMs(10);
  }
}

WorkDir::WorkDir() {
  const char* base = getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kavelin2-e2e-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back(0);
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
  for (const char* d : {"RECU", "TABLE", "TRANS", "LOG"}) mkdir((path_ + "/" + d).c_str(), 0777);
}

WorkDir::~WorkDir() {
  if (getenv("KAVELIN2_KEEP_E2E") == nullptr) RemoveTree(path_);
}

void WorkDir::WriteSettings(const Settings& s) const {
  // "CONF_COM.CFG": two 23-byte entries: ACTIVE, PORT (5), VITESSE, DONNEES,
  // PARITE, STOPBIT (int32 LE at odd offsets), IRDA.
  std::string com(46, '\0');
  for (int i = 0; i < 2; ++i) {
    size_t e = 23 * i;
    com[e] = s.active[i] ? 'O' : 'N';
    PutText(&com, e + 1, i == 0 ? "COM1" : "COM2");
    PutInt32(&com, e + 6, 2);   // 115200
    PutInt32(&com, e + 10, 2);  // 8 data bits
    PutInt32(&com, e + 14, 1);  // no parity
    PutInt32(&com, e + 18, 1);  // one stop bit
    com[e + 22] = 'N';
  }
  WriteFile(*this / "CONF_COM.CFG", com);
  // "CONF_MOD.CFG": no modem on either line.
  std::string mod(64, '\0');
  mod[31] = 'N';
  mod[63] = 'N';
  WriteFile(*this / "CONF_MOD.CFG", mod);
  // "CHEMIN.CFG": TABLE, RECU, TRANS, FICLOG, 81 bytes each, plain prefixes.
  std::string paths(324, '\0');
  PutText(&paths, 0, "TABLE/");
  PutText(&paths, 81, "RECU/");
  PutText(&paths, 162, "TRANS/");
  PutText(&paths, 243, "LOG/");
  WriteFile(*this / "CHEMIN.CFG", paths);
  WriteFile(*this / "CONF_FIC.CFG",
            std::string{s.sup_tab, s.append, s.portable, s.sup_fic, s.add_crlf, s.dos});
  // "HEURE.CFG": nothing scheduled, AVANT 'N' so that nothing ends the station.
  std::string sched(401, '\0');
  sched[0] = 'N';
  PutText(&sched, 1, "00:00");
  sched[6] = 'N';
  PutText(&sched, 136, "00:00");
  sched[141] = 'N';
  sched[271] = 'N';
  WriteFile(*this / "HEURE.CFG", sched);
  std::string lang(9, '\0');
  PutText(&lang, 0, s.language.substr(0, 8));
  WriteFile(*this / "LANGUE.CFG", lang);
}

Child::Child(const std::string& program, const std::vector<std::string>& args,
             const std::string& cwd, const std::map<std::string, std::string>& env,
             const std::string& out_path, const std::string& err_path)
    : out_path_(out_path), err_path_(err_path) {
  std::vector<std::string> argv_s{program};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(126);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = err_path.empty() ? out : open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int null_in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || null_in < 0) _exit(126);
    dup2(null_in, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
}

Child::~Child() {
  if (Running()) {
    kill(pid_, SIGKILL);
    Wait(5000);
  }
}

bool Child::Running() {
  if (done_) return false;
  int status = 0;
  pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    done_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }
  return r == 0;
}

int Child::Wait(int timeout_ms) {
  if (!WaitFor([&] { return !Running(); }, timeout_ms)) return -1;
  return status_;
}

void Child::Signal(int sig) {
  if (Running()) kill(pid_, sig);
}

std::string Child::Output() const { return ReadFile(out_path_); }

std::string Child::Errors() const {
  return err_path_.empty() ? std::string() : ReadFile(err_path_);
}

double ProcessCpuSeconds(pid_t pid) {
  std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  // Fields 14 and 15, counted after the command name, which may hold blanks:
  // state ppid pgrp session tty_nr tpgid flags minflt cminflt majflt cmajflt
  // utime stime.
  size_t paren = stat.rfind(')');
  if (paren == std::string::npos) return -1;
  unsigned long utime = 0, stime = 0;
  if (sscanf(stat.c_str() + paren + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
             &utime, &stime) != 2)
    return -1;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

StationProcess::StationProcess(const WorkDir& dir, const std::map<std::string, std::string>& ports,
                               bool transcript, const std::map<std::string, std::string>& extra)
    : transcript_(dir / "transcript.txt") {
  std::map<std::string, std::string> env = extra;
  env["KAVELIN2_UI"] = "headless";
  if (transcript) env["KAVELIN2_UI_TRANSCRIPT"] = transcript_;
  for (const auto& [port, path] : ports) env["KAVELIN2_PORT_" + port] = path;
  child_ = std::make_unique<Child>(BuildDir() + "/kavelin2", std::vector<std::string>{}, dir.path(),
                                   env, dir / "station.out");
}

int StationProcess::Stop(int timeout_ms) {
  child_->Signal(SIGTERM);
  return child_->Wait(timeout_ms);
}

std::string StationProcess::Transcript() const { return ReadFile(transcript_); }

SimulatorProcess::SimulatorProcess(const WorkDir& dir, const std::string& name,
                                   std::vector<std::string> args) {
  child_ = std::make_unique<Child>(BuildDir() + "/kavelin2-handheld", args, dir.path(),
                                   std::map<std::string, std::string>{}, dir / (name + ".out"));
}

int ReservedLoopbackPort(int* holder) {
  *holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (*holder < 0 || bind(*holder, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(*holder, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    throw std::runtime_error("no free port on 127.0.0.1");
  }
  return ntohs(a.sin_port);
}

namespace {

// The lines of /proc/net/tcp: "sl local rem st tx:rx tr:when ...", with
// addresses as hex "0100007F:0FA1".
std::vector<std::vector<std::string>> TcpTable() {
  std::istringstream in(ReadFile("/proc/net/tcp"));
  std::vector<std::vector<std::string>> rows;
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<std::string> row;
    for (std::string f; fields >> f;) row.push_back(f);
    if (row.size() >= 6) rows.push_back(row);
  }
  return rows;
}

std::string LoopbackHex(int port) {
  char text[32];
  snprintf(text, sizeof text, "0100007F:%04X", port);
  return text;
}

}  // namespace

bool ListeningOnLoopback(int port) {
  for (const auto& row : TcpTable())
    if (row[1] == LoopbackHex(port) && row[3] == "0A") return true;
  return false;
}

std::vector<std::string> ClientTimersToLoopback(int port) {
  std::vector<std::string> timers;
  for (const auto& row : TcpTable())
    if (row[2] == LoopbackHex(port) && row[3] == "01") timers.push_back(row[5]);
  return timers;
}

Ser2netProcess::Ser2netProcess(const WorkDir& dir, int port, std::string device, bool rfc2217,
                               std::string line)
    : dir_(dir),
      port_(port),
      device_(std::move(device)),
      rfc2217_(rfc2217),
      line_(std::move(line)) {}

std::string Ser2netProcess::Program() {
  for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"})
    if (access(path, X_OK) == 0) return path;
  return "";
}

bool Ser2netProcess::Start() {
  if (Program().empty()) return false;
  const std::string config = dir_ / "ser2net.yaml";
  // "local": a pseudo-terminal has no modem lines to wait for.
  WriteFile(config, "%YAML 1.1\n---\nconnection: &cradle\n  accepter: " +
                        std::string(rfc2217_ ? "telnet(rfc2217),tcp," : "tcp,") + "127.0.0.1," +
                        std::to_string(port_) + "\n  connector: serialdev," + device_ + "," +
                        line_ +
                        ",local\n  options:\n    kickolduser: true\n    chardelay: false\n");
  ++runs_;
  // -n: in the foreground, a child of the test; -u: no UUCP lock files.
  child_ = std::make_unique<Child>(
      Program(), std::vector<std::string>{"-n", "-u", "-c", config, "-P", dir_ / "ser2net.pid"},
      dir_.path(), std::map<std::string, std::string>{},
      dir_ / ("ser2net." + std::to_string(runs_) + ".out"));
  return WaitFor([&] { return ListeningOnLoopback(port_) || !child_->Running(); }, 10000) &&
         child_->Running();
}

void Ser2netProcess::Kill() {
  if (!child_) return;
  child_->Signal(SIGKILL);
  child_->Wait(5000);
}

std::string Ser2netProcess::Output() const { return child_ ? child_->Output() : std::string(); }

std::string StatRecord(const std::string& result, const std::string& id, int line, time_t start,
                       int elapsed) {
  tm t;
  localtime_r(&start, &t);
  char rec[64];
  snprintf(rec, sizeof rec, "%-2.2s %-3.3s %d %02d/%02d/%02d %02d:%02d:%02d %02d.%02d'%02d\r\n",
           result.c_str(), id.c_str(), line, t.tm_mday, t.tm_mon + 1, t.tm_year % 100, t.tm_hour,
           t.tm_min, t.tm_sec, elapsed / 3600, elapsed / 60 % 60, elapsed % 60);
  return rec;
}

bool MatchesStatRecord(const std::string& record, const std::string& result, const std::string& id,
                       int line, time_t from, time_t to) {
  for (time_t start = from; start <= to; ++start) {
    for (int elapsed = 0; elapsed <= to - start; ++elapsed) {
      if (record == StatRecord(result, id, line, start, elapsed)) return true;
    }
  }
  return false;
}

std::vector<std::string> StatRecords(const WorkDir& dir) {
  std::string all = ReadFile(dir / "STAT.TXT");
  std::vector<std::string> records;
  for (size_t i = 0; i < all.size(); i += 37) records.push_back(all.substr(i, 37));
  return records;
}

std::string Frame(uint8_t lead, const std::string& body) {
  uint8_t bcc = 0x03;
  for (char c : body) bcc ^= static_cast<uint8_t>(c);
  std::string f(1, static_cast<char>(lead));
  f += body;
  f += '\x03';
  f += static_cast<char>(bcc);
  return f;
}

}  // namespace kavelin2::e2e
