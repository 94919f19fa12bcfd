#include "office/alerts.h"

#include <cctype>
#include <cstring>
#include <map>
#include <variant>

#include "office/history.h"
#include "office/office_view.h"
#include "office/render.h"
#include "station/station.h"

namespace kavelin2::office {
namespace {

// A value as it may go into an argument, a variable or a mail header: control
// bytes (a line break from a hostile name, a system message) become blanks.
std::string Clean(std::string value) {
  for (char& c : value) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return value;
}

class Alerts : public EventSink {
 public:
  Alerts(Station& st, std::shared_ptr<SnapshotStore> store, AlertOptions options)
      : st_(st), store_(std::move(store)), options_(std::move(options)) {}

  void OnEvent(const Event& e) override {
    if (e.line < 0 || e.line >= kLineCount) return;
    std::visit([&](const auto& body) { On(e.line, body); }, e.body);
  }

  void OnPass() override {
    const int32_t now = st_.clock.NowMs();
    for (int i = 0; i < kLineCount; ++i) {
      Lost& lost = lost_[i];
      if (!lost.lost || lost.alerted) continue;
      const int64_t down_ms =
          static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(lost.since_ms));
      if (down_ms < int64_t{options_.after_s} * 1000) continue;
      lost.alerted = true;
      const std::string seconds = std::to_string(down_ms / 1000);
      Send({"line-lost",
            {{"line", std::to_string(i + 1)},
             {"port", Port(i)},
             {"device", lost.device},
             {"reason", lost.reason},
             {"since", LocalIso8601(lost.since)},
             {"seconds", seconds},
             {"text", "line " + std::to_string(i + 1) + " (" + Port(i) + ", " + lost.device +
                          ") lost for " + seconds + " s: " + lost.reason}}});
    }
    if (!checked_once_ ||
        static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(checked_at_ms_)) >=
            options_.overdue_check_ms) {
      checked_once_ = true;
      checked_at_ms_ = now;
      CheckOverdue();
    }
  }

 private:
  struct Lost {
    bool lost = false;
    bool alerted = false;
    int32_t since_ms = 0;
    int64_t since = 0;
    std::string device;
    std::string reason;
  };

  std::string Port(int line) const { return PortName(st_.Ports.line[line]); }

  template <typename T>
  void On(int, const T&) {}

  void On(int i, const event::ExchangeEnded& ended) {
    if (ended.result == ExchangeResult::kOk) return;
    const LineEntry& line = st_.LineTable[i];
    // The journal's consumer, which runs before this one, put the reason in
    // the station's language.
    const std::string reason(line.LastReason, strnlen(line.LastReason, sizeof line.LastReason));
    const std::string result = ResultCode(ended.result);
    const std::string handheld = HandheldOf(line);
    Send({"exchange-failed",
          {{"line", std::to_string(i + 1)},
           {"port", Port(i)},
           {"handheld", handheld},
           {"result", result},
           {"reason", reason},
           {"start", LocalIso8601(line.ExchangeStart)},
           {"duration", std::to_string(ended.elapsed_seconds < 0 ? 0 : ended.elapsed_seconds)},
           {"text", "line " + std::to_string(i + 1) + ", handheld " + handheld + ": " + result +
                        (reason.empty() ? "" : ", " + reason)}}});
  }

  void On(int i, const event::DeviceLost& body) {
    Lost& lost = lost_[i];
    if (lost.lost) return;  // still the same outage
    lost = Lost{true, false, st_.clock.NowMs(), st_.clock.NowSeconds(), body.device, body.reason};
  }

  void On(int i, const event::DeviceBack& body) {
    Lost lost = lost_[i];
    lost_[i] = Lost{};
    // A short loss (a cradle's adapter plugged back at once) was never told:
    // neither is its end.
    if (!lost.lost || !lost.alerted) return;
    const std::string seconds = std::to_string(st_.clock.NowSeconds() - lost.since);
    Send({"line-back",
          {{"line", std::to_string(i + 1)},
           {"port", Port(i)},
           {"device", body.device},
           {"since", LocalIso8601(lost.since)},
           {"seconds", seconds},
           {"text", "line " + std::to_string(i + 1) + " (" + Port(i) + ", " + body.device +
                        ") back after " + seconds + " s"}}});
  }

  void On(int, const event::ResultLogFailed& body) {
    Send({"result-log-failed",
          {{"file", body.file},
           {"reason", body.reason},
           {"text", "result log " + body.file + " cannot be written: " + body.reason}}});
  }

  void On(int, const event::ResultLogRestored& body) {
    Send({"result-log-restored",
          {{"file", body.file},
           {"records", std::to_string(body.records)},
           {"text", "result log " + body.file + " written again (" + std::to_string(body.records) +
                        " waiting records)"}}});
  }

  // Each handheld the view calls overdue is told once per overdue period: when
  // it becomes overdue, then again each period it stays so. An OK exchange
  // ends its overdue time.
  void CheckOverdue() {
    std::shared_ptr<const Snapshot> snapshot = store_->Current();
    if (snapshot == nullptr || snapshot->history == nullptr) return;
    const int64_t now = st_.clock.NowSeconds();
    const int64_t period = int64_t{options_.overdue_hours} * 3600;
    const Facts facts = GatherFacts(*snapshot, now, options_.overdue_hours);
    std::map<std::string, int64_t> next;
    for (const HandheldFacts& h : facts.handhelds) {
      if (!h.overdue) continue;
      auto it = next_overdue_alert_.find(h.id);
      if (it != next_overdue_alert_.end() && now < it->second) {
        next[h.id] = it->second;
        continue;
      }
      next[h.id] = now + period;
      const std::string last_ok = h.record.last_ok == 0 ? "never" : LocalIso8601(h.record.last_ok);
      Send({"handheld-overdue",
            {{"handheld", h.id},
             {"last_ok", last_ok},
             {"hours", std::to_string(options_.overdue_hours)},
             {"text", "handheld " + h.id + " overdue: no OK exchange for " +
                          std::to_string(options_.overdue_hours) + " h (last OK: " + last_ok +
                          ")"}}});
    }
    next_overdue_alert_ = std::move(next);
  }

  void Send(Alert alert) {
    alert.details.insert(alert.details.begin(), {"time", LocalIso8601(st_.clock.NowSeconds())});
    for (auto& [key, value] : alert.details) value = Clean(std::move(value));
    std::string error;
    if (st_.launcher.RunProgram(AlertArguments(options_.program, alert), AlertEnvironment(alert),
                                &error)) {
      failing_ = false;
    } else if (!failing_) {
      // Said once until the program runs again: an alert program that has
      // gone away must not fill the log.
      failing_ = true;
      LogEvent(st_, "alert program not run: %s", Clean(error).c_str());
    }
  }

  Station& st_;
  std::shared_ptr<SnapshotStore> store_;
  AlertOptions options_;
  Lost lost_[kLineCount];
  bool checked_once_ = false;
  int32_t checked_at_ms_ = 0;
  std::map<std::string, int64_t> next_overdue_alert_;
  bool failing_ = false;
};

}  // namespace

std::vector<std::string> AlertArguments(const std::string& program, const Alert& alert) {
  std::vector<std::string> args{program, alert.event};
  for (const auto& [key, value] : alert.details) args.push_back(key + "=" + value);
  return args;
}

std::vector<std::string> AlertEnvironment(const Alert& alert) {
  std::vector<std::string> env{"KAVELIN2_ALERT_EVENT=" + alert.event};
  for (const auto& [key, value] : alert.details) {
    std::string name = "KAVELIN2_ALERT_";
    for (char c : key) name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    env.push_back(name + "=" + value);
  }
  return env;
}

std::unique_ptr<EventSink> NewAlerts(Station& st, std::shared_ptr<SnapshotStore> store,
                                     AlertOptions options) {
  return std::make_unique<Alerts>(st, std::move(store), std::move(options));
}

}  // namespace kavelin2::office
