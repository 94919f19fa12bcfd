// The office view fed by whole exchanges through the dispatcher, with the
// station's own consumers before it: what it keeps, what it writes in its
// journal and what it finds again after a restart.
#include "office/office_view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "exchange/download_fixture.h"
#include "journal/exchange_log.h"
#include "office/history.h"
#include "office/render.h"

namespace kavelin2::office {
namespace {

class OfficeViewTest : public DownloadFixture {
 protected:
  OfficeViewTest() {
    // The fake clock's local time is UTC: so is the view's reading of the
    // result log's local times.
    setenv("TZ", "UTC", 1);
    tzset();
    ts.st.Ports.line[0].ACTIVE = 'O';
    ts.st.Ports.line[1].ACTIVE = 'N';
    WriteFile("tables/TABLE.001", "ARTICLES.DAT 64\r\n");
    WriteFile("tables/TABLE.007", "ARTICLES.DAT 64\r\n");
    std::string text;
    for (char c : {'a', 'b', 'c'}) text += std::string(64, c) + "\r\n";
    WriteFile("trans/ARTICLES.DAT", text);
  }

  // The station's consumers, then the view, as a station on line has them.
  void StartView() {
    ts.st.consumers.clear();
    ts.st.consumers.push_back(NewResultLog(ts.st));
    ts.st.consumers.push_back(NewExchangeJournal(ts.st));
    ViewOptions options;
    options.publish_interval_ms = 0;
    options.on_happening = [this](const Happening& h) { happenings.push_back(h); };
    ts.st.consumers.push_back(std::make_unique<OfficeView>(ts.st, store, options));
  }

  std::string Handheld(const std::string& bytes) {
    line.ArriveNow(bytes);
    uint8_t b;
    while (PollByte(L(), &b)) {
      L().LineDeadline = Deadline::After(ts.clock.NowMs(), kSilenceMs);
      DispatchControlByte(ts.st, L(), b);
    }
    return Sent();
  }
  static std::string F(uint8_t lead, const std::string& body) { return Frame(lead, body); }
  static std::string Id(const std::string& id) {
    return Byte(RS) + id + static_cast<char>(id[0] ^ id[1] ^ id[2]);
  }

  // Handheld 001 uploads COMMANDE.001 (2 records of 15 bytes), then gets its
  // table; the view is looked at in the middle of the upload.
  void CompleteExchange(LiveLine* during_upload = nullptr) {
    Handheld(Byte(ENQ));
    Handheld(F(SOH, "COMMANDE.00100002021005"));
    Handheld(F(STX, "00001" + std::string(15, 'x')));
    ts.st.ReportPass();
    if (during_upload != nullptr) *during_upload = store->Current()->lines[0];
    Handheld(F(STX, "00002" + std::string(15, 'y')));
    Handheld(Byte(EOT));
    Handheld(Id("001"));
    for (int i = 0; i < 20 && L().LinePhase != kPhaseNone; ++i) Handheld(Byte(ACK));
    ts.st.ReportPass();
  }

  // Handheld 007 names itself and then stays silent: eleven time-outs.
  void SilentExchange() {
    Handheld(Id("007"));
    for (int i = 0; i < 20 && L().LinePhase != kPhaseNone; ++i) {
      ts.clock.Advance(kSilenceMs + 1);
      HandleTimeout(ts.st, L());
    }
  }

  std::shared_ptr<SnapshotStore> store = std::make_shared<SnapshotStore>();
  std::vector<Happening> happenings;
};

TEST_F(OfficeViewTest, KeepsLinesExchangesHandheldsAndCountersFromTheEvents) {
  StartView();
  LiveLine during;
  CompleteExchange(&during);
  EXPECT_EQ("upload", during.state);
  EXPECT_EQ("COMMANDE.001", during.file);
  EXPECT_EQ(1, during.done);
  EXPECT_EQ(2, during.total);
  EXPECT_TRUE(during.connected);

  ts.clock.Advance(3600 * 1000);
  SilentExchange();
  ts.st.ReportPass();

  auto s = store->Current();
  EXPECT_EQ("idle", s->lines[0].state);
  EXPECT_EQ("off", s->lines[1].state);
  EXPECT_EQ("TO", s->lines[0].last_result);
  ASSERT_EQ(2u, s->history->recent.size());
  const ExchangeRecord& ok = s->history->recent[0];
  EXPECT_EQ("OK", ok.result);
  EXPECT_EQ("001", ok.handheld);
  EXPECT_EQ(1, ok.line);
  ASSERT_EQ(1u, ok.received.size());
  EXPECT_EQ("COMMANDE.001", ok.received[0].name);
  EXPECT_EQ(2, ok.received[0].records);
  EXPECT_EQ(30, ok.received[0].bytes);
  ASSERT_EQ(1u, ok.sent.size());
  EXPECT_EQ("ARTICLES.DAT", ok.sent[0].name);
  EXPECT_EQ(3, ok.sent[0].records);
  const ExchangeRecord& to = s->history->recent[1];
  EXPECT_EQ("TO", to.result);
  EXPECT_EQ("007", to.handheld);
  EXPECT_EQ(ts.st.LineTable[0].LastReason, to.reason);
  EXPECT_FALSE(to.reason.empty());
  EXPECT_GT(to.start, ok.start);

  const HandheldRecord& h1 = s->history->handhelds.at("001");
  EXPECT_EQ(ok.start, h1.last_ok);
  EXPECT_EQ(0, h1.last_failure);
  const HandheldRecord& h7 = s->history->handhelds.at("007");
  EXPECT_EQ(0, h7.last_ok);
  EXPECT_EQ(to.start, h7.last_failure);
  EXPECT_EQ("TO", h7.last_failure_result);
  EXPECT_EQ(to.reason, h7.last_failure_reason);

  EXPECT_EQ(1, s->counters.exchanges[0][0]);
  EXPECT_EQ(1, s->counters.exchanges[0][1]);
  EXPECT_EQ(2, s->counters.records_received);
  EXPECT_EQ(30, s->counters.bytes_received);
  EXPECT_EQ(3, s->counters.records_sent);
  EXPECT_EQ(192, s->counters.bytes_sent);
  ASSERT_EQ(1u, happenings.size());
  EXPECT_EQ(Happening::Kind::kExchangeFailed, happenings[0].kind);
  EXPECT_EQ("007", happenings[0].handheld);

  // Both handhelds have a table; 007 never had an OK and is overdue, 001 is
  // overdue only once its OK is older than the period.
  Facts f = GatherFacts(*s, ok.start + 3600, 24);
  ASSERT_EQ(2u, f.handhelds.size());
  EXPECT_FALSE(f.handhelds[0].overdue);
  EXPECT_TRUE(f.handhelds[1].overdue);
  EXPECT_TRUE(GatherFacts(*s, ok.start + 25 * 3600, 24).handhelds[0].overdue);
}

// An exchange that skips thousands of entries keeps as many warnings as the
// log writes in full, then their count; the next exchange starts afresh.
TEST_F(OfficeViewTest, WarningsOfAnExchangeAreBoundedAndCounted) {
  std::string table;
  for (int i = 0; i < 2000; ++i) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "M%07d.DAT 64\r\n", i);
    table += entry;
  }
  WriteFile("tables/TABLE.001", table + "ARTICLES.DAT 64\r\n");
  StartView();
  CompleteExchange();
  WriteFile("tables/TABLE.001", "M0000001.DAT 64\r\nARTICLES.DAT 64\r\n");
  CompleteExchange();
  auto s = store->Current();
  ASSERT_EQ(2u, s->history->recent.size());
  const auto& w = s->history->recent[0].warnings;
  ASSERT_EQ(static_cast<size_t>(kWarningsToldInFull) + 1, w.size());
  EXPECT_NE(std::string::npos, w[0].find("'M0000000.DAT' skipped: missing file")) << w[0];
  EXPECT_NE(std::string::npos, w[9].find("'M0000009.DAT'")) << w[9];
  EXPECT_EQ("and 1990 more warnings", w.back());
  EXPECT_EQ(1u, s->history->recent[1].warnings.size());
  EXPECT_EQ("OK", s->history->recent[1].result);
}

TEST_F(OfficeViewTest, HistorySurvivesARestartAndADeletedResultLog) {
  // An exchange from before the journal existed, in the result log only.
  WriteFile("STAT.TXT", "ER 005 2 05/12/26 08:00:00 00.00'07\r\n");
  StartView();
  CompleteExchange();
  SilentExchange();
  ASSERT_EQ(3u * 37u, ReadFile("STAT.TXT").size());
  const std::string journal = ReadFile(kJournalFileName);
  EXPECT_EQ(2, std::count(journal.begin(), journal.end(), '\n'));

  // Restarted: both logs merge, each exchange once, the old one included.
  StartView();
  auto s = store->Current();
  ASSERT_EQ(3u, s->history->recent.size());
  EXPECT_EQ("005", s->history->recent[0].handheld);
  EXPECT_TRUE(s->history->recent[0].result_log_only);
  EXPECT_EQ(7, s->history->recent[0].duration_s);
  EXPECT_EQ("ARTICLES.DAT", s->history->recent[1].sent.at(0).name);
  EXPECT_EQ("TO", s->history->recent[2].result);
  EXPECT_FALSE(s->history->recent[2].reason.empty());

  // Restarted without STAT.TXT: the journal still holds what it wrote.
  std::remove("STAT.TXT");
  StartView();
  s = store->Current();
  ASSERT_EQ(2u, s->history->recent.size());
  EXPECT_EQ("COMMANDE.001", s->history->recent[0].received.at(0).name);
  EXPECT_EQ("007", s->history->recent[1].handheld);
  EXPECT_EQ(s->history->recent[1].start, s->history->handhelds.at("007").last_failure);
  // The result log is never written by the view: STAT.TXT stays deleted.
  EXPECT_FALSE(FileExists("STAT.TXT"));
}

TEST(JournalFileTest, RotatesBySizeKeepingAFewFilesAndSkipsTornLines) {
  ScopedTempDir dir;
  auto fs = NewPlatformFileSystem();
  JournalFile journal(*fs, "J.JSONL", 300, 2);
  for (int i = 0; i < 12; ++i) {
    ExchangeRecord r;
    r.start = 1000 + i;
    r.line = 1;
    r.handheld = "001";
    r.result = "OK";
    r.warnings = {"w" + std::to_string(i)};
    std::string error;
    ASSERT_TRUE(journal.Append(r, &error)) << error;
  }
  EXPECT_TRUE(FileExists("J.JSONL.1"));
  EXPECT_TRUE(FileExists("J.JSONL.2"));
  EXPECT_FALSE(FileExists("J.JSONL.3"));
  // A line torn by a crash is skipped; the others are read in order.
  WriteFile("J.JSONL", ReadFile("J.JSONL") + "{\"start\":12");
  int skipped = 0;
  auto all = journal.ReadAll(&skipped);
  EXPECT_EQ(1, skipped);
  ASSERT_FALSE(all.empty());
  EXPECT_LT(all.size(), 12u);
  EXPECT_EQ(1011, all.back().start);
  for (size_t i = 1; i < all.size(); ++i) EXPECT_EQ(all[i - 1].start + 1, all[i].start);
}

}  // namespace
}  // namespace kavelin2::office
