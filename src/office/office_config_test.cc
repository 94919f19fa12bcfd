// The office view's settings from the environment, and the token check.
#include "office/office_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>

#include "testing/test_station.h"

namespace kavelin2::office {
namespace {

OfficeConfig From(const std::map<std::string, std::string>& env) {
  return ReadOfficeConfig([&env](const char* name) -> const char* {
    auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  });
}

TEST(OfficeConfigTest, LoopbackNeedsNoTokenAnyOtherAddressRefusesWithoutOne) {
  EXPECT_FALSE(From({}).enabled);
  OfficeConfig local = From({{"KAVELIN2_HTTP", "127.0.0.1:8180"}});
  EXPECT_TRUE(local.enabled);
  EXPECT_EQ("", local.error);
  EXPECT_EQ("127.0.0.1", local.server.address);
  EXPECT_EQ(8180, local.server.port);
  EXPECT_EQ("", local.server.token);
  EXPECT_EQ(24, local.server.overdue_hours);
  EXPECT_EQ("::1", From({{"KAVELIN2_HTTP", "[::1]:8180"}}).server.address);
  EXPECT_EQ("", From({{"KAVELIN2_HTTP", "127.8.9.10:1"}}).error);

  for (const char* other : {"0.0.0.0:8180", "192.168.1.20:8180", "[::]:8180"}) {
    OfficeConfig c = From({{"KAVELIN2_HTTP", other}});
    EXPECT_NE(std::string::npos, c.error.find("KAVELIN2_HTTP_TOKEN_FILE")) << other;
  }
  for (const char* bad : {"localhost:8180", "127.0.0.1", "127.0.0.1:99999", "127.0.0.1:x", ":80"})
    EXPECT_NE("", From({{"KAVELIN2_HTTP", bad}}).error) << bad;

  ScopedTempDir dir;
  WriteFile("token", "abc123\n");
  OfficeConfig remote =
      From({{"KAVELIN2_HTTP", "0.0.0.0:8180"}, {"KAVELIN2_HTTP_TOKEN_FILE", "token"}});
  EXPECT_EQ("", remote.error);
  EXPECT_EQ("abc123", remote.server.token);
  WriteFile("empty", "\n");
  EXPECT_NE("",
            From({{"KAVELIN2_HTTP", "0.0.0.0:8180"}, {"KAVELIN2_HTTP_TOKEN_FILE", "empty"}}).error);
  EXPECT_NE(
      "", From({{"KAVELIN2_HTTP", "0.0.0.0:8180"}, {"KAVELIN2_HTTP_TOKEN_FILE", "absent"}}).error);
  EXPECT_EQ(6, From({{"KAVELIN2_HTTP", "127.0.0.1:1"}, {"KAVELIN2_OVERDUE_HOURS", "6"}})
                   .server.overdue_hours);
  EXPECT_NE("", From({{"KAVELIN2_HTTP", "127.0.0.1:1"}, {"KAVELIN2_OVERDUE_HOURS", "0"}}).error);
}

// Alerts need no listener; their program is an absolute path to an
// executable file, or the station does not start.
TEST(OfficeConfigTest, AlertSettingsHoldWithoutTheListenerAndRefuseABadProgram) {
  ScopedTempDir dir;
  const std::string program = dir.path() + "/alert";
  WriteFile(program, "#!/bin/sh\n");
  chmod(program.c_str(), 0755);
  WriteFile("plain", "#!/bin/sh\n");
  OfficeConfig c = From({{"KAVELIN2_ALERT_PROGRAM", program},
                         {"KAVELIN2_ALERT_AFTER_S", "5"},
                         {"KAVELIN2_OVERDUE_HOURS", "6"}});
  EXPECT_EQ("", c.error);
  EXPECT_FALSE(c.enabled);
  EXPECT_EQ(program, c.alert_program);
  EXPECT_EQ(5, c.alert_after_s);
  EXPECT_EQ(6, c.server.overdue_hours);
  EXPECT_EQ(60, From({{"KAVELIN2_ALERT_PROGRAM", program}}).alert_after_s);
  EXPECT_EQ("", From({{"KAVELIN2_ALERT_PROGRAM", ""}}).alert_program);
  const std::pair<std::string, std::string> bad[] = {
      {"alert", "not an absolute path"},
      {dir.path() + "/plain", "not an executable file"},
      {dir.path() + "/absent", "not an executable file"},
      {dir.path(), "not an executable file"},
  };
  for (const auto& [path, why] : bad) {
    OfficeConfig b = From({{"KAVELIN2_ALERT_PROGRAM", path}});
    EXPECT_EQ("KAVELIN2_ALERT_PROGRAM=" + path + ": " + why, b.error);
  }
  for (const char* after : {"-1", "x", "604801"})
    EXPECT_NE("",
              From({{"KAVELIN2_ALERT_PROGRAM", program}, {"KAVELIN2_ALERT_AFTER_S", after}}).error)
        << after;
}

TEST(OfficeConfigTest, TheTokenComesAsBearerOrAsTheBasicPassword) {
  const std::string token = "abc123";
  EXPECT_TRUE(CarriesToken("Bearer abc123", token));
  EXPECT_TRUE(CarriesToken("bearer abc123", token));
  EXPECT_TRUE(CarriesToken("Basic dXNlcjphYmMxMjM=", token));  // user:abc123
  EXPECT_TRUE(CarriesToken("Basic OmFiYzEyMw==", token));      // :abc123
  EXPECT_FALSE(CarriesToken("", token));
  EXPECT_FALSE(CarriesToken("Bearer", token));
  EXPECT_FALSE(CarriesToken("Bearer abc12", token));
  EXPECT_FALSE(CarriesToken("Bearer abc1234", token));
  EXPECT_FALSE(CarriesToken("abc123", token));
  EXPECT_FALSE(CarriesToken("Basic YWJjMTIz", token));          // abc123, no user part
  EXPECT_FALSE(CarriesToken("Basic dXNlcjphYmMxMjQ=", token));  // user:abc124
  EXPECT_FALSE(CarriesToken("Basic !!!", token));
}

}  // namespace
}  // namespace kavelin2::office
