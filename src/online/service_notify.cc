// What the station tells its service manager, and how often. The transport is
// platform code (service_notify_posix.cc).
#include "online/service_notify.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "station/station.h"

namespace kavelin2 {
namespace {

// Milliseconds from |from| to |now| on the wrapping clock.
int32_t Elapsed(int32_t from, int32_t now) {
  return static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(from));
}

// A number of |width| decimal digits from a fixed field; 0 when not digits.
int32_t FieldNumber(const char* text, size_t width) {
  int32_t v = 0;
  size_t i = 0;
  for (; i < width && text[i] >= '0' && text[i] <= '9'; ++i) v = v * 10 + (text[i] - '0');
  return i == 0 ? 0 : v;
}

// A name from a fixed field, its padding blanks dropped ("CLIENTS .TXT").
std::string FieldName(const char* text, size_t width) {
  std::string name;
  for (size_t i = 0; i < width && text[i] != 0; ++i)
    if (text[i] != ' ' && static_cast<unsigned char>(text[i]) >= 0x20) name += text[i];
  return name;
}

std::string LineSummary(const Station& st, int i) {
  const LineEntry& line = st.LineTable[i];
  const PortEntry& port = st.Ports.line[i];
  std::string text = "line " + std::to_string(i + 1);
  std::string port_name = FieldName(port.PORT, sizeof port.PORT);
  if (!port_name.empty()) text += " " + port_name;
  if (port.ACTIVE != 'O') return text + ": off";
  // An active line without its device is between a loss and a reopening.
  if (!line.PortHandle) return text + ": disconnected";
  if (line.LinePhase != kPhaseNone) {
    // A handheld names itself only after its uploads.
    std::string id = FieldName(line.HandheldId, sizeof line.HandheldId);
    bool known = !id.empty() && id.find('?') == std::string::npos;
    text += known ? ": exchange with handheld " + id : std::string(": exchange with a handheld");
    std::string file;
    int32_t done = 0;
    if (line.LinePhase == kPhaseUpload) {
      file = FieldName(line.UploadName, sizeof line.UploadName);
      done = line.NextBlockNumber - 1;
    } else {
      file = FieldName(line.TableEntryName, sizeof line.TableEntryName);
      done = line.BlocksSent;
    }
    int32_t total = FieldNumber(line.BlockCountText, sizeof line.BlockCountText);
    if (!file.empty()) {
      text += ": " + file;
      if (total > 0 && done >= 0) {
        int64_t percent = static_cast<int64_t>(done) * 100 / total;
        if (percent > 100) percent = 100;
        text += " " + std::to_string(percent) + "%";
      }
    }
    return text;
  }
  text += ": waiting";
  if (line.LastResult[0] != 0) {
    text += ", last " + FieldName(line.LastResult, sizeof line.LastResult);
    size_t reason = strnlen(line.LastReason, sizeof line.LastReason);
    if (reason > 0) text += " (" + std::string(line.LastReason, reason) + ")";
  }
  return text;
}

}  // namespace

ServiceNotifier::ServiceNotifier(std::function<void(const std::string&)> send,
                                 int64_t watchdog_usec)
    : send_(std::move(send)) {
  if (watchdog_usec > 0) {
    // Half the period, so that one late pass never lets the manager fire.
    int64_t half_ms = watchdog_usec / 2000;
    watchdog_interval_ms_ = static_cast<int32_t>(half_ms < 1         ? 1
                                                 : half_ms > 3600000 ? 3600000
                                                                     : half_ms);
  }
}

void ServiceNotifier::Pass(Station& st, bool stop_requested) {
  const int32_t now = st.clock.NowMs();
  std::string message;
  auto add = [&message](const std::string& line) {
    if (!message.empty()) message += '\n';
    message += line;
  };
  bool first = !ready_sent_;
  if (first) {
    add("READY=1");
    ready_sent_ = true;
  }
  bool stopping = stop_requested && !stopping_sent_;
  // The last status before a stop goes out at once, whatever the interval.
  // Between intervals the status is not even built: the loop passes once per
  // byte during a transfer.
  if (first || stopping || Elapsed(status_sent_at_, now) >= kStatusIntervalMs) {
    std::string status = ServiceStatusLine(st);
    if (status != status_sent_) {
      add("STATUS=" + status);
      status_sent_ = std::move(status);
      status_sent_at_ = now;
    }
  }
  if (stopping) {
    add("STOPPING=1");
    stopping_sent_ = true;
  }
  if (watchdog_interval_ms_ > 0 &&
      (first || Elapsed(watchdog_sent_at_, now) >= watchdog_interval_ms_)) {
    add("WATCHDOG=1");
    watchdog_sent_at_ = now;
  }
  if (!message.empty()) send_(message);
}

std::string ServiceStatusLine(const Station& st) {
  std::string text;
  for (int i = 0; i < kLineCount; ++i) {
    if (i > 0) text += "; ";
    text += LineSummary(st, i);
  }
  // An outage of the result log lasts until its records are written: it is
  // shown for as long, after the lines.
  for (const Station::ResultLogOutage& outage : st.ResultLogOutages) {
    if (outage.file.empty()) continue;
    text += "; " + outage.file + " not written (" + std::to_string(outage.waiting) +
            " records waiting): " + outage.reason;
  }
  return text;
}

void NotifyServiceManager(Station& st, bool stop_requested) {
  if (st.notifier != nullptr) st.notifier->Pass(st, stop_requested);
}

}  // namespace kavelin2
