// The consumers every station's events go to.
#pragma once

namespace kavelin2 {

struct Station;

// Adds the result log, the journal of log lines and the on-line display, in
// that order.
void AddStationConsumers(Station& st);

}  // namespace kavelin2
