// The consumers every station's events go to.
#pragma once

#include <memory>

#include "office/office_config.h"
#include "office/office_view.h"

namespace kavelin2 {

struct Station;

// Adds the result log, the journal of log lines and the on-line display, in
// that order.
void AddStationConsumers(Station& st);

// Adds the result log, the journal and the on-line display, then what
// |config| asks for: the office view when its listener or alerts are wanted
// (the alerts take the overdue handhelds from it), then the alerts. Returns
// the view's snapshots, null without a view.
std::shared_ptr<office::SnapshotStore> AddStationConsumers(Station& st,
                                                           const office::OfficeConfig& config);

// Adds the office view after them (it takes each failed exchange's reason
// from the journal's account) and returns where it publishes its snapshots.
std::shared_ptr<office::SnapshotStore> AddOfficeView(Station& st, office::ViewOptions options);

}  // namespace kavelin2
