// How the office view is asked for: KAVELIN2_HTTP=ADDR:PORT turns it on,
// KAVELIN2_HTTP_TOKEN_FILE names the file of the token every request must
// then carry, KAVELIN2_OVERDUE_HOURS and the alert settings tune it. Read
// once at start; a setting the station cannot honour safely is an error that
// stops the station before it goes on line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kavelin2::office {

struct ServerOptions {
  std::string address;  // numeric IPv4 or IPv6 address
  uint16_t port = 0;    // 0: any free port (tests)
  std::string token;    // empty: no credentials asked
  int overdue_hours = 24;
  int max_connections = 32;
  int header_limit = 8192;
  int idle_timeout_ms = 10000;
  int refresh_seconds = 5;
};

struct OfficeConfig {
  bool enabled = false;
  ServerOptions server;
  std::string alert_program;  // KAVELIN2_ALERT_PROGRAM, empty for none
  int alert_after_s = 60;     // KAVELIN2_ALERT_AFTER_S
  // Not empty: the station must not start; one line saying why.
  std::string error;
};

// The configuration |get| gives (getenv, or a test's table).
OfficeConfig ReadOfficeConfig(const std::function<const char*(const char*)>& get);
OfficeConfig OfficeConfigFromEnvironment();

// True for 127.0.0.0/8 and ::1 (and ::ffff:127.x.y.z).
bool IsLoopbackAddress(const std::string& address);

// True when the Authorization header |value| carries |token|: "Bearer TOKEN"
// or HTTP Basic with any user and TOKEN as password. Compared in a time that
// does not depend on where the texts differ.
bool CarriesToken(std::string_view value, const std::string& token);

}  // namespace kavelin2::office
