#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "exchange/upload_fixture.h"
#include "testing/fake_file_system.h"

namespace kavelin2 {
namespace {

class AppendReceivedFile : public ProtocolTest {
 protected:
  AppendReceivedFile() { st.Options.APPEND = 'O'; }

  // A whole upload of |records| (all of one width) under |name| on line |i|.
  Bytes Upload(const std::string& name, const std::vector<std::string>& records, int i = 0) {
    char count[8];
    std::snprintf(count, sizeof count, "%05zu", records.size());
    char width[4];
    std::snprintf(width, sizeof width, "%02zu", records.empty() ? 0 : records[0].size());
    OpenFile(name, count, {width}, i);
    for (size_t k = 0; k < records.size(); ++k)
      Send(DataFrame(static_cast<int>(k + 1), records[k]), i);
    Send({EOT}, i);
    return Answers(i);
  }
};

TEST_F(AppendReceivedFile, FirstUploadTakesTheFinalName) {
  Upload("CDE.001", {"aaa", "bbb"});
  EXPECT_EQ("aaabbb", ReadFile("RECU/CDE.001"));
  EXPECT_FALSE(FileExists("RECU/AJOUTFIC.1"));
  EXPECT_STREQ("", line().RecvFilePath);
  auto phases = Commands("AFFICHE, PHASE,1=");
  ASSERT_GE(phases.size(), 2u);
  EXPECT_EQ("AFFICHE, PHASE,1=AJOUT", phases[phases.size() - 2]);
  EXPECT_EQ("AFFICHE, PHASE,1=ATTENTE", phases.back());
}

TEST_F(AppendReceivedFile, SecondUploadOfANameFollowsTheFirst) {
  Upload("CDE.001", {"aaa", "bbb"});
  Bytes answers = Upload("CDE.001", {"ccc"});
  EXPECT_EQ(ACK, answers.back());
  EXPECT_EQ("aaabbbccc", ReadFile("RECU/CDE.001"));
  EXPECT_FALSE(FileExists("RECU/AJOUTFIC.1"));
  EXPECT_FALSE(FileExists("RECU/AJOUTFIC.1.new"));
}

TEST_F(AppendReceivedFile, TheTemporaryFileHoldsTheUploadWhenTheAckLeaves) {
  OpenFile("CDE.001", "00001", {"03"});
  EXPECT_STREQ("RECU/AJOUTFIC.1", line().RecvFilePath);
  Send(DataFrame(1, "xyz"));
  std::string at_ack;
  lines[0]->on_write = [&](FakeLine&, const Bytes& b) {
    if (b == Bytes{ACK}) at_ack = ReadFile("RECU/AJOUTFIC.1");
  };
  Send({EOT});
  EXPECT_EQ("xyz", at_ack);
  EXPECT_EQ("xyz", ReadFile("RECU/CDE.001"));
}

TEST_F(AppendReceivedFile, BothLinesAtOnceUseTheirOwnTemporaryFiles) {
  OpenFile("CDE.001", "00001", {"03"}, 0);
  OpenFile("CDE.001", "00001", {"03"}, 1);
  EXPECT_STREQ("RECU/AJOUTFIC.1", line(0).RecvFilePath);
  EXPECT_STREQ("RECU/AJOUTFIC.2", line(1).RecvFilePath);
  Send(DataFrame(1, "one"), 0);
  Send(DataFrame(1, "two"), 1);
  EXPECT_EQ("one", ReadFile("RECU/AJOUTFIC.1"));
  EXPECT_EQ("two", ReadFile("RECU/AJOUTFIC.2"));
  Send({EOT}, 1);
  Send({EOT}, 0);
  EXPECT_EQ("twoone", ReadFile("RECU/CDE.001"));
  EXPECT_FALSE(FileExists("RECU/AJOUTFIC.1"));
  EXPECT_FALSE(FileExists("RECU/AJOUTFIC.2"));
}

TEST_F(AppendReceivedFile, UploadsNamedLikeATemporaryFileAreRefused) {
  // Line 2 is receiving into its temporary file.
  OpenFile("CDE.002", "00001", {"03"}, 1);
  Send(DataFrame(1, "two"), 1);
  // A name that is a line's temporary file would be appended to itself, or
  // merged with the other line's upload in progress and then emptied by the
  // next header: it is refused.
  for (const char* name : {"AJOUTFIC.1", "AJOUTFIC.2"}) {
    SCOPED_TRACE(name);
    Bytes answers = OpenFile(name, "00001", {"03"});
    EXPECT_EQ((Bytes{ACK, NAK}), answers);
    EXPECT_EQ('0', line().LineState);
    EXPECT_EQ(nullptr, line().DataFile);
    line().LineState = '2';
    line().LinePhase = '2';
  }
  Answers(1);
  Send({EOT}, 1);
  EXPECT_EQ(Bytes{ACK}, Answers(1));
  EXPECT_EQ("two", ReadFile("RECU/CDE.002"));
  EXPECT_FALSE(FileExists("RECU/AJOUTFIC.1"));
  EXPECT_FALSE(FileExists("RECU/AJOUTFIC.2"));
}

TEST_F(AppendReceivedFile, NeitherYesNorNoLeavesTheUploadInTheTemporaryFile) {
  st.Options.APPEND = 'X';
  Upload("CDE.001", {"aaa"});
  EXPECT_EQ("aaa", ReadFile("RECU/AJOUTFIC.1"));
  EXPECT_FALSE(FileExists("RECU/CDE.001"));
  EXPECT_TRUE(Commands("AFFICHE, PHASE,1=AJOUT").empty());
  // The next header on the line empties it again.
  OpenFile("CDE.002", "00001", {"03"});
  EXPECT_EQ("", ReadFile("RECU/AJOUTFIC.1"));
}

TEST_F(AppendReceivedFile, FinalNameThatCannotBeAppendedToKeepsTheUploadAside) {
  ASSERT_EQ(0, ::mkdir("RECU/CDE.001", 0777));  // not a file: cannot be read or replaced
  Bytes answers = Upload("CDE.001", {"aaa", "bbb"});
  EXPECT_EQ(ACK, answers.back());
  EXPECT_FALSE(FileExists("RECU/AJOUTFIC.1"));
  EXPECT_EQ("aaabbb", ReadFile("RECU/CDE.001.1.0001"));
  EXPECT_EQ(1u, Commands("AFFICHE, ETAT,1=AJOUT IMPOSSIBLE").size());
  EXPECT_EQ(1u, Commands("AFFICHE, FICHIER,1=CDE.001.1.0001").size());
  EXPECT_EQ("AFFICHE, PHASE,1=ATTENTE", ts.ui->commands.back());

  // The next upload of the name on the line neither reuses nor removes it.
  Upload("CDE.001", {"ccc"});
  EXPECT_EQ("aaabbb", ReadFile("RECU/CDE.001.1.0001"));
  EXPECT_EQ("ccc", ReadFile("RECU/CDE.001.1.0002"));
}

TEST_F(AppendReceivedFile, FailedCopyLeavesTheFinalFileWhole) {
  std::string earlier(4000, 'e');
  WriteFile("RECU/CDE.001", earlier);
  OpenFile("CDE.001", "00002", {"50"});
  Send(DataFrame(1, std::string(50, 'n')));
  Send(DataFrame(2, std::string(50, 'm')));
  Answers();
  {
    // Room for the copy of the earlier file but not for the new records.
    FileSizeLimit limit(4050);
    Send({EOT});
  }
  EXPECT_EQ(Bytes{ACK}, Answers());
  EXPECT_EQ(earlier, ReadFile("RECU/CDE.001"));
  EXPECT_EQ(std::string(50, 'n') + std::string(50, 'm'), ReadFile("RECU/CDE.001.1.0001"));
  EXPECT_FALSE(FileExists("RECU/AJOUTFIC.1"));
  EXPECT_FALSE(FileExists("RECU/AJOUTFIC.1.new"));
}

// The files of line 1 in the received-files directory as a crash may leave
// them, and what recovery must make of them. Files not listed are absent.
struct CrashState {
  const char* what;
  const char* target;   // RECU/CDE.001 before recovery, nullptr: absent
  const char* pending;  // RECU/AJOUTFIC.1
  const char* intent;   // RECU/..AJOUTFIC.1
  const char* expected_target;
  const char* expected_kept;  // RECU/CDE.001.1.0001
};

const CrashState kCrashStates[] = {
    {"intent written, target untouched", "old", "NEW", "CDE.001\n3\n3\n", "oldNEW", nullptr},
    {"target half appended", "oldN", "NEW", "CDE.001\n3\n3\n", "oldNEW", nullptr},
    {"merge done, pending not removed", "oldNEW", "NEW", "CDE.001\n3\n3\n", "oldNEW", nullptr},
    {"pending removed, intent not", "oldNEW", nullptr, "CDE.001\n3\n3\n", "oldNEW", nullptr},
    {"first upload of the name, before its rename", nullptr, "NEW", "CDE.001\n-1\n3\n", "NEW",
     nullptr},
    {"first upload of the name, after its rename", "NEW", nullptr, "CDE.001\n-1\n3\n", "NEW",
     nullptr},
    {"intent cut short: never acknowledged", "old", "NEW", "CDE.001\n3\n", "old", nullptr},
    {"no intent: an upload cut short", "old", "NE", nullptr, "old", nullptr},
    {"target grew by more than the upload since", "old+more", "NEW", "CDE.001\n3\n3\n", "old+more",
     "NEW"},
    {"target shorter than recorded", "ol", "NEW", "CDE.001\n3\n3\n", "ol", "NEW"},
    {"pending not the recorded size", "old", "NEWER", "CDE.001\n3\n3\n", "old", "NEWER"},
};

class RecoverLineFiles : public AppendReceivedFile,
                         public ::testing::WithParamInterface<CrashState> {};

TEST_P(RecoverLineFiles, LeavesTheAcknowledgedUploadOnceInItsTargetAndNoTemporaryFile) {
  const CrashState& c = GetParam();
  if (c.target) WriteFile("RECU/CDE.001", c.target);
  if (c.pending) WriteFile("RECU/AJOUTFIC.1", c.pending);
  if (c.intent) WriteFile("RECU/..AJOUTFIC.1", c.intent);
  WriteFile("RECU/..RECUFIC.1", "partial of a replacing upload");
  WriteFile("RECU/AJOUTFIC.1.new", "old merged copy");
  // Line 2's files are its own business.
  WriteFile("RECU/AJOUTFIC.2", "two");
  WriteFile("RECU/..AJOUTFIC.2", "CDE.002\n-1\n3\n");

  EXPECT_TRUE(kavelin2::RecoverLineFiles(st, 1));

  EXPECT_EQ(c.expected_target, ReadFile("RECU/CDE.001"));
  std::set<std::string> expected = {"CDE.001", "AJOUTFIC.2", "..AJOUTFIC.2"};
  if (c.expected_kept) {
    expected.insert("CDE.001.1.0001");
    EXPECT_EQ(c.expected_kept, ReadFile("RECU/CDE.001.1.0001"));
    // One warning on the log, naming the upload and where it is kept.
    std::vector<std::string> log = Commands("JOURNAL,");
    ASSERT_EQ(1u, log.size());
    EXPECT_NE(std::string::npos, log[0].find("CDE.001 ")) << log[0];
    EXPECT_NE(std::string::npos, log[0].find("CDE.001.1.0001")) << log[0];
    EXPECT_EQ(1u, Commands("AFFICHE, FICHIER,1=CDE.001.1.0001").size());
  } else {
    EXPECT_TRUE(Commands("JOURNAL").empty());
  }
  EXPECT_EQ(expected, DirEntries("RECU"));

  // Recovering again changes nothing.
  EXPECT_TRUE(kavelin2::RecoverLineFiles(st, 1));
  EXPECT_EQ(c.expected_target, ReadFile("RECU/CDE.001"));
  EXPECT_EQ(expected, DirEntries("RECU"));
}

INSTANTIATE_TEST_SUITE_P(EachCrashState, RecoverLineFiles, ::testing::ValuesIn(kCrashStates),
                         [](const ::testing::TestParamInfo<CrashState>& info) {
                           std::string name;
                           for (const char* p = info.param.what; *p; ++p)
                             if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                           return name;
                         });

TEST_F(AppendReceivedFile, AHeaderFinishesThePendingAppendBeforeItReusesTheTemporaryFile) {
  WriteFile("RECU/CDE.001", "old");
  WriteFile("RECU/AJOUTFIC.1", "NEW");
  WriteFile("RECU/..AJOUTFIC.1", "CDE.001\n3\n3\n");
  // Line 2 takes an upload: line 1's pending append is none of its business.
  Upload("CDE.002", {"two"}, 1);
  EXPECT_EQ("NEW", ReadFile("RECU/AJOUTFIC.1"));
  EXPECT_EQ("old", ReadFile("RECU/CDE.001"));

  Bytes answers = Upload("CDE.001", {"nxt"});
  EXPECT_EQ(ACK, answers.back());
  EXPECT_EQ("oldNEWnxt", ReadFile("RECU/CDE.001"));
  EXPECT_EQ((std::set<std::string>{"CDE.001", "CDE.002"}), DirEntries("RECU"));
}

TEST_F(AppendReceivedFile, TheIntentIsDurableWhenTheAckLeavesAndGoneAfterTheMerge) {
  WriteFile("RECU/CDE.001", "12345");
  OpenFile("CDE.001", "00002", {"03"});
  Send(DataFrame(1, "abc"));
  Send(DataFrame(2, "def"));
  Answers();
  std::string intent_at_ack, target_at_ack;
  lines[0]->on_write = [&](FakeLine&, const Bytes& b) {
    if (b == Bytes{ACK}) {
      intent_at_ack = ReadFile("RECU/..AJOUTFIC.1");
      target_at_ack = ReadFile("RECU/CDE.001");
    }
  };
  Send({EOT});
  EXPECT_EQ(Bytes{ACK}, Answers());
  EXPECT_EQ("CDE.001\n5\n6\n", intent_at_ack);
  EXPECT_EQ("12345", target_at_ack);  // the merge follows the ACK
  EXPECT_EQ("12345abcdef", ReadFile("RECU/CDE.001"));
  EXPECT_EQ(std::set<std::string>{"CDE.001"}, DirEntries("RECU"));
}

// On the in-memory file system: power cut at each file call, failures
// injected. The upload is two records appended to "old".
const std::string kOld = "old";
const std::string kAppended = "oldNEWREC";

// The whole upload on line 1, the handheld's way; true when its end of file
// was acknowledged (the handheld may erase its copy then).
bool UploadTwoRecords(UploadStation& s) {
  s.OpenFile("CDE.001", "00002", {"03"});
  s.Send(DataFrame(1, "NEW"));
  s.Send(DataFrame(2, "REC"));
  s.Answers();
  s.Send({EOT});
  Bytes answer = s.Answers();
  return !answer.empty() && answer[0] == ACK;
}

// The files the received-files directory holds.
std::vector<std::string> Received(FakeFileSystem& fs) {
  std::vector<std::string> names;
  fs.ListDirectory("RECU", &names);
  return names;
}

// A station on |fs| with appends on, as the tests of this file have it.
struct AppendingStation : UploadStation {
  explicit AppendingStation(FakeFileSystem& fs) : UploadStation(&fs) { st.Options.APPEND = 'O'; }
};

// The calls the file system sees during the whole upload and its merge.
int CallsOfAWholeUpload() {
  FakeFileSystem fs;
  fs.PutDurably("RECU/CDE.001", kOld);
  AppendingStation s(fs);
  int before = fs.Calls();
  EXPECT_TRUE(UploadTwoRecords(s));
  EXPECT_EQ(kAppended, fs.Contents("RECU/CDE.001"));
  return fs.Calls() - before;
}

// The power goes before each file call of the upload in turn (and only what
// was durable survives); the station starts again and recovers as it does
// when it goes on line; the handheld sends again what had no ACK. The target
// then holds the records exactly once, and no temporary file is left.
TEST(AppendPowerCut, EveryCutLeavesTheTargetOldOrAppendedOnceAndTheResendCompletesIt) {
  const int calls = CallsOfAWholeUpload();
  ASSERT_GT(calls, 10);
  int acked = 0, kept_aside = 0;
  for (int k = 1; k <= calls; ++k) {
    SCOPED_TRACE("power cut before call " + std::to_string(k) + " of " + std::to_string(calls));
    FakeFileSystem fs;
    fs.PutDurably("RECU/CDE.001", kOld);
    bool ack = false;
    {
      AppendingStation s(fs);
      fs.CutPowerBefore(k);
      ack = UploadTwoRecords(s);
      ASSERT_TRUE(fs.PowerIsOff());
      fs.PowerOn();
    }
    acked += ack;
    AppendingStation again(fs);
    EXPECT_TRUE(kavelin2::RecoverLineFiles(again.st, 1, true));
    const std::string recovered = fs.Contents("RECU/CDE.001").value_or("<none>");
    if (ack) {
      EXPECT_EQ(kAppended, recovered) << fs.Describe();
    }
    if (!ack) {
      EXPECT_TRUE(UploadTwoRecords(again));
    }
    // Appended by recovery without an ACK, the resend is kept aside.
    EXPECT_EQ(kAppended, fs.Contents("RECU/CDE.001")) << fs.Describe();
    std::vector<std::string> expected = {"CDE.001"};
    if (!ack && recovered == kAppended) {
      ++kept_aside;
      expected.push_back("CDE.001.1.0001");
      EXPECT_EQ("NEWREC", fs.Contents("RECU/CDE.001.1.0001"));
    } else if (ack && fs.Contents("RECU/..AJOUTFIC.1.done")) {
      expected.insert(expected.begin(), "..AJOUTFIC.1.done");  // until the next upload decides
    }
    EXPECT_EQ(expected, Received(fs)) << fs.Describe();
  }
  ::testing::Test::RecordProperty("kept_aside", kept_aside);
  // The cuts fell before the ACK and after it.
  EXPECT_GT(acked, 0);
  EXPECT_LT(acked, calls);
}

// The same cuts, with a disk that may also have kept any change not yet
// durable. Recovery still never tears or doubles the target, and an
// acknowledged upload is always in it. A cut after the intent reached the
// disk but before the ACK left leaves the records appended without an ACK:
// the handheld sends them again, and recovery's record of what it finished
// keeps that resend aside instead of appending it twice.
TEST(AppendPowerCut, KeptUndurableChangesNeverTearTheTargetNorLoseAnAcknowledgedUpload) {
  const int calls = CallsOfAWholeUpload();
  int states = 0, doubled_by_resend = 0, kept_aside = 0;
  for (int k = 1; k <= calls; ++k) {
    for (uint64_t seed = 0; seed < 6; ++seed) {
      const Survivors survivors = seed == 0 ? Survivors::All() : Survivors::Random(seed);
      SCOPED_TRACE("cut before call " + std::to_string(k) + ", survivors " + std::to_string(seed));
      FakeFileSystem fs;
      fs.PutDurably("RECU/CDE.001", kOld);
      bool ack = false;
      {
        AppendingStation s(fs);
        fs.CutPowerBefore(k, survivors);
        ack = UploadTwoRecords(s);
        fs.PowerOn();
      }
      AppendingStation again(fs);
      kavelin2::RecoverLineFiles(again.st, 1, true);
      std::string target = fs.Contents("RECU/CDE.001").value_or("<none>");
      EXPECT_TRUE(target == kOld || target == kAppended) << target << "\n" << fs.Describe();
      if (ack) {
        EXPECT_EQ(kAppended, target);
      } else {
        EXPECT_TRUE(UploadTwoRecords(again));  // the handheld sends it again
        if (target == kAppended) ++kept_aside;
        target = fs.Contents("RECU/CDE.001").value_or("<none>");
        if (target != kAppended) ++doubled_by_resend;
        EXPECT_EQ(kAppended, target) << fs.Describe();
      }
      std::vector<std::string> names = Received(fs);
      std::erase(names, "..AJOUTFIC.1.done");
      std::erase(names, "CDE.001.1.0001");
      EXPECT_EQ(std::vector<std::string>{"CDE.001"}, names) << fs.Describe();
      ++states;
    }
  }
  ::testing::Test::RecordProperty("crash_states", states);
  ::testing::Test::RecordProperty("kept_aside", kept_aside);
  EXPECT_EQ(0, doubled_by_resend);
  EXPECT_GT(kept_aside, 0);  // the window was hit, and held
}

// Recovery itself cut by the power at each of its calls, for every state a
// crash may leave: recovering again on what survived gives the same files
// as an uninterrupted recovery.
TEST(RecoveryPowerCut, RecoveryCutAnywhereAndRunAgainEndsAsIfUninterrupted) {
  for (const CrashState& c : kCrashStates) {
    SCOPED_TRACE(c.what);
    auto lay_out = [&c](FakeFileSystem& fs) {
      if (c.target) fs.PutDurably("RECU/CDE.001", c.target);
      if (c.pending) fs.PutDurably("RECU/AJOUTFIC.1", c.pending);
      if (c.intent) fs.PutDurably("RECU/..AJOUTFIC.1", c.intent);
      fs.PutDurably("RECU/..RECUFIC.1", "partial of a replacing upload");
    };
    std::set<std::string> expected = {"CDE.001"};
    if (c.expected_kept) expected.insert("CDE.001.1.0001");

    int calls = 0;
    {
      FakeFileSystem fs;
      lay_out(fs);
      AppendingStation s(fs);
      int before = fs.Calls();
      EXPECT_TRUE(kavelin2::RecoverLineFiles(s.st, 1));
      calls = fs.Calls() - before;
    }
    for (int k = 1; k <= calls; ++k) {
      SCOPED_TRACE("power cut before call " + std::to_string(k));
      FakeFileSystem fs;
      lay_out(fs);
      {
        AppendingStation s(fs);
        fs.CutPowerBefore(k);
        kavelin2::RecoverLineFiles(s.st, 1);
        fs.PowerOn();
      }
      AppendingStation again(fs);
      EXPECT_TRUE(kavelin2::RecoverLineFiles(again.st, 1));
      EXPECT_EQ(c.expected_target, fs.Contents("RECU/CDE.001")) << fs.Describe();
      if (c.expected_kept) {
        EXPECT_EQ(c.expected_kept, fs.Contents("RECU/CDE.001.1.0001"));
      }
      std::vector<std::string> names = Received(fs);
      EXPECT_EQ(expected, std::set<std::string>(names.begin(), names.end())) << fs.Describe();
    }
  }
}

// A full disk while recovery merges: the target stays whole and the upload
// goes aside. When even the rename aside fails, the line takes no upload
// until recovery can act, and then merges.
TEST(RecoveryOnAFullDisk, KeepsTheTargetWholeAndTheUploadAsideOrWaitsForRoom) {
  auto lay_out = [](FakeFileSystem& fs) {
    fs.PutDurably("RECU/CDE.001", "old");
    fs.PutDurably("RECU/AJOUTFIC.1", "NEW");
    fs.PutDurably("RECU/..AJOUTFIC.1", "CDE.001\n3\n3\n");
  };
  {
    FakeFileSystem fs;
    lay_out(fs);
    AppendingStation s(fs);
    fs.FailFrom(FsOp::kWrite, 1, ENOSPC);
    EXPECT_TRUE(kavelin2::RecoverLineFiles(s.st, 1));
    EXPECT_EQ("old", fs.Contents("RECU/CDE.001"));
    EXPECT_EQ("NEW", fs.Contents("RECU/CDE.001.1.0001"));
    EXPECT_EQ((std::vector<std::string>{"CDE.001", "CDE.001.1.0001"}), Received(fs));
    EXPECT_EQ(1u, s.Commands("AFFICHE, ETAT,1=AJOUT IMPOSSIBLE").size());
    // Kept aside durably: a power cut now changes nothing.
    fs.CutPower();
    EXPECT_EQ((std::vector<std::string>{"CDE.001", "CDE.001.1.0001"}), Received(fs));
  }
  FakeFileSystem fs;
  lay_out(fs);
  AppendingStation s(fs);
  fs.FailFrom(FsOp::kWrite, 1, ENOSPC);
  fs.FailFrom(FsOp::kRename, 1, EIO);
  EXPECT_FALSE(kavelin2::RecoverLineFiles(s.st, 1));
  EXPECT_EQ("old", fs.Contents("RECU/CDE.001"));
  EXPECT_EQ((std::vector<std::string>{"..AJOUTFIC.1", "AJOUTFIC.1", "CDE.001"}), Received(fs));
  // A header on the line is refused while the upload cannot be placed.
  EXPECT_EQ((Bytes{ACK, NAK}), s.OpenFile("CDE.002", "00001", {"03"}));
  fs.ClearFaults();
  EXPECT_TRUE(kavelin2::RecoverLineFiles(s.st, 1));
  EXPECT_EQ("oldNEW", fs.Contents("RECU/CDE.001"));
  EXPECT_EQ(std::vector<std::string>{"CDE.001"}, Received(fs));
}

}  // namespace
}  // namespace kavelin2
