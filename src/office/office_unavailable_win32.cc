// The Windows build of the station has no office view: the HTTP server and
// its JSON need libraries the cross build does not have. A station asked for
// one says so and does not start, rather than running without what the
// office expects to see.
#include <cstdlib>

#include "office/alerts.h"
#include "office/http_server.h"
#include "office/office_config.h"
#include "office/office_view.h"
#include "station/station.h"

namespace kavelin2::office {

OfficeConfig ReadOfficeConfig(const std::function<const char*(const char*)>& get) {
  OfficeConfig c;
  const char* http = get("KAVELIN2_HTTP");
  if (http != nullptr && *http != 0) {
    c.enabled = true;
    c.error = "KAVELIN2_HTTP: the office view is not part of the Windows build";
  }
  // Alerts read the overdue handhelds from the office view's history.
  const char* program = get("KAVELIN2_ALERT_PROGRAM");
  if (c.error.empty() && program != nullptr && *program != 0) {
    c.alert_program = program;
    c.error = "KAVELIN2_ALERT_PROGRAM: alerts are not part of the Windows build";
  }
  return c;
}

OfficeConfig OfficeConfigFromEnvironment() {
  return ReadOfficeConfig([](const char* name) { return std::getenv(name); });
}

std::unique_ptr<OfficeServer> StartOfficeServer(std::shared_ptr<SnapshotStore>,
                                                const ServerOptions&, std::string* error) {
  *error = "the office view is not part of the Windows build";
  return nullptr;
}

OfficeView::OfficeView(Station& st, std::shared_ptr<SnapshotStore> store, ViewOptions options)
    : st_(st),
      store_(std::move(store)),
      options_(std::move(options)),
      journal_(st.fs, kJournalFileName) {}

std::unique_ptr<EventSink> NewAlerts(Station&, std::shared_ptr<SnapshotStore>, AlertOptions) {
  return nullptr;
}

void OfficeView::OnEvent(const Event&) {}
void OfficeView::OnPass() {}

}  // namespace kavelin2::office
