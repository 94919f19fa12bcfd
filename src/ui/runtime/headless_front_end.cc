#include "ui/runtime/headless_front_end.h"

#include <csignal>
#include <ctime>
#include <fstream>
#include <set>

#include "ui/runtime/stop_signal.h"
#include "ui/runtime/window_library.h"

namespace kavelin2::uirt {
namespace {

std::string LocalTimeStamp() {
  std::time_t t = std::time(nullptr);
  std::tm tm = {};
  localtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

// A box text on one log line: each line break, with the blanks around it,
// becomes one blank.
std::string OneLine(const std::string& text) {
  std::string out;
  bool after_break = false;
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      while (!out.empty() && out.back() == ' ') out.pop_back();
      after_break = true;
    } else if (after_break && c == ' ') {
      continue;
    } else {
      if (after_break && !out.empty()) out += ' ';
      after_break = false;
      out += c;
    }
  }
  return out;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\n')) s.pop_back();
  return s;
}

// The fields of the on-line window worth a log line; block counters,
// progress, elapsed time, time-out counters and the clock change too often.
bool IsLoggedField(const std::string& name) {
  static const std::set<std::string> kLogged = {"PHASE", "ETAT", "PORTABLE", "FICHIER"};
  return kLogged.count(name) > 0;
}

// "stopped on SIGTERM" in the runtime's language (French by default).
std::string StopText(int nation, int signal_number) {
  const char* name = signal_number == SIGINT ? "SIGINT" : "SIGTERM";
#ifdef SIGHUP
  if (signal_number == SIGHUP) name = "SIGHUP";
#endif
  switch (nation) {
    case 3:
      return std::string("stopped on ") + name;
    case 7:
      return std::string("detenido por ") + name;
    default:
      return std::string("arrêté sur ") + name;
  }
}

class HeadlessFrontEnd : public FrontEnd {
 public:
  explicit HeadlessFrontEnd(HeadlessOptions options) : options_(std::move(options)) {
    if (!options_.now) options_.now = LocalTimeStamp;
  }

  void WindowOpened(Screen& screen) override {
    // A new on-line period logs its state afresh.
    if (screen.current()->name == kOnLineWindow) last_logged_.clear();
  }

  void FieldShown(Screen& screen, const std::string& key, const std::string& value) override {
    if (screen.current() == nullptr || screen.current()->name != kOnLineWindow) return;
    size_t comma = key.find(',');
    if (comma == std::string::npos || !IsLoggedField(key.substr(0, comma))) return;
    std::string shown = TrimRight(value);
    size_t start = shown.find_first_not_of(' ');
    shown = start == std::string::npos ? std::string() : shown.substr(start);
    auto [it, inserted] = last_logged_.emplace(key, shown);
    if (!inserted) {
      if (it->second == shown) return;
      it->second = shown;
    }
    // A field cleared to blanks is remembered but not worth a line.
    if (shown.empty()) return;
    Log("L" + key.substr(comma + 1) + " " + key.substr(0, comma) + "=" + OneLine(shown));
  }

  InputResult Input(Screen& screen, InputKind kind) override {
    Window* w = screen.current();
    std::string name = w ? w->name : std::string();
    if (StopRequested()) LogStop(screen);
    if (kind == InputKind::kNonBlocking && name == kOnLineWindow) {
      return {StopRequested() ? "*P*" : "*N*", ""};
    }
    return {CancelStatus(name), ""};
  }

  bool Question(Screen& screen, const std::string& text) override {
    // After a stop signal the station winds down: its quit question is the
    // stop itself, already logged, not a prompt left unanswered.
    if (StopRequested()) {
      LogStop(screen);
      return true;
    }
    Log("OUINON " + OneLine(text) + " -> OUI");
    return true;
  }

  void Message(Screen&, MessageKind kind, const std::string& text) override {
    Log((kind == MessageKind::kError ? "ERREUR " : "INFO ") + OneLine(text));
  }

  void Journal(Screen&, const std::string& text) override { Log(OneLine(text)); }

  void ShowTextFile(Screen&, const std::string& path) override {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      Log("VOIR " + path + ": fichier introuvable");
      return;
    }
    Log("VOIR " + path);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      line += '\n';
      std::fwrite(line.data(), 1, line.size(), options_.out);
    }
    std::fflush(options_.out);
  }

 private:
  void Log(const std::string& text) {
    std::string line = options_.now() + " " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), options_.out);
    // A service's output goes to a pipe or a file: flush so that the log is
    // current when someone looks.
    std::fflush(options_.out);
  }

  void LogStop(const Screen& screen) {
    if (stop_logged_) return;
    stop_logged_ = true;
    Log(StopText(screen.nation, StopSignalNumber()));
  }

  HeadlessOptions options_;
  StopSignalGuard signals_{true};
  std::map<std::string, std::string> last_logged_;
  bool stop_logged_ = false;
};

}  // namespace

std::unique_ptr<FrontEnd> NewHeadlessFrontEnd(HeadlessOptions options) {
  return std::make_unique<HeadlessFrontEnd>(std::move(options));
}

std::unique_ptr<FrontEnd> NewHeadlessFrontEnd() { return NewHeadlessFrontEnd(HeadlessOptions{}); }

}  // namespace kavelin2::uirt
