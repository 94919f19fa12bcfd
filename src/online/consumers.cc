#include "online/consumers.h"

#include <utility>

#include "journal/exchange_log.h"
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

std::shared_ptr<office::SnapshotStore> AddOfficeView(Station& st, office::ViewOptions options) {
  auto store = std::make_shared<office::SnapshotStore>();
  st.consumers.push_back(std::make_unique<office::OfficeView>(st, store, std::move(options)));
  return store;
}

}  // namespace kavelin2
