// The consumers every station's events go to.
#pragma once

#include <memory>

#include "office/office_view.h"

namespace kavelin2 {

struct Station;

// Adds the result log, the journal of log lines and the on-line display, in
// that order.
void AddStationConsumers(Station& st);

// Adds the office view after them (it takes each failed exchange's reason
// from the journal's account) and returns where it publishes its snapshots.
std::shared_ptr<office::SnapshotStore> AddOfficeView(Station& st, office::ViewOptions options);

}  // namespace kavelin2
