#include "online/consumers.h"

#include "display/online_display.h"
#include "journal/exchange_log.h"
#include "station/station.h"

namespace kavelin2 {

void AddStationConsumers(Station& st) {
  // The record first, then the log line, then the screen: whoever reads the
  // screen or the log finds the record written.
  st.consumers.push_back(NewResultLog(st));
  st.consumers.push_back(NewExchangeJournal(st));
  st.consumers.push_back(NewOnlineDisplay(st));
}

}  // namespace kavelin2
