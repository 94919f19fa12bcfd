// The result log through full, read-only and failing disks: every record
// kept, in order, whole, written as soon as the file takes it again, the
// outage told once, shown in the service status and handed over at a stop.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include "journal/exchange_log.h"
#include "online/service_notify.h"
#include "station/station.h"
#include "testing/fake_file_system.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

// What the result log reports about itself.
class OutageEvents : public EventSink {
 public:
  void OnEvent(const Event& e) override {
    if (const auto* failed = std::get_if<event::ResultLogFailed>(&e.body)) {
      told.push_back("failed " + failed->file + ": " + failed->reason);
    } else if (const auto* back = std::get_if<event::ResultLogRestored>(&e.body)) {
      told.push_back("restored " + back->file + " " + std::to_string(back->records));
    }
  }
  std::vector<std::string> told;
};

struct Rig {
  explicit Rig(std::vector<std::string>* at_stop = nullptr) : ts(&fs) {
    ts.UseDefaultSettings();
    std::snprintf(ts.st.CurrentLanguage, sizeof ts.st.CurrentLanguage, "Anglais");
    // The station's own consumers, its result log handing over to the test.
    ts.st.consumers.clear();
    ts.st.consumers.push_back(NewResultLog(ts.st, [at_stop](const std::string& text) {
      if (at_stop != nullptr) at_stop->push_back(text);
    }));
    ts.st.consumers.push_back(NewExchangeJournal(ts.st));
    auto sink = std::make_unique<OutageEvents>();
    events = sink.get();
    ts.st.consumers.push_back(std::move(sink));
  }

  // The exchange number |n| of line 1 ends with a record of its own: its
  // handheld is "0nn", so the records can be told apart.
  std::string EndExchange(int n) {
    LineEntry& line = ts.st.LineTable[0];
    const std::string id = std::to_string(100 + n % 100).substr(1);  // "001"..."099"
    const std::string time = "09:15:" + std::to_string(10 + n % 50);
    std::memcpy(line.HandheldId, ("0" + id).substr(0, 3).c_str(), 4);
    std::memcpy(line.ExchangeDate, "12/06/26", 9);
    std::memcpy(line.ExchangeTime, time.c_str(), 9);
    ts.st.Report(0, event::ExchangeEnded{ExchangeResult::kOk, FailWhy::kNone, "", 1});
    return "OK " + ("0" + id).substr(0, 3) + " 1 06/12/26 " + time + " 00.00'01\r\n";
  }

  std::vector<std::string> LogLines(const std::string& part) const {
    std::vector<std::string> found;
    for (const std::string& c : ts.ui->CommandsStartingWith("JOURNAL,"))
      if (c.find(part) != std::string::npos) found.push_back(c);
    return found;
  }

  FakeFileSystem fs;
  TestStation ts;
  OutageEvents* events = nullptr;
};

struct FaultCase {
  const char* what;
  FsOp op;
  int code;
  size_t written;  // a write that goes through in part first
};

const FaultCase kFaults[] = {
    {"create refused, read-only", FsOp::kCreate, EROFS, 0},
    {"write, full disk, half a record through", FsOp::kWrite, ENOSPC, 20},
    {"write, read-only", FsOp::kWrite, EROFS, 0},
    {"file sync, full disk", FsOp::kSync, ENOSPC, 0},
    {"file sync, read-only", FsOp::kSync, EROFS, 0},
    {"directory sync of the new log", FsOp::kSyncDirectory, ENOSPC, 0},
    {"size, failing disk", FsOp::kSize, EIO, 0},
};

// For each point of the append that can fail, and from the very first
// record (the log's creation) or from a later one: the records of the
// outage wait, STAT.TXT holds whole records only, never one twice; the
// outage is told once in the log and shown by the service status; when the
// disk takes records again the timer writes them all, in order, and a power
// cut then keeps every one of them.
TEST(ResultLog, EveryFaultOfTheAppendKeepsTheRecordsInOrderUntilTheFileTakesThemAgain) {
  for (const FaultCase& fault : kFaults) {
    for (int first_failing : {1, 3}) {
      SCOPED_TRACE(std::string(fault.what) + ", from record " + std::to_string(first_failing));
      Rig rig;
      std::string all;
      int n = 1;
      for (; n < first_failing; ++n) all += rig.EndExchange(n);
      ASSERT_EQ(all, rig.fs.Contents("STAT.TXT").value_or(""));
      // The directory sync only comes with the log's creation.
      if (fault.op == FsOp::kSyncDirectory && first_failing > 1) continue;
      rig.fs.Inject({fault.op, 1, fault.code, true, fault.written});
      for (int k = 0; k < 4; ++k, ++n) {
        all += rig.EndExchange(n);
        rig.ts.clock.Advance(11000);  // the timer tries again and fails again
        rig.ts.st.ReportPass();
      }
      const std::string during = rig.fs.Contents("STAT.TXT").value_or("");
      EXPECT_EQ(0u, during.size() % 37) << during;
      EXPECT_EQ(all.substr(0, during.size()), during);
      EXPECT_LT(during.size(), all.size());
      EXPECT_EQ(4, rig.ts.st.ResultLogWriteErrors);
      ASSERT_EQ(1u, rig.events->told.size());
      EXPECT_EQ(0u, rig.events->told[0].rfind("failed STAT.TXT: ", 0)) << rig.events->told[0];
      const std::string reason = rig.events->told[0].substr(17);
      EXPECT_NE(std::string::npos, reason.find(FsCodeText(fault.code))) << reason;
      EXPECT_EQ(1u, rig.LogLines("STAT.TXT cannot be written: " + reason).size());
      const std::string status = ServiceStatusLine(rig.ts.st);
      EXPECT_NE(std::string::npos, status.find("; STAT.TXT not written (4 records waiting): "))
          << status;

      // Space is back: within the timer's 10 s, without a new exchange.
      rig.fs.ClearFaults();
      rig.ts.clock.Advance(5000);
      rig.ts.st.ReportPass();
      EXPECT_EQ(during, rig.fs.Contents("STAT.TXT").value_or(""));
      rig.ts.clock.Advance(6000);
      rig.ts.st.ReportPass();
      EXPECT_EQ(all, rig.fs.Contents("STAT.TXT").value_or(""));
      ASSERT_EQ(2u, rig.events->told.size());
      EXPECT_EQ("restored STAT.TXT 4", rig.events->told[1]);
      EXPECT_EQ(1u, rig.LogLines("STAT.TXT written again: 4 waiting records").size());
      EXPECT_EQ(std::string::npos, ServiceStatusLine(rig.ts.st).find("STAT.TXT"));
      // Written and made durable, its name too.
      all += rig.EndExchange(n);
      rig.fs.CutPower();
      EXPECT_EQ(all, rig.fs.Contents("STAT.TXT").value_or(""));
    }
  }
}

// A truncate that fails after a torn write leaves half a record behind: it
// is cut off before the waiting records go in, so none is shifted.
TEST(ResultLog, ATornTailThatCouldNotBeCutAtOnceIsCutBeforeTheNextAppend) {
  Rig rig;
  std::string all = rig.EndExchange(1);
  rig.fs.Inject({FsOp::kWrite, 1, ENOSPC, false, 11});
  rig.fs.FailNth(FsOp::kTruncate, 1, EIO);
  all += rig.EndExchange(2);
  EXPECT_EQ(37u + 11u, rig.fs.Contents("STAT.TXT")->size());
  all += rig.EndExchange(3);
  EXPECT_EQ(all, rig.fs.Contents("STAT.TXT"));
  EXPECT_EQ(1, rig.ts.st.ResultLogWriteErrors);
}

// A station that stops while STAT.TXT and UNLINK.TXT refuse their records
// tries once more, then hands each waiting record, as it stands, to standard
// error after a line that says what they are; a station whose log took
// everything hands over nothing.
TEST(ResultLog, RecordsStillWaitingAtTheStopGoToStandardErrorWhole) {
  std::vector<std::string> handed;
  {
    Rig rig(&handed);
    rig.ts.st.ReportStop();
    EXPECT_TRUE(handed.empty());
  }
  Rig rig(&handed);
  rig.fs.FailFrom(FsOp::kCreate, 1, EROFS);
  const std::string one = rig.EndExchange(1);
  const std::string two = rig.EndExchange(2);
  LineEntry& line = rig.ts.st.LineTable[0];
  std::snprintf(line.RecvFilePath, sizeof line.RecvFilePath, "recu/..RECUFIC.1");
  std::snprintf(line.UploadName, sizeof line.UploadName, "CDE.001");
  rig.ts.st.Report(0, event::UploadLeftOnDisk{"recu/..RECUFIC.1", "CDE.001"});
  ASSERT_EQ(2u, rig.events->told.size());  // each file's outage told once
  EXPECT_NE(std::string::npos, rig.events->told[1].find("failed UNLINK.TXT"));
  rig.ts.st.ReportStop();
  ASSERT_EQ(5u, handed.size());
  EXPECT_EQ(0u, handed[0].rfind("kavelin2: STAT.TXT could not be written (create STAT.TXT: ", 0))
      << handed[0];
  EXPECT_NE(std::string::npos, handed[0].find("; its 2 waiting records follow\n"));
  EXPECT_EQ(one, handed[1]);
  EXPECT_EQ(two, handed[2]);
  EXPECT_EQ(0u, handed[3].rfind("kavelin2: UNLINK.TXT could not be written", 0)) << handed[3];
  EXPECT_EQ(118u, handed[4].size());
  EXPECT_EQ(0u, handed[4].find("002 1 06/12/26 09:15:12 recu/..RECUFIC.1 CDE.001")) << handed[4];

  // Given back its disk just before the stop, the log takes them instead.
  handed.clear();
  Rig back(&handed);
  back.fs.FailFrom(FsOp::kWrite, 1, ENOSPC);
  const std::string three = back.EndExchange(3);
  back.fs.ClearFaults();
  back.ts.st.ReportStop();
  EXPECT_TRUE(handed.empty());
  EXPECT_EQ(three, back.fs.Contents("STAT.TXT"));
}

}  // namespace
}  // namespace kavelin2
