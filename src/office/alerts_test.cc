// The alerts, fed by whole exchanges through the dispatcher with the
// station's consumers and the office view before them, on the fake clock: what
// is told, with which arguments and variables, and what is not told twice.
#include "office/alerts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "exchange/download_fixture.h"
#include "journal/exchange_log.h"
#include "office/office_view.h"

namespace kavelin2::office {
namespace {

class AlertsTest : public DownloadFixture {
 protected:
  AlertsTest() {
    setenv("TZ", "UTC", 1);
    tzset();
    ts.st.Ports.line[0].ACTIVE = 'O';
    ts.st.Ports.line[1].ACTIVE = 'N';
    SetPortName(ts.st.Ports.line[0], "COM1");
    WriteFile("tables/TABLE.001", "ARTICLES.DAT 64\r\n");
    WriteFile("tables/TABLE.007", "ARTICLES.DAT 64\r\n");
    WriteFile("trans/ARTICLES.DAT", std::string(64, 'a') + "\r\n");
    ts.st.consumers.clear();
    ts.st.consumers.push_back(NewResultLog(ts.st));
    ts.st.consumers.push_back(NewExchangeJournal(ts.st));
    ViewOptions view;
    view.publish_interval_ms = 0;
    ts.st.consumers.push_back(std::make_unique<OfficeView>(ts.st, store, view));
    ts.st.consumers.push_back(NewAlerts(ts.st, store, {"/opt/alert", 60, 24, 10000}));
  }

  void Handheld(const std::string& bytes) {
    line.ArriveNow(bytes);
    uint8_t b;
    while (PollByte(L(), &b)) {
      L().LineDeadline = Deadline::After(ts.clock.NowMs(), kSilenceMs);
      DispatchControlByte(ts.st, L(), b);
    }
    Sent();
  }
  static std::string Id(const std::string& id) {
    return Byte(RS) + id + static_cast<char>(id[0] ^ id[1] ^ id[2]);
  }
  void OkDownload(const std::string& id) {
    Handheld(Id(id));
    for (int i = 0; i < 20 && L().LinePhase != kPhaseNone; ++i) Handheld(Byte(ACK));
  }
  void SilentExchange(const std::string& id) {
    Handheld(Id(id));
    for (int i = 0; i < 20 && L().LinePhase != kPhaseNone; ++i) {
      ts.clock.Advance(kSilenceMs + 1);
      HandleTimeout(ts.st, L());
    }
  }
  // Time passes on the fake clock, the on-line loop passing every 100 ms.
  void Pass(int64_t ms) {
    for (int64_t t = 0; t < ms; t += 100) {
      ts.clock.Advance(100);
      ts.st.ReportPass();
    }
  }
  // The runs since the last call, as "event detail=value ..." without time=.
  std::vector<std::string> NewRuns() {
    std::vector<std::string> out;
    for (; seen < ts.launcher.runs.size(); ++seen) {
      const auto& argv = ts.launcher.runs[seen].argv;
      EXPECT_EQ("/opt/alert", argv.at(0));
      std::string text = argv.at(1);
      for (size_t i = 2; i < argv.size(); ++i)
        if (argv[i].rfind("time=", 0) != 0 && argv[i].rfind("text=", 0) != 0) text += " " + argv[i];
      out.push_back(text);
    }
    return out;
  }
  std::vector<std::string> Logged() const { return ts.ui->CommandsStartingWith("JOURNAL,alert"); }

  std::shared_ptr<SnapshotStore> store = std::make_shared<SnapshotStore>();
  size_t seen = 0;
};

TEST_F(AlertsTest, TellsEachEventOnceWithItsDetailsAndOverdueHandheldsOncePerPeriod) {
  const int64_t t0 = ts.clock.NowSeconds();  // 2026-12-06T09:15:02
  // Both handhelds have a table and no OK yet: overdue from the first pass.
  Pass(100);
  EXPECT_EQ((std::vector<std::string>{"handheld-overdue handheld=001 last_ok=never hours=24",
                                      "handheld-overdue handheld=007 last_ok=never hours=24"}),
            NewRuns());
  Pass(30000);
  EXPECT_EQ(0u, NewRuns().size());

  // 001 gets its download: nothing to tell, and it is no longer overdue. 007
  // stays silent: TO, with the journal's reason.
  OkDownload("001");
  const int64_t ok_at = L().ExchangeStart;
  Pass(11000);
  SilentExchange("007");
  const std::string reason = L().LastReason;
  ASSERT_FALSE(reason.empty());
  auto runs = NewRuns();
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ("exchange-failed line=1 port=COM1 handheld=007 result=TO reason=" + reason +
                " start=" + LocalIso8601(L().ExchangeStart) +
                " duration=" + std::to_string(ts.clock.NowSeconds() - L().ExchangeStart),
            runs[0]);
  // The same facts in the environment, with the name and a text for people.
  const auto& env = ts.launcher.runs.back().env;
  const auto has = [&env](const std::string& v) {
    return std::find(env.begin(), env.end(), v) != env.end();
  };
  EXPECT_TRUE(has("KAVELIN2_ALERT_EVENT=exchange-failed"));
  EXPECT_TRUE(has("KAVELIN2_ALERT_HANDHELD=007"));
  EXPECT_TRUE(has("KAVELIN2_ALERT_RESULT=TO"));
  EXPECT_TRUE(has("KAVELIN2_ALERT_REASON=" + reason));
  EXPECT_TRUE(has("KAVELIN2_ALERT_TIME=" + LocalIso8601(ts.clock.NowSeconds())));
  EXPECT_TRUE(has("KAVELIN2_ALERT_TEXT=line 1, handheld 007: TO, " + reason));
  EXPECT_EQ(ts.launcher.runs.back().argv.size(), env.size() + 1);

  // A device lost for 59 s is not told; at 60 s it is, once, and so is its
  // return. A short loss on line 2 tells nothing, not even its return.
  ts.st.Report(0, event::DeviceLost{"/dev/ttyUSB0", "Input/output error"});
  const int64_t lost_at = ts.clock.NowSeconds();
  ts.st.Report(0, event::DeviceLost{"/dev/ttyUSB0", "Input/output error"});  // same outage
  ts.st.Report(1, event::DeviceLost{"/dev/ttyS1", "gone"});
  Pass(59000);
  EXPECT_EQ(0u, NewRuns().size());
  ts.st.Report(1, event::DeviceBack{"/dev/ttyS1"});
  Pass(1100);
  Pass(120000);
  ts.st.Report(0, event::DeviceBack{"/dev/ttyUSB0"});
  EXPECT_EQ((std::vector<std::string>{
                "line-lost line=1 port=COM1 device=/dev/ttyUSB0 reason=Input/output error since=" +
                    LocalIso8601(lost_at) + " seconds=60",
                "line-back line=1 port=COM1 device=/dev/ttyUSB0 since=" + LocalIso8601(lost_at) +
                    " seconds=" + std::to_string(ts.clock.NowSeconds() - lost_at)}),
            NewRuns());

  // The result log's outage and return; a hostile line break in a reason
  // cannot start a new line of a mail header or a log.
  ts.st.Report(0, event::ResultLogFailed{"STAT.TXT", "No space\r\nBcc: x"});
  ts.st.Report(0, event::ResultLogRestored{"STAT.TXT", 3});
  EXPECT_EQ((std::vector<std::string>{"result-log-failed file=STAT.TXT reason=No space  Bcc: x",
                                      "result-log-restored file=STAT.TXT records=3"}),
            NewRuns());

  // A day later: 001's OK is older than the period, and 007, told at t0, is
  // told again once its own period is over.
  ts.clock.Advance((t0 + 24 * 3600 - ts.clock.NowSeconds()) * 1000 - 20000);
  Pass(10000);
  EXPECT_EQ(0u, NewRuns().size());
  Pass(25000);
  EXPECT_EQ((std::vector<std::string>{"handheld-overdue handheld=007 last_ok=never hours=24"}),
            NewRuns());
  ts.clock.Advance((ok_at + 24 * 3600 - ts.clock.NowSeconds()) * 1000);
  Pass(11000);
  EXPECT_EQ((std::vector<std::string>{
                "handheld-overdue handheld=001 last_ok=" + LocalIso8601(ok_at) + " hours=24"}),
            NewRuns());
  Pass(3600 * 1000);
  EXPECT_EQ(0u, NewRuns().size());
  EXPECT_EQ(0u, Logged().size());
}

TEST_F(AlertsTest, AProgramThatCannotBeRunIsLoggedOncePerOutage) {
  Pass(100);  // the two overdue handhelds
  ts.launcher.run_error = "/opt/alert: No such file or directory";
  ts.st.Report(0, event::ResultLogFailed{"STAT.TXT", "No space left on device"});
  SilentExchange("007");
  EXPECT_EQ(4u, ts.launcher.runs.size());  // each alert was tried
  ASSERT_EQ(1u, Logged().size());
  EXPECT_NE(std::string::npos, Logged()[0].find("/opt/alert: No such file or directory"));
  ts.launcher.run_error.clear();
  ts.st.Report(0, event::ResultLogRestored{"STAT.TXT", 1});
  ts.launcher.run_error = "/opt/alert: Permission denied";
  ts.st.Report(0, event::ResultLogFailed{"STAT.TXT", "No space left on device"});
  ts.st.Report(0, event::ResultLogFailed{"STAT.TXT", "No space left on device"});
  ASSERT_EQ(2u, Logged().size());
  EXPECT_NE(std::string::npos, Logged()[1].find("Permission denied"));
}

}  // namespace
}  // namespace kavelin2::office
