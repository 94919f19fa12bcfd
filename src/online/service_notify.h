// Telling a service manager how the station is doing: ready once its lines
// are open, a one-line status of both lines, a stop in progress, and the
// watchdog's keep-alive. The notifier is optional: a station without one
// (tests, the menu, a station started by hand) sends nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kavelin2 {

struct Station;

class ServiceNotifier {
 public:
  // |send| delivers one notification (lines "NAME=value" joined by '\n');
  // |watchdog_usec| is the period the service manager asked for, 0 for none.
  ServiceNotifier(std::function<void(const std::string&)> send, int64_t watchdog_usec);

  // Called once per pass of the on-line loop, which runs at least every
  // 100 ms. Sends READY=1 on the first pass, STATUS= when the summary changed
  // (at most every kStatusIntervalMs, so a running transfer does not flood the
  // manager), WATCHDOG=1 at half the watchdog period and, on the first pass
  // with |stop_requested|, the latest status with STOPPING=1.
  void Pass(Station& st, bool stop_requested);

  static constexpr int32_t kStatusIntervalMs = 250;

 private:
  std::function<void(const std::string&)> send_;
  int32_t watchdog_interval_ms_ = 0;  // 0: no watchdog
  bool ready_sent_ = false;
  bool stopping_sent_ = false;
  std::string status_sent_;
  int32_t status_sent_at_ = 0;
  int32_t watchdog_sent_at_ = 0;
};

// One line on both lines, e.g. "line 1 COM1: exchange with handheld 001:
// ORDERS.001 40%; line 2: off", then, while the result log cannot write,
// "; STAT.TXT not written (2 records waiting): <reason>".
std::string ServiceStatusLine(const Station& st);

// The notifier the environment asks for ($NOTIFY_SOCKET, $WATCHDOG_USEC), or
// null when the station was not started by a service manager that listens.
std::unique_ptr<ServiceNotifier> NewServiceNotifierFromEnvironment();

// One pass of the on-line loop: a no-op for a station without a notifier.
void NotifyServiceManager(Station& st, bool stop_requested);

}  // namespace kavelin2
