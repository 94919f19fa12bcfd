// A Windows station runs as a console program or under a service wrapper that
// watches the process itself: there is no notification socket to report to.
#include "online/service_notify.h"

namespace kavelin2 {

std::unique_ptr<ServiceNotifier> NewServiceNotifierFromEnvironment() { return nullptr; }

}  // namespace kavelin2
