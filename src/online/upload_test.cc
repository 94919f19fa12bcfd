#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <set>

#include "config/settings.h"
#include "dialogs/dialogs.h"
#include "exchange/supervision.h"
#include "exchange/upload_fixture.h"
#include "online/online.h"

namespace kavelin2 {
namespace {

const Bytes kAck{ACK};
const Bytes kNak{NAK};
// Where a replacing upload on line 1 or 2 is written until its end of file.
const char kPartial1[] = "RECU/..RECUFIC.1";
const char kPartial2[] = "RECU/..RECUFIC.2";

using UploadExample = ProtocolTest;

TEST_F(UploadExample, UploadHalfOfTheExampleExchangeGoesByteForByte) {
  const std::string r1 = "ABCDEFGHIJ12345";
  const std::string r2 = "KLMNOPQRST67890";

  Send({ENQ});
  EXPECT_EQ(kAck, Answers());
  EXPECT_EQ('0', line().LineState);
  EXPECT_EQ('0', line().LinePhase);
  EXPECT_STREQ("12/06/26", line().ExchangeDate);
  EXPECT_STREQ("09:15:02", line().ExchangeTime);

  Bytes header = HeaderFrame("COMMANDE.001", "00002", {"10", "05"});
  ASSERT_EQ(Concat({{SOH},
                    Bytes{'C', 'O', 'M', 'M', 'A', 'N', 'D', 'E', '.', '0', '0', '1'},
                    Bytes{'0', '0', '0', '0', '2', '0', '2', '1', '0', '0', '5', ETX}}),
            Bytes(header.begin(), header.end() - 1));
  Send(header);
  EXPECT_EQ(kAck, Answers());
  EXPECT_EQ('8', line().LineState);
  EXPECT_STREQ("COMMANDE.001", line().UploadName);
  EXPECT_STREQ("001", line().HandheldId);
  EXPECT_EQ(15, line().RecordLength);
  EXPECT_STREQ(kPartial1, line().RecvFilePath);

  Send(DataFrame(1, r1));
  EXPECT_EQ(kAck, Answers());
  EXPECT_EQ('1', line().LineState);
  Send(DataFrame(2, r2));
  EXPECT_EQ(kAck, Answers());

  Send({EOT});
  EXPECT_EQ(kAck, Answers());
  EXPECT_EQ('2', line().LineState);
  EXPECT_EQ('0', line().LinePhase);  // the exchange goes on
  EXPECT_EQ(nullptr, line().DataFile);
  EXPECT_STREQ("", line().RecvFilePath);
  EXPECT_EQ(r1 + r2, ReadFile("RECU/COMMANDE.001"));
  EXPECT_EQ(std::set<std::string>{"COMMANDE.001"}, DirEntries("RECU"));
}

TEST_F(UploadExample, StartAndHeaderShowEveryFieldExactly) {
  std::strcpy(line().HandheldId, "A01");
  Send({ENQ});
  EXPECT_EQ((std::vector<std::string>{"AFFICHE, PHASE,1=PORTABLE -> PC",
                                      "AFFICHE, ETAT,1=IDENTIFICATION", "AFFICHE, PORTABLE,1=A01",
                                      "AFFICHE, FICHIER,1=              ", "AFFICHE, BLOCS,1=0",
                                      "AFFICHE, TRANS,1=0", "AFFICHE, TEMPS,1=     "}),
            ts.ui->commands);
  ts.ui->commands.clear();
  std::strcpy(st.CurrentLanguage, "Anglais");
  Send(HeaderFrame("CDE.001", "00001", {"04"}));
  EXPECT_EQ((std::vector<std::string>{"AFFICHE, PHASE,1=PORTABLE -> PC", "AFFICHE, ETAT,1=HEAD",
                                      "AFFICHE, FICHIER,1=CDE.001", "AFFICHE, PORTABLE,1=001",
                                      "AFFICHE, BLOCS,1=0", "AFFICHE, TRANS,1=0",
                                      "AFFICHE, TEMPS,1=     "}),
            ts.ui->commands);
}

TEST_F(UploadExample, LineTwoShowsItsOwnNumber) {
  std::strcpy(st.CurrentLanguage, "Espagnol");
  OpenFile("CDE.002", "00001", {"03"}, 1);
  EXPECT_EQ(1u, Commands("AFFICHE, ETAT,2=ENCABEZADO").size());
  EXPECT_EQ(2u, Commands("AFFICHE, PHASE,2=PORTABLE -> PC").size());
  EXPECT_TRUE(Commands("AFFICHE, PHASE,1=").empty());
}

using ReceiveHeader = ProtocolTest;

TEST_F(ReceiveHeader, ZeroBlocksGoStraightToReceivingAndEotClosesAnEmptyFile) {
  EXPECT_EQ(Concat({kAck, kAck}), OpenFile("CDE.001", "00000", {"10"}));
  EXPECT_EQ('1', line().LineState);
  Send({EOT});
  EXPECT_EQ(kAck, Answers());
  EXPECT_TRUE(FileExists("RECU/CDE.001"));
  EXPECT_EQ("", ReadFile("RECU/CDE.001"));
}

TEST_F(ReceiveHeader, BadBccIsRefusedAndCreatesNothing) {
  Send({ENQ});
  Answers();
  Bytes frame = HeaderFrame("CDE.001", "00001", {"10"});
  frame.back() ^= 0x40;
  Send(frame);
  EXPECT_EQ(kNak, Answers());
  EXPECT_EQ('0', line().LineState);
  EXPECT_TRUE(DirEntries("RECU").empty());
}

TEST_F(ReceiveHeader, HostileNamesAreRefusedAndNothingIsCreated) {
  std::set<std::string> before = DirEntries(".");
  for (const std::string& field : std::vector<std::string>{
           "../ETC  .001", "A/B     .001", "A\\B     .001", "        .   ", ".       .   ",
           std::string("AB\x01     .001"), std::string("AB\0     .001", 12), "..      .   ",
           "..RECUFIC.1 "}) {  // the partial file of line 1
    SCOPED_TRACE(field);
    Send({ENQ});
    Answers();
    line().EnqCount = 0;
    Send(BuildFrame(SOH, HeaderBody(field, "00001", {"10"}), true));
    EXPECT_EQ(kNak, Answers());
    EXPECT_EQ('0', line().LineState);
    EXPECT_EQ(nullptr, line().DataFile);
    EXPECT_STREQ("???", line().HandheldId);
    // Back to idle for the next name.
    line().LineState = '2';
    line().LinePhase = '2';
  }
  EXPECT_TRUE(DirEntries("RECU").empty());
  EXPECT_EQ(before, DirEntries("."));
}

TEST_F(ReceiveHeader, RecordsThatCannotFitTheFrameBufferAreRefused) {
  std::vector<std::string> too_wide(10, "99");
  too_wide.push_back("36");  // 1026 bytes
  EXPECT_EQ(Concat({kAck, kNak}), OpenFile("BIG.001", "00001", too_wide));
  EXPECT_EQ('0', line().LineState);
  EXPECT_FALSE(FileExists("RECU/BIG.001"));

  std::vector<std::string> widest(10, "99");
  widest.push_back("35");  // 1025 bytes: the data frame fills the buffer exactly
  Send(HeaderFrame("BIG.001", "00001", widest));
  EXPECT_EQ(kAck, Answers());
  EXPECT_EQ(1025, line().RecordLength);
  std::string record = Record('x', 1025);
  Send(DataFrame(1, record));
  EXPECT_EQ(kAck, Answers());
  Send({EOT});
  EXPECT_EQ(kAck, Answers());
  EXPECT_EQ(record, ReadFile("RECU/BIG.001"));
}

TEST_F(ReceiveHeader, FrameWithoutEtxIsRefusedWhenTheBufferIsFull) {
  Send({ENQ});
  Answers();
  // SOH, then 1031 bytes without ETX: the BCC would no longer fit.
  Arrive(Concat({{SOH}, Bytes(1031, 'A')}));
  Pump();
  EXPECT_EQ(kNak, Answers());
  EXPECT_EQ('0', line().LineState);
  EXPECT_TRUE(DirEntries("RECU").empty());
}

TEST_F(ReceiveHeader, FieldCountMustFitTheFrameThatWasRead) {
  // Announces five fields but carries two widths.
  std::string body = NameField("CDE.001") + "00001" + "05" + "1005";
  Send({ENQ});
  Answers();
  Send(BuildFrame(SOH, body, true));
  EXPECT_EQ(kNak, Answers());
  // Shorter than the fixed part of a header.
  Send(BuildFrame(SOH, NameField("CDE.001") + "0000", true));
  EXPECT_EQ(kNak, Answers());
  EXPECT_TRUE(DirEntries("RECU").empty());
}

TEST_F(ReceiveHeader, IdentifierComesFromTheEndOfTheTrimmedName) {
  OpenFile("CDE001", "00001", {"01"});
  EXPECT_STREQ("CDE001", line().UploadName);
  EXPECT_STREQ("001", line().HandheldId);

  line().LineState = '0';
  Send(HeaderFrame("AB", "00001", {"01"}));
  EXPECT_EQ(kAck, Answers());
  EXPECT_STREQ("AB", line().UploadName);
  EXPECT_STREQ("?AB", line().HandheldId);

  line().LineState = '0';
  Send(HeaderFrame("A", "00001", {"01"}));
  EXPECT_STREQ("??A", line().HandheldId);
  Send(DataFrame(1, "a"));
  Send({EOT});
  EXPECT_EQ("a", ReadFile("RECU/A"));
}

TEST_F(ReceiveHeader, SilenceGivesUpWithoutAnAnswer) {
  Send({ENQ});
  Answers();
  Bytes frame = HeaderFrame("CDE.001", "00001", {"10"});
  Arrive(Bytes(frame.begin(), frame.begin() + 10));
  int64_t start = ts.clock.now();
  Pump();
  EXPECT_TRUE(Answers().empty());
  EXPECT_EQ(1001, ts.clock.now() - start);
  EXPECT_EQ(1, line().TimeoutCount);
  EXPECT_EQ('0', line().LineState);

  // A header whose BCC does not come.
  Arrive(Bytes(frame.begin(), frame.end() - 1));
  Pump();
  EXPECT_TRUE(Answers().empty());
  EXPECT_EQ('0', line().LineState);
}

TEST_F(ReceiveHeader, FileThatCannotBeCreatedIsRefused) {
  std::strcpy(st.Paths.RECU, "MISSING/");
  EXPECT_EQ(Concat({kAck, kNak}), OpenFile("CDE.001", "00001", {"03"}));
  EXPECT_EQ('0', line().LineState);
  EXPECT_EQ(nullptr, line().DataFile);
  EXPECT_STREQ("", line().RecvFilePath);  // nothing of ours to discard
}

using ReceiveBlock = ProtocolTest;

TEST_F(ReceiveBlock, RepeatedBlockIsAcknowledgedAndNotStoredTwice) {
  OpenFile("CDE.001", "00002", {"03"});
  Send(DataFrame(1, "AAA"));
  Send(DataFrame(1, "AAA"));
  EXPECT_EQ(Concat({kAck, kAck}), Answers());
  EXPECT_EQ("AAA", ReadFile(kPartial1));
  EXPECT_EQ(2, line().NextBlockNumber);
}

TEST_F(ReceiveBlock, MissingBlockIsRefused) {
  OpenFile("CDE.001", "00003", {"03"});
  Send(DataFrame(2, "BBB"));
  EXPECT_EQ(kNak, Answers());
  EXPECT_EQ('8', line().LineState);
  EXPECT_TRUE(FileExists(kPartial1));
  EXPECT_EQ("", ReadFile(kPartial1));
}

TEST_F(ReceiveBlock, BadBccIsRefusedAndNothingStored) {
  OpenFile("CDE.001", "00001", {"03"});
  Bytes frame = DataFrame(1, "AAA");
  frame[3] ^= 0x01;
  Send(frame);
  EXPECT_EQ(kNak, Answers());
  EXPECT_EQ('8', line().LineState);
  EXPECT_TRUE(FileExists(kPartial1));
  EXPECT_EQ("", ReadFile(kPartial1));
}

TEST_F(ReceiveBlock, IncompleteFrameTimesOutAfter3000MsWithoutAnswer) {
  OpenFile("CDE.001", "00001", {"10"});
  int64_t start = ts.clock.now();
  Send({STX});  // and nothing more
  EXPECT_EQ(3001, ts.clock.now() - start);
  EXPECT_TRUE(Answers().empty());
  EXPECT_EQ(1, line().TimeoutCount);
}

TEST_F(ReceiveBlock, AddCrlfFollowsEveryRecordAndCountsInTheSizeCheck) {
  st.Options.ADD_CRLF = 'O';
  OpenFile("CDE.001", "00002", {"02", "01"});
  Send(DataFrame(1, "abc"));
  Send(DataFrame(2, "def"));
  Send({EOT});
  EXPECT_EQ(Concat({kAck, kAck, kAck}), Answers());
  EXPECT_EQ("abc\r\ndef\r\n", ReadFile("RECU/CDE.001"));
}

TEST_F(ReceiveBlock, ProgressIsTruncatedPercentOfTheAnnouncedBlocks) {
  OpenFile("CDE.001", "00003", {"01"});
  ts.ui->commands.clear();
  Send(DataFrame(1, "a"));
  EXPECT_EQ((std::vector<std::string>{"AFFICHE, BLOCS,1=1", "AFFICHE, TRANS,1=33 %",
                                      "AFFICHE, ETAT,1=EN COURS"}),
            ts.ui->commands);
  Send(DataFrame(2, "b"));
  Send(DataFrame(3, "c"));
  EXPECT_EQ((std::vector<std::string>{"AFFICHE, TRANS,1=33 %", "AFFICHE, TRANS,1=66 %",
                                      "AFFICHE, TRANS,1=100 %"}),
            Commands("AFFICHE, TRANS,"));
}

TEST_F(ReceiveBlock, ShortWriteIsRefusedAndTheFileCutBack) {
  OpenFile("CDE.001", "00002", {"15"});
  Send(DataFrame(1, Record('a', 15)));
  EXPECT_EQ(kAck, Answers());
  {
    FileSizeLimit limit(20);  // the second record only half fits
    Send(DataFrame(2, Record('b', 15)));
  }
  EXPECT_EQ(kNak, Answers());
  EXPECT_EQ(Record('a', 15), ReadFile(kPartial1));
  EXPECT_EQ(2, line().NextBlockNumber);

  Send(DataFrame(2, Record('b', 15)));
  Send({EOT});
  EXPECT_EQ(Concat({kAck, kAck}), Answers());
  EXPECT_EQ(Record('a', 15) + Record('b', 15), ReadFile("RECU/CDE.001"));
}

TEST_F(ReceiveBlock, RecordsWithoutFieldsMakeAnEmptyFileThatIsAccepted) {
  OpenFile("NUL.001", "00002", {});
  Send(DataFrame(1, ""));
  Send(DataFrame(2, ""));
  Send({EOT});
  EXPECT_EQ(Concat({kAck, kAck, kAck}), Answers());
  EXPECT_EQ("", ReadFile("RECU/NUL.001"));
}

using ReceiveEndOfFile = ProtocolTest;

TEST_F(ReceiveEndOfFile, MissingBlocksAreRefusedAndTheUploadGoesOn) {
  OpenFile("CDE.001", "00003", {"02"});
  Send(DataFrame(1, "aa"));
  Answers();
  Send({EOT});
  EXPECT_EQ(kNak, Answers());
  EXPECT_EQ('1', line().LineState);
  Send(DataFrame(2, "bb"));
  Send(DataFrame(3, "cc"));
  Send({EOT});
  EXPECT_EQ(Concat({kAck, kAck, kAck}), Answers());
  EXPECT_EQ("aabbcc", ReadFile("RECU/CDE.001"));
}

TEST_F(ReceiveEndOfFile, EndOfFileBeforeAnyBlockIsRefused) {
  OpenFile("CDE.001", "00001", {"02"});
  Send({EOT});
  EXPECT_EQ(kNak, Answers());
  EXPECT_EQ('8', line().LineState);
}

TEST_F(ReceiveEndOfFile, MoreBlocksThanAnnouncedEndTheExchangeInError) {
  OpenFile("CDE.001", "00000", {"02"});
  Send(DataFrame(1, "aa"));
  EXPECT_EQ(kAck, Answers());
  Send({EOT});
  EXPECT_EQ(Bytes{EOT}, Answers());
  EXPECT_FALSE(FileExists("RECU/CDE.001"));
  EXPECT_EQ(nullptr, line().DataFile);
  EXPECT_EQ('2', line().LinePhase);
  EXPECT_EQ(0u, ReadFile("STAT.TXT").rfind("ER 001 1 06/12/26 09:15:02", 0));
}

TEST_F(ReceiveEndOfFile, FileSizeThatDoesNotAddUpEndsTheExchangeInError) {
  OpenFile("CDE.001", "00001", {"02"});
  Send(DataFrame(1, "aa"));
  Answers();
  WriteFile(kPartial1, "aaa");  // something else wrote to it
  Send({EOT});
  EXPECT_EQ(Bytes{EOT}, Answers());
  EXPECT_FALSE(FileExists(kPartial1));
  EXPECT_FALSE(FileExists("RECU/CDE.001"));
  EXPECT_EQ('2', line().LineState);
  EXPECT_EQ(0u, ReadFile("STAT.TXT").rfind("ER ", 0));
}

TEST_F(ReceiveEndOfFile, DataStandsInTheFileWhenTheAckLeaves) {
  OpenFile("CDE.001", "00002", {"04"});
  Send(DataFrame(1, "abcd"));
  Send(DataFrame(2, "efgh"));
  Answers();
  std::string at_ack;
  lines[0]->on_write = [&](FakeLine&, const Bytes& b) {
    if (b == kAck) at_ack = ReadFile("RECU/CDE.001");
  };
  Send({EOT});
  EXPECT_EQ("abcdefgh", at_ack);
  EXPECT_EQ(std::vector<std::string>{"AFFICHE, ETAT,1=FIN"}, Commands("AFFICHE, ETAT,1=FIN"));
  EXPECT_EQ("AFFICHE, PHASE,1=ATTENTE", ts.ui->commands.back());
}

// With APPEND 'N' an upload replaces the file of its name, but only at its
// accepted end of file: a handheld's earlier, complete file must survive an
// upload that fails.
class ReplacingUpload : public ProtocolTest {
 protected:
  static constexpr char kEarlier[] = "earlier, complete";
  ReplacingUpload() { WriteFile("RECU/COMMANDE.001", kEarlier); }
  // Header and one of the two announced blocks of a new COMMANDE.001.
  void StartReupload(int i = 0) {
    OpenFile("COMMANDE.001", "00002", {"03"}, i);
    Send(DataFrame(1, "new"), i);
    ASSERT_EQ(kAck, Answers(i));
  }
  void ExpectEarlierFileOnly() {
    EXPECT_EQ(kEarlier, ReadFile("RECU/COMMANDE.001"));
    EXPECT_EQ(std::set<std::string>{"COMMANDE.001"}, DirEntries("RECU"));
  }
};

TEST_F(ReplacingUpload, EarlierFileStaysUntilTheAcceptedEndOfFileReplacesIt) {
  StartReupload();
  EXPECT_STREQ(kPartial1, line().RecvFilePath);
  EXPECT_EQ("new", ReadFile(kPartial1));
  EXPECT_EQ(kEarlier, ReadFile("RECU/COMMANDE.001"));
  Send(DataFrame(2, "NEW"));
  EXPECT_EQ(kEarlier, ReadFile("RECU/COMMANDE.001"));
  std::string at_ack;
  lines[0]->on_write = [&](FakeLine&, const Bytes& b) {
    if (b == kAck) at_ack = ReadFile("RECU/COMMANDE.001");
  };
  Send({EOT});
  EXPECT_EQ(Concat({kAck, kAck}), Answers());
  EXPECT_EQ("newNEW", at_ack);  // in place before the handheld hears of it
  EXPECT_EQ(std::set<std::string>{"COMMANDE.001"}, DirEntries("RECU"));
  EXPECT_STREQ("", line().RecvFilePath);
}

TEST_F(ReplacingUpload, TheDisplayIsTheSameAsForAFirstUpload) {
  std::vector<std::string> shown[2];
  for (int pass = 0; pass < 2; ++pass) {
    ts.ui->commands.clear();
    std::strcpy(line().HandheldId, "???");  // each pass as the first file of an exchange
    OpenFile("COMMANDE.001", "00001", {"03"});
    Send(DataFrame(1, "new"));
    Send({EOT});
    EXPECT_EQ(Concat({kAck, kAck}), Answers());
    shown[pass] = ts.ui->commands;
    ::unlink("RECU/COMMANDE.001");  // the second pass is a first upload
  }
  EXPECT_EQ(shown[0], shown[1]);
  EXPECT_EQ(1, std::count(shown[0].begin(), shown[0].end(), "AFFICHE, FICHIER,1=COMMANDE.001"));
}

TEST_F(ReplacingUpload, EarlierFileSurvivesAnUploadThatTimesOut) {
  StartReupload();
  for (int i = 0; i < 10; ++i) HandleTimeout(st, st.LineTable[0]);
  EXPECT_EQ('1', line().LineState);
  EXPECT_TRUE(FileExists(kPartial1));
  HandleTimeout(st, st.LineTable[0]);  // the eleventh ends the exchange
  EXPECT_EQ(Bytes{EOT}, Answers());
  EXPECT_EQ(0u, ReadFile("STAT.TXT").rfind("TO ", 0));
  ExpectEarlierFileOnly();
  EXPECT_FALSE(FileExists("UNLINK.TXT"));
}

TEST_F(ReplacingUpload, EarlierFileSurvivesASizeMismatch) {
  StartReupload();
  Send(DataFrame(2, "NEW"));
  Answers();
  WriteFile(kPartial1, "newNE");  // the file no longer makes two records
  Send({EOT});
  EXPECT_EQ(Bytes{EOT}, Answers());
  EXPECT_EQ(0u, ReadFile("STAT.TXT").rfind("ER ", 0));
  ExpectEarlierFileOnly();
}

TEST_F(ReplacingUpload, AStopRequestWaitsForTheUploadAndTheEarlierFileSurvives) {
  StartReupload();
  // The user (or SIGTERM, through the headless front end) asks to stop at
  // every pass; the silent handheld's upload ends at its eleventh time-out.
  ts.ui->responder = [this](const std::string& cmd) -> std::optional<FakeReply> {
    if (cmd != "ECRAN,SAISIE/NONBLOCANTE") return std::nullopt;
    if (ts.clock.now() > 10 * 60 * 1000) line().LinePhase = line().LineState = '2';
    return FakeReply{"*P*", std::nullopt, std::nullopt};
  };
  EXPECT_EQ(1, PollLines(st));
  EXPECT_EQ(0u, ReadFile("STAT.TXT").rfind("TO ", 0));
  ExpectEarlierFileOnly();
}

TEST_F(ReplacingUpload, GoingOffLineMidUploadLeavesTheEarlierFileAndTheNextUploadCleansUp) {
  StartReupload();
  // The station leaves on-line mode with the upload open; the next on-line
  // period starts from idle lines.
  for (SettingsFile f : {SettingsFile::kPorts, SettingsFile::kModems, SettingsFile::kPaths,
                         SettingsFile::kFileOptions, SettingsFile::kSchedule}) {
    StoreSettings(st, f);
  }
  CloseLines(st);
  StartOnLine(st);
  EXPECT_EQ(nullptr, line().DataFile);
  EXPECT_STREQ("", line().RecvFilePath);
  EXPECT_EQ(kEarlier, ReadFile("RECU/COMMANDE.001"));
  // Going on line again removes the partial file of the upload cut short.
  EXPECT_FALSE(FileExists(kPartial1));

  // The next upload on the line starts its partial file afresh.
  st.LineTable[0].PortHandle = ts.serial.Open("COM1");
  OpenFile("COMMANDE.001", "00001", {"03"});
  Send(DataFrame(1, "xyz"));
  Send({EOT});
  EXPECT_EQ(Concat({kAck, kAck}), Answers());
  EXPECT_EQ("xyz", ReadFile("RECU/COMMANDE.001"));
  // Beside it only the lock the station holds on line.
  EXPECT_EQ((std::set<std::string>{".kavelin2.lock", "COMMANDE.001"}), DirEntries("RECU"));
}

TEST_F(ReplacingUpload, UndeletablePartialFileIsListedAndTheEarlierFileSurvives) {
  StartReupload();
  // A non-empty directory in place of the partial file cannot be unlinked.
  ASSERT_EQ(0, ::unlink(kPartial1));
  ASSERT_EQ(0, ::mkdir(kPartial1, 0777));
  WriteFile(std::string(kPartial1) + "/inner", "x");
  Send(DataFrame(2, "NEW"));
  Send(DataFrame(3, "ONE"));  // more blocks than announced: an error at the end
  Answers();
  Send({EOT});
  EXPECT_EQ(Bytes{EOT}, Answers());
  // The file left on disk, then the upload it belonged to.
  std::string text = std::string(kPartial1) + " COMMANDE.001";
  EXPECT_EQ("001 1 06/12/26 09:15:02 " + text + std::string(92 - text.size(), '\0') + "\r\n",
            ReadFile("UNLINK.TXT"));
  EXPECT_EQ(kEarlier, ReadFile("RECU/COMMANDE.001"));
}

TEST_F(ReplacingUpload, EachLineHasItsOwnPartialFile) {
  OpenFile("COMMANDE.001", "00001", {"03"}, 0);
  OpenFile("COMMANDE.001", "00001", {"03"}, 1);
  EXPECT_STREQ(kPartial1, line(0).RecvFilePath);
  EXPECT_STREQ(kPartial2, line(1).RecvFilePath);
  Send(DataFrame(1, "one"), 0);
  Send(DataFrame(1, "two"), 1);
  Send({EOT}, 1);
  EXPECT_EQ("two", ReadFile("RECU/COMMANDE.001"));
  Send({EOT}, 0);
  EXPECT_EQ("one", ReadFile("RECU/COMMANDE.001"));
  EXPECT_EQ(std::set<std::string>{"COMMANDE.001"}, DirEntries("RECU"));
}

TEST_F(ReplacingUpload, FinalNameThatCannotBeReplacedEndsInErrorWithoutAnAck) {
  ASSERT_EQ(0, ::mkdir("RECU/CDE.001", 0777));
  WriteFile("RECU/CDE.001/inner", "x");
  OpenFile("CDE.001", "00001", {"03"});
  Send(DataFrame(1, "new"));
  Answers();
  Send({EOT});
  EXPECT_EQ(Bytes{EOT}, Answers());  // the handheld keeps its copy
  EXPECT_EQ(0u, ReadFile("STAT.TXT").rfind("ER ", 0));
  EXPECT_FALSE(FileExists(kPartial1));
  EXPECT_EQ("x", ReadFile("RECU/CDE.001/inner"));
}

}  // namespace
}  // namespace kavelin2
