// An upload is stored exactly once where the handheld's retries could store
// it twice, and an upload the disk does not take ends the exchange at once
// with the system's reason, acknowledging nothing that is not stored.
#include <algorithm>
#include <cerrno>
#include <set>
#include <string>

#include "exchange/supervision.h"
#include "exchange/upload_fixture.h"
#include "testing/fake_file_system.h"

namespace kavelin2 {
namespace {

const std::string kOld = "old";
const std::string kRecords = "NEWREC";

// A station on |fs| with APPEND |append|.
struct FakeDiskStation : UploadStation {
  FakeDiskStation(FakeFileSystem& fs, char append) : UploadStation(&fs) {
    st.Options.APPEND = append;
  }

  // The two records of |records| under |name| on line |i| + 1, up to their
  // EOT; the station's answers to the whole upload.
  Bytes UploadRecords(const std::string& name = "CDE.001", const std::string& records = kRecords,
                      int i = 0) {
    Answers(i);
    Bytes answers = OpenFile(name, "00002", {"03"}, i);
    Send(DataFrame(1, records.substr(0, 3)), i);
    Send(DataFrame(2, records.substr(3, 3)), i);
    Send({EOT}, i);
    Bytes rest = Answers(i);
    answers.insert(answers.end(), rest.begin(), rest.end());
    return answers;
  }

  std::vector<std::string> Journal() { return Commands("JOURNAL,"); }
  // The last summary line of line 1's exchanges, "" when none.
  std::string Summary() {
    std::string last;
    for (const std::string& l : Journal())
      if (l.rfind("JOURNAL,Ligne 1, portable", 0) == 0) last = l;
    return last;
  }
};

std::set<std::string> Received(FakeFileSystem& fs) {
  std::vector<std::string> names;
  fs.ListDirectory("RECU", &names);
  return {names.begin(), names.end()};
}

// The handheld lost the ACK of its end of file and sends EOT again: the
// station acknowledges it again and stores nothing twice, with both APPEND
// values; an EOT that repeats nothing stays unanswered.
TEST(RepeatedEndOfFile, IsAcknowledgedAgainAndStoresNothingTwice) {
  for (char append : {'N', 'O'}) {
    SCOPED_TRACE(std::string("APPEND ") + append);
    FakeFileSystem fs;
    fs.PutDurably("RECU/CDE.001", kOld);
    FakeDiskStation s(fs, append);
    // No file accepted yet in this exchange: nothing to repeat.
    s.Send({EOT});
    EXPECT_TRUE(s.Answers().empty());

    Bytes answers = s.UploadRecords();
    ASSERT_FALSE(answers.empty());
    EXPECT_EQ(ACK, answers.back());
    const std::string stored = append == 'O' ? kOld + kRecords : kRecords;
    EXPECT_EQ(stored, fs.Contents("RECU/CDE.001"));
    const int writes = fs.Calls(FsOp::kWrite);
    for (int again = 0; again < 3; ++again) {
      s.Send({EOT});
      EXPECT_EQ(Bytes{ACK}, s.Answers());
    }
    EXPECT_EQ(writes, fs.Calls(FsOp::kWrite));  // nothing written for a repeat
    EXPECT_EQ(stored, fs.Contents("RECU/CDE.001"));
    EXPECT_EQ(std::set<std::string>{"CDE.001"}, Received(fs)) << fs.Describe();
    EXPECT_EQ('2', s.line().LineState);
    EXPECT_EQ('0', s.line().LinePhase);  // the exchange goes on

    // The next file of the exchange ends the repeats: an EOT before its
    // blocks is refused as ever, and an EOT after its own acceptance repeats it.
    s.OpenFile("CDE.002", "00001", {"03"});
    s.Send({EOT});
    EXPECT_EQ(Bytes{NAK}, s.Answers());
    s.Send(DataFrame(1, "two"));
    s.Send({EOT});
    s.Send({EOT});
    EXPECT_EQ((Bytes{ACK, ACK, ACK}), s.Answers());
    EXPECT_EQ("two", fs.Contents("RECU/CDE.002"));

    // After the exchange ended (time-outs), an EOT opens nothing.
    for (int t = 0; t < 11 && s.line().LinePhase != '2'; ++t) HandleTimeout(s.st, s.line());
    ASSERT_EQ('2', s.line().LinePhase);
    s.Answers();
    s.Send({EOT});
    EXPECT_TRUE(s.Answers().empty());
    EXPECT_EQ(stored, fs.Contents("RECU/CDE.001"));
  }
}

// What a crash may leave of an appending upload whose ACK may not have gone
// out, laid out on the disk: recovery at going on line finishes it, and the
// handheld then sends an upload again. Only the same upload (name, size and
// bytes) as the first on the line is kept aside; anything else is appended.
struct RepeatCase {
  const char* what;
  const char* target;   // RECU/CDE.001 before recovery; nullptr: none
  const char* pending;  // RECU/AJOUTFIC.1; nullptr: gone already
  const char* intent;
  const char* recovered;       // RECU/CDE.001 after recovery
  bool after_restart;          // recovery at going on line, or before a header
  const char* name;            // the upload that comes next
  const char* records;         // its six bytes
  const char* expected;        // RECU/CDE.001 after it
  const char* expected_other;  // RECU/CDE.002 after it, nullptr: none
  bool kept;                   // the upload is in RECU/CDE.001.1.0001
};

const RepeatCase kRepeatCases[] = {
    {"same upload again after the intent was finished", "old", "NEWREC", "CDE.001\n3\n6\n",
     "oldNEWREC", true, "CDE.001", "NEWREC", "oldNEWREC", nullptr, true},
    {"same upload again after a merge cut halfway", "oldNE", "NEWREC", "CDE.001\n3\n6\n",
     "oldNEWREC", true, "CDE.001", "NEWREC", "oldNEWREC", nullptr, true},
    {"same upload again after the pending file went", "oldNEWREC", nullptr, "CDE.001\n3\n6\n",
     "oldNEWREC", true, "CDE.001", "NEWREC", "oldNEWREC", nullptr, true},
    {"same first upload of a name again", nullptr, "NEWREC", "CDE.001\n-1\n6\n", "NEWREC", true,
     "CDE.001", "NEWREC", "NEWREC", nullptr, true},
    {"same first upload of a name again, renamed already", "NEWREC", nullptr, "CDE.001\n-1\n6\n",
     "NEWREC", true, "CDE.001", "NEWREC", "NEWREC", nullptr, true},
    {"other bytes of the same size", "old", "NEWREC", "CDE.001\n3\n6\n", "oldNEWREC", true,
     "CDE.001", "NEWREX", "oldNEWRECNEWREX", nullptr, false},
    {"another name", "old", "NEWREC", "CDE.001\n3\n6\n", "oldNEWREC", true, "CDE.002", "NEWREC",
     "oldNEWREC", "NEWREC", false},
    {"recovery before a header: the ACK had gone out", "old", "NEWREC", "CDE.001\n3\n6\n",
     "oldNEWREC", false, "CDE.001", "NEWREC", "oldNEWRECNEWREC", nullptr, false},
};

class RepeatAfterRestart : public ::testing::TestWithParam<RepeatCase> {};

TEST_P(RepeatAfterRestart, IsKeptAsideOnceAndOnlyTheFirstUploadDecides) {
  const RepeatCase& c = GetParam();
  FakeFileSystem fs;
  if (c.target != nullptr) fs.PutDurably("RECU/CDE.001", c.target);
  if (c.pending != nullptr) fs.PutDurably("RECU/AJOUTFIC.1", c.pending);
  fs.PutDurably("RECU/..AJOUTFIC.1", c.intent);
  {
    FakeDiskStation s(fs, 'O');
    ASSERT_TRUE(RecoverLineFiles(s.st, 1, c.after_restart));
    // Line 2 has nothing to do with line 1's record.
    ASSERT_TRUE(RecoverLineFiles(s.st, 2, true));
  }
  // What recovery completed survives a power cut before the next upload.
  fs.CutPower();
  {
    FakeDiskStation s(fs, 'O');
    ASSERT_TRUE(RecoverLineFiles(s.st, 1, c.after_restart));  // gone on line again
    EXPECT_EQ(c.recovered, fs.Contents("RECU/CDE.001"));
    // The same upload on line 2 is not line 1's repeat: it is appended.
    EXPECT_EQ(ACK, s.UploadRecords("CDE.003", kRecords, 1).back());

    Bytes answers = s.UploadRecords(c.name, c.records);
    ASSERT_FALSE(answers.empty());
    EXPECT_EQ(ACK, answers.back()) << fs.Describe();
    EXPECT_EQ(c.expected, fs.Contents("RECU/CDE.001")) << fs.Describe();
    std::set<std::string> expected = {"CDE.001", "CDE.003"};
    if (c.expected_other != nullptr) {
      expected.insert("CDE.002");
      EXPECT_EQ(c.expected_other, fs.Contents("RECU/CDE.002"));
    }
    std::vector<std::string> warnings;
    for (const std::string& l : s.Journal())
      if (l.find("ATTENTION") != std::string::npos) warnings.push_back(l);
    if (c.kept) {
      expected.insert("CDE.001.1.0001");
      EXPECT_EQ(c.records, fs.Contents("RECU/CDE.001.1.0001"));
      ASSERT_EQ(1u, warnings.size());
      EXPECT_NE(std::string::npos, warnings[0].find("CDE.001.1.0001")) << warnings[0];
      EXPECT_EQ(1u, s.Commands("AFFICHE, FICHIER,1=CDE.001.1.0001").size());
    } else {
      EXPECT_TRUE(warnings.empty()) << warnings[0];
    }
    EXPECT_EQ(expected, Received(fs)) << fs.Describe();

    // The first upload decided: the same bytes once more are appended.
    const std::string before = *fs.Contents("RECU/CDE.001");
    EXPECT_EQ(ACK, s.UploadRecords("CDE.001", c.records).back());
    EXPECT_EQ(before + c.records, fs.Contents("RECU/CDE.001"));
  }
}

INSTANTIATE_TEST_SUITE_P(EachCase, RepeatAfterRestart, ::testing::ValuesIn(kRepeatCases),
                         [](const ::testing::TestParamInfo<RepeatCase>& info) {
                           std::string name;
                           for (const char* p = info.param.what; *p; ++p)
                             if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                           return name;
                         });

// A full disk under each write and sync of an upload, in turn and from then
// on: with APPEND 'N', with 'O' onto an existing target (a merge), and with
// 'O' and no target. The handheld never has an ACK for what is not stored;
// an upload that is not stored ends the exchange at once (EOT) with the
// system's reason on the summary line and the last-exchange row; nothing
// partial stands under a final name; once there is room again the next
// exchange stores the upload.
struct DiskCase {
  const char* what;
  char append;
  const char* target;  // before, nullptr: none
  const char* stored;  // the target once the upload is stored
};

const DiskCase kDiskCases[] = {
    {"replacing upload", 'N', "old", "NEWREC"},
    {"merge onto an existing target", 'O', "old", "oldNEWREC"},
    {"appending upload without a target", 'O', nullptr, "NEWREC"},
};

struct Walk {
  int ended_at_once = 0;  // not stored: EOT and the reason
  int acked = 0;          // stored in the target
  int kept_aside = 0;     // acknowledged, stored aside with a warning
  int replaced_unacknowledged = 0;
};

void PutTarget(FakeFileSystem& fs, const DiskCase& c) {
  fs.MakeDirectoriesDurably("RECU");
  if (c.target != nullptr) fs.PutDurably("RECU/CDE.001", c.target);
}

TEST(FullDisk, EveryWriteAndSyncOfAnUploadAcknowledgesOnlyWhatIsStored) {
  for (const DiskCase& c : kDiskCases) {
    SCOPED_TRACE(c.what);
    // The calls of each kind a whole upload makes, its merge included.
    int calls[kFsOpCount] = {};
    {
      FakeFileSystem fs;
      PutTarget(fs, c);
      FakeDiskStation s(fs, c.append);
      int before[kFsOpCount];
      for (int op = 0; op < kFsOpCount; ++op) before[op] = fs.Calls(static_cast<FsOp>(op));
      ASSERT_EQ(ACK, s.UploadRecords().back());
      ASSERT_EQ(c.stored, fs.Contents("RECU/CDE.001"));
      for (int op = 0; op < kFsOpCount; ++op)
        calls[op] = fs.Calls(static_cast<FsOp>(op)) - before[op];
    }
    Walk walk;
    int points = 0;
    for (FsOp op : {FsOp::kCreate, FsOp::kWrite, FsOp::kSync, FsOp::kSyncDirectory}) {
      ASSERT_GT(calls[static_cast<int>(op)], 0) << FsOpName(op);
      for (int nth = 1; nth <= calls[static_cast<int>(op)]; ++nth) {
        SCOPED_TRACE(std::string("no space from ") + FsOpName(op) + " " + std::to_string(nth));
        ++points;
        FakeFileSystem fs;
        PutTarget(fs, c);
        FakeDiskStation s(fs, c.append);
        fs.FailFrom(op, nth, ENOSPC);
        Bytes answers = s.UploadRecords();
        ASSERT_FALSE(answers.empty());
        std::set<std::string> names = Received(fs);
        const std::string target = fs.Contents("RECU/CDE.001").value_or("<none>");
        if (answers.back() == ACK) {
          // Acknowledged: stored in the target, or kept aside whole and said.
          EXPECT_EQ(std::count(answers.begin(), answers.end(), EOT), 0);
          if (target == c.stored) {
            ++walk.acked;
          } else {
            ++walk.kept_aside;
            EXPECT_EQ(c.target != nullptr ? c.target : "<none>", target);
            EXPECT_EQ("NEWREC", fs.Contents("RECU/CDE.001.1.0001").value_or("")) << fs.Describe();
            EXPECT_EQ(1u, s.Commands("AFFICHE, ETAT,1=AJOUT IMPOSSIBLE").size());
          }
        } else {
          // Not stored: the exchange ended at once, with the disk's reason.
          ++walk.ended_at_once;
          EXPECT_EQ(EOT, answers.back());
          EXPECT_EQ('2', s.line().LinePhase);
          EXPECT_STREQ("ER", s.line().LastResult);
          EXPECT_NE(nullptr, std::strstr(s.line().LastReason, "No space left on device"))
              << s.line().LastReason;
          const std::string summary = s.Summary();
          EXPECT_NE(std::string::npos, summary.find(": ER (fichier recu non enregistre "
                                                    "(No space left on device))"))
              << summary;
          // The target is as it was, or, when only the sync of a replacing
          // rename failed, the whole new upload (which its resend replaces
          // with the same bytes): never part of one.
          if (c.append == 'N' && target == c.stored) {
            ++walk.replaced_unacknowledged;
          } else {
            EXPECT_EQ(c.target != nullptr ? c.target : "<none>", target) << fs.Describe();
          }
          std::set<std::string> before;
          if (c.target != nullptr || target == c.stored) before.insert("CDE.001");
          EXPECT_EQ(before, names) << fs.Describe();
        }
        // Room again: the handheld's next exchange stores its upload.
        fs.ClearFaults();
        FakeDiskStation next(fs, c.append);
        ASSERT_TRUE(RecoverLineFiles(next.st, 1, true));
        if (answers.back() != ACK) {
          EXPECT_EQ(ACK, next.UploadRecords().back()) << fs.Describe();
          EXPECT_EQ(c.stored, fs.Contents("RECU/CDE.001")) << fs.Describe();
        }
        names = Received(fs);
        names.erase("CDE.001");
        names.erase("CDE.001.1.0001");
        // An acknowledged upload that recovery finished is remembered.
        if (answers.back() == ACK) names.erase("..AJOUTFIC.1.done");
        EXPECT_TRUE(names.empty()) << fs.Describe();
      }
    }
    ::testing::Test::RecordProperty(std::string("full_disk_points_") + c.append, points);
    // Each way an upload ends under a full disk was walked.
    EXPECT_GT(walk.ended_at_once, 0);
    EXPECT_LE(walk.replaced_unacknowledged, 1);
    if (c.append == 'O') {
      // The merge follows the ACK: faults there keep the upload, or (once the
      // records stand in the target) leave it there.
      EXPECT_GT(walk.acked, 0);
      if (c.target != nullptr) {
        EXPECT_GT(walk.kept_aside, 0);
      }
    } else {
      EXPECT_EQ(0, walk.acked + walk.kept_aside);  // every write and sync comes before its ACK
    }
    ::testing::Test::RecordProperty(std::string("full_disk_ended_") + c.append, walk.ended_at_once);
  }
}

// A received-files directory that does not take new files (read-only, full)
// ends the exchange at its header, with the reason, instead of refusing the
// header again and again until the time-outs end it.
TEST(FullDisk, AHeaderThatCannotCreateItsFileEndsTheExchangeWithTheReason) {
  for (int code : {EROFS, ENOSPC, EACCES}) {
    SCOPED_TRACE(code);
    FakeFileSystem fs;
    fs.MakeDirectoriesDurably("RECU");
    FakeDiskStation s(fs, 'N');
    fs.FailFrom(FsOp::kCreate, 1, code);
    EXPECT_EQ((Bytes{ACK, EOT}), s.OpenFile("CDE.001", "00002", {"03"}));
    EXPECT_STREQ("ER", s.line().LastResult);
    EXPECT_NE(nullptr, std::strstr(s.line().LastReason, FsCodeText(code).c_str()))
        << s.line().LastReason;
    const std::string summary = s.Summary();
    EXPECT_NE(std::string::npos, summary.find(FsCodeText(code))) << summary;
    EXPECT_TRUE(Received(fs).empty());
  }
}

}  // namespace
}  // namespace kavelin2
