#include "online/consumers.h"

#include <utility>

#include "journal/exchange_log.h"
#include "office/alerts.h"
#include "online/online_display.h"
#include "station/station.h"

namespace kavelin2 {

void AddStationConsumers(Station& st) {
  // The record first, then the log line, then the screen: whoever reads the
  // screen or the log finds the record written.
  st.consumers.push_back(NewResultLog(st));
  st.consumers.push_back(NewExchangeJournal(st));
  st.consumers.push_back(NewOnlineDisplay(st));
}

std::shared_ptr<office::SnapshotStore> AddStationConsumers(Station& st,
                                                           const office::OfficeConfig& config) {
  AddStationConsumers(st);
  const bool alerts = !config.alert_program.empty();
  if (!config.enabled && !alerts) return nullptr;
  std::shared_ptr<office::SnapshotStore> store = AddOfficeView(st, office::ViewOptions{});
  if (alerts) {
    // After the view: an ended exchange is in its history before the alerts
    // look for overdue handhelds.
    auto sink = office::NewAlerts(st, store,
                                  office::AlertOptions{
                                      .program = config.alert_program,
                                      .after_s = config.alert_after_s,
                                      .overdue_hours = config.server.overdue_hours,
                                  });
    if (sink != nullptr) st.consumers.push_back(std::move(sink));
  }
  return store;
}

std::shared_ptr<office::SnapshotStore> AddOfficeView(Station& st, office::ViewOptions options) {
  auto store = std::make_shared<office::SnapshotStore>();
  st.consumers.push_back(std::make_unique<office::OfficeView>(st, store, std::move(options)));
  return store;
}

}  // namespace kavelin2
