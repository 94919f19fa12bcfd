#include "display/station_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "testing/test_station.h"

namespace kavelin2 {
namespace {

// The station's setting picks the screen's texts and the log's; the log
// falls back on English where the screen shows nothing.
TEST(StationText, FollowsTheLanguageSetting) {
  struct Case {
    const char* setting;
    const char* waiting;  // nullptr: not shown
    const char* log_line;
  };
  const Case cases[] = {
      {"Francais", "ATTENTE",
       "JOURNAL,Ligne 2 : appareil COM2 (/dev/ttyS1) de nouveau ouvert, la ligne est servie"},
      {"Anglais", "WAITING",
       "JOURNAL,Line 2: device COM2 (/dev/ttyS1) open again, the line is served"},
      {"Espagnol", "ESPERA",
       "JOURNAL,Linea 2: dispositivo COM2 (/dev/ttyS1) abierto de nuevo, la linea se sirve"},
      {"Deutsch", nullptr,
       "JOURNAL,Line 2: device COM2 (/dev/ttyS1) open again, the line is served"},
      {"", nullptr, "JOURNAL,Line 2: device COM2 (/dev/ttyS1) open again, the line is served"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    TestStation ts;
    std::memset(ts.st.CurrentLanguage, 0, sizeof ts.st.CurrentLanguage);
    std::memcpy(ts.st.CurrentLanguage, c.setting, std::strlen(c.setting));
    if (c.waiting == nullptr) {
      EXPECT_EQ(Text(ts.st, Msg::kWaiting), nullptr);
    } else {
      EXPECT_STREQ(Text(ts.st, Msg::kWaiting), c.waiting);
    }
    // Untranslated texts are shown whatever the language.
    EXPECT_STREQ(Text(ts.st, Msg::kInit), "INIT");
    ts.ui->commands.clear();
    LogMessage(ts.st, Msg::kDeviceBackLog, 2, "COM2 (/dev/ttyS1)");
    ASSERT_EQ(ts.ui->commands.size(), 1u);
    EXPECT_EQ(ts.ui->commands[0], c.log_line);
  }
}

// A line too long for one command is cut where LogEvent cuts it.
TEST(StationText, ALongLogLineIsCutLikeAnyOther) {
  TestStation ts;
  std::strcpy(ts.st.CurrentLanguage, "Anglais");
  const std::string device(2000, 'x');
  ts.ui->commands.clear();
  LogMessage(ts.st, Msg::kDeviceBackLog, 1, device.c_str());
  LogEvent(ts.st, "Line %d: device %s open again, the line is served", 1, device.c_str());
  ASSERT_EQ(ts.ui->commands.size(), 2u);
  EXPECT_EQ(ts.ui->commands[0], ts.ui->commands[1]);
  EXPECT_EQ(ts.ui->commands[0].size(), 1024u);
}

}  // namespace
}  // namespace kavelin2
