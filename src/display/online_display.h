// The on-line window's account of each line's exchanges: the elapsed time
// and the last result when an exchange ends, the result cleared when the
// next one starts. A consumer of the station's events.
#pragma once

#include <memory>

#include "station/events.h"

namespace kavelin2 {

struct Station;

std::unique_ptr<EventSink> NewOnlineDisplay(Station& st);

}  // namespace kavelin2
