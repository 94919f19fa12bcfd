// Alerts: an outside program (KAVELIN2_ALERT_PROGRAM) run for what someone
// away from the station must hear of at once: an exchange that failed, a line
// lost for longer than a while and its return, a handheld that became
// overdue, a result log that cannot be written and its return.
//
// The program runs without a shell and is never waited for. It gets the
// event's name as its first argument, then each detail as KEY=VALUE, and the
// same details in its environment as KAVELIN2_ALERT_<KEY> (with
// KAVELIN2_ALERT_EVENT for the name):
//
//   exchange-failed     line port handheld result reason start duration
//   line-lost           line port device reason since seconds
//   line-back           line port device since seconds
//   handheld-overdue    handheld last_ok hours
//   result-log-failed   file reason
//   result-log-restored file records
//
// and for every event time (now) and text (one line for a person to read).
// Times are local ISO 8601; values hold no control character.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "office/snapshot.h"
#include "station/events.h"

namespace kavelin2 {
struct Station;
}

namespace kavelin2::office {

struct AlertOptions {
  std::string program;     // absolute path
  int after_s = 60;        // a line lost this long is alerted
  int overdue_hours = 24;  // the overdue period, as the office view has it
  // How often the handhelds are looked at for being overdue.
  int32_t overdue_check_ms = 10000;
};

// One alert as the program gets it: the event and its details in order.
struct Alert {
  std::string event;
  std::vector<std::pair<std::string, std::string>> details;
};

// The program's arguments and added environment for |alert|.
std::vector<std::string> AlertArguments(const std::string& program, const Alert& alert);
std::vector<std::string> AlertEnvironment(const Alert& alert);

// The consumer, added after the office view whose snapshots |store| holds:
// the overdue handhelds are the view's own, never counted again here.
std::unique_ptr<EventSink> NewAlerts(Station& st, std::shared_ptr<SnapshotStore> store,
                                     AlertOptions options);

}  // namespace kavelin2::office
