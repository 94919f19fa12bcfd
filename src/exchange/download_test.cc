#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "exchange/download_fixture.h"
#include "testing/fake_file_system.h"
#include "wire/table_entry.h"

namespace kavelin2 {
namespace {

using ::testing::ElementsAre;

class StartDownloadTest : public DownloadFixture {};
class DownloadStepTest : public DownloadFixture {};

std::string PadTo5(int v) {
  std::string text = std::to_string(v % 100000);
  return std::string(5 - text.size(), '0') + text;
}

std::string Lines(int count, int width) {
  std::string out;
  for (int i = 0; i < count; ++i) out += std::string(width, static_cast<char>('A' + i)) + "\r\n";
  return out;
}

TEST_F(DownloadStepTest, ExampleExchangeDownloadIsByteForByte) {
  WriteFile("tables/TABLE.001", "ARTICLES.DAT 64\r\n");
  WriteFile("trans/ARTICLES.DAT", Lines(3, 64));
  Stamp();

  Identify("001");
  EXPECT_EQ(Byte(ACK) + Byte(ENQ), Sent());
  EXPECT_EQ(kStateNextEntry, L().LineState);
  EXPECT_EQ(kPhaseDownload, L().LinePhase);
  EXPECT_STREQ("001", L().HandheldId);
  EXPECT_STREQ("tables/TABLE.001", L().TablePath);

  EXPECT_EQ(Frame(SOH, "ARTICLES.DAT00003"), Ack());
  EXPECT_EQ(kStateNameSent, L().LineState);

  int64_t before = ts.clock.now();
  EXPECT_EQ(Byte(ENQ), Ack());
  EXPECT_EQ(before + 200, line.writes().back().at_ms);  // 200 ms of the clock, not a spin
  EXPECT_EQ(kStateEnqSent, L().LineState);

  EXPECT_EQ(Frame(SOH, "ARTICLES.DAT000030164"), Ack());
  EXPECT_EQ(kStateSendingData, L().LineState);
  EXPECT_EQ(Frame(STX, "00001" + std::string(64, 'A')), Ack());
  EXPECT_EQ(Frame(STX, "00002" + std::string(64, 'B')), Ack());
  EXPECT_EQ(Frame(STX, "00003" + std::string(64, 'C')), Ack());
  EXPECT_EQ(kStateSendingData, L().LineState);
  EXPECT_EQ(Byte(EOT), Ack());
  EXPECT_EQ(kStateNextEntry, L().LineState);
  EXPECT_EQ(Byte(RS), Ack());
  EXPECT_EQ(kStateTableDone, L().LineState);
  EXPECT_EQ("", Ack());

  EXPECT_EQ(kStateIdle, L().LineState);
  EXPECT_EQ(kPhaseNone, L().LinePhase);
  EXPECT_EQ("OK 001 1 06/12/26 09:15:02 00.00'00\r\n", ReadFile("STAT.TXT"));
  EXPECT_EQ(nullptr, L().TableFile);
  EXPECT_EQ(nullptr, L().DataFile);
  // Without the removal options the files stay.
  EXPECT_TRUE(FileExists("tables/TABLE.001"));
  EXPECT_TRUE(FileExists("trans/ARTICLES.DAT"));

  EXPECT_THAT(Commands("AFFICHE, FICHIER,1="), ElementsAre("AFFICHE, FICHIER,1=ARTICLES.DAT"));
  EXPECT_THAT(Commands("AFFICHE, TRANS,1="),
              ElementsAre("AFFICHE, TRANS,1=0 %", "AFFICHE, TRANS,1=33 %", "AFFICHE, TRANS,1=66 %",
                          "AFFICHE, TRANS,1=100 %"));
  EXPECT_EQ(4u, Commands("AFFICHE, BLOCS,1=").size());
  EXPECT_EQ(3u, Commands("AFFICHE, ETAT,1=EN COURS").size());
  EXPECT_EQ(1u, Commands("AFFICHE, ETAT,1=ENTETE").size());
}

TEST_F(StartDownloadTest, NoTableGetsAckThenRsAndTheNextAckEndsOk) {
  Identify("002");
  EXPECT_EQ(Byte(ACK) + Byte(RS), Sent());
  EXPECT_EQ(kStateTableDone, L().LineState);
  // No upload came first: the figures of the line are blanked.
  EXPECT_THAT(Commands("AFFICHE, FICHIER,1="), ElementsAre("AFFICHE, FICHIER,1=             "));
  EXPECT_THAT(Commands("AFFICHE, TEMPS,1="), ElementsAre("AFFICHE, TEMPS,1=     "));
  EXPECT_EQ(1u, Commands("AFFICHE, BLOCS,1=0").size());
  EXPECT_EQ(1u, Commands("AFFICHE, TRANS,1=0").size());
  // A NAK of the RS sends it again: it went out as a one-byte frame.
  EXPECT_EQ(Byte(RS), Nak());
  Stamp();
  EXPECT_EQ("", Ack());
  EXPECT_EQ("OK 002 1 06/12/26 09:15:02 00.00'00\r\n", ReadFile("STAT.TXT"));
  EXPECT_EQ(kStateIdle, L().LineState);
}

TEST_F(StartDownloadTest, AfterAnUploadTheFiguresStayOnShow) {
  Stamp();
  Identify("002");
  EXPECT_EQ(Byte(ACK) + Byte(RS), Sent());
  EXPECT_TRUE(Commands("AFFICHE, FICHIER,").empty());
  EXPECT_TRUE(Commands("AFFICHE, TEMPS,").empty());
}

TEST_F(StartDownloadTest, BadCheckIsAnsweredWithNakAndTheLineStaysIdle) {
  line.ArriveNow(std::string("001") + '\x7f');
  StartDownload(ts.st, ts.st.LineTable[0]);
  EXPECT_EQ(Byte(NAK), Sent());
  EXPECT_EQ(kStateIdle, L().LineState);
  EXPECT_EQ(kPhaseDownload, L().LinePhase);
  EXPECT_STREQ("???", L().HandheldId);
  EXPECT_FALSE(L().ReachedDownloadStart);
}

TEST_F(StartDownloadTest, IdentifiersThatCannotNameATableAreRefused) {
  WriteFile("tables/TABLE.001", "ARTICLES.DAT 64\r\n");
  for (std::string id : {std::string("../"), std::string("a/b"), std::string("\\01"),
                         std::string("0\n1"), std::string("1.1"), std::string("\0\0\0", 3)}) {
    Identify(id);  // a correct check byte
    EXPECT_EQ(Byte(NAK), Sent()) << id;
    EXPECT_EQ(kStateIdle, L().LineState);
    EXPECT_FALSE(L().ReachedDownloadStart);
    EXPECT_STREQ("", L().TablePath);
  }
}

TEST_F(StartDownloadTest, SilenceDuringTheIdentificationCountsOneTimeOutAndAnswersNothing) {
  line.ArriveNow("00");
  StartDownload(ts.st, ts.st.LineTable[0]);
  EXPECT_EQ(1, L().TimeoutCount);
  EXPECT_EQ(kStateIdle, L().LineState);
  EXPECT_EQ(kPhaseDownload, L().LinePhase);
  // Only the time-out's own ENQ went out (the line is not in an upload state).
  EXPECT_EQ(Byte(ENQ), Sent());
  EXPECT_GE(ts.clock.now(), 1000);  // about one second of the 1000 ms read limit
  EXPECT_LT(ts.clock.now(), 1010);
}

TEST_F(DownloadStepTest, EmptyTableSendsRsAtTheFirstAck) {
  WriteFile("tables/TABLE.001", "");
  Identify("001");
  EXPECT_EQ(Byte(ACK) + Byte(ENQ), Sent());
  EXPECT_EQ(Byte(RS), Ack());
  EXPECT_EQ(kStateTableDone, L().LineState);
  EXPECT_EQ(nullptr, L().TableFile);
  EXPECT_EQ("", Ack());
  EXPECT_EQ("OK", ReadFile("STAT.TXT").substr(0, 2));
}

TEST_F(DownloadStepTest, FileOfNoBlocksIsAnnouncedAndEndsAtTheFirstDataAck) {
  WriteFile("tables/TABLE.001", "VIDE    .DAT 10 B\r\n");
  WriteFile("trans/VIDE.DAT", "");
  Identify("001");
  Sent();
  EXPECT_EQ(Frame(SOH, "VIDE    .DAT00000"), Ack());
  EXPECT_EQ(Byte(ENQ), Ack());
  EXPECT_EQ(Frame(SOH, "VIDE    .DAT000000110"), Ack());
  EXPECT_EQ(Byte(EOT), Ack());
  EXPECT_THAT(Commands("AFFICHE, TRANS,1="), ElementsAre("AFFICHE, TRANS,1=0"));
}

TEST_F(DownloadStepTest, BinaryAndTextLayoutsCountTenBlocks) {
  std::string binary(640, 'b');
  for (int i = 0; i < 640; ++i) binary[i] = static_cast<char>(i);
  WriteFile("tables/TABLE.001", "BIN     .DAT 64 B\r\nTXT     .DAT 64\r\n");
  WriteFile("trans/BIN.DAT", binary);
  WriteFile("trans/TXT.DAT", Lines(10, 64));
  Identify("001");
  Sent();
  EXPECT_EQ(Frame(SOH, "BIN     .DAT00010"), Ack());
  Ack();
  EXPECT_EQ(Frame(SOH, "BIN     .DAT000100164"), Ack());
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(Frame(STX, std::string(PadTo5(i + 1)) + binary.substr(i * 64, 64)), Ack());
  }
  EXPECT_EQ(Byte(EOT), Ack());
  EXPECT_EQ(Frame(SOH, "TXT     .DAT00010"), Ack());
  Ack();
  Ack();
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(Frame(STX, std::string(PadTo5(i + 1)) + std::string(64, static_cast<char>('A' + i))),
              Ack());
  }
  EXPECT_EQ(Byte(EOT), Ack());
  EXPECT_EQ(Byte(RS), Ack());
}

TEST_F(DownloadStepTest, NameAndHeaderFramesFollowTheKindOfTheEntry) {
  WriteFile("tables/TABLE.001",
            "SER     .DAT 08XS\r\n"
            "CLI     .TXT TB00603020402 field widths\r\n"
            "PRIX    .PD3\r\n");
  WriteFile("trans/SER.DAT", "HEAD" + std::string(16, 's'));
  WriteFile("trans/CLI.TXT", std::string(12, 't'));
  WriteFile("trans/PRIX.PD3", std::string(128, 'p') + "\r\n" + std::string(128, 'q') + "\r\n");
  Identify("001");
  Sent();

  // 'S': the 12-character name field, the count and 'S' (18 characters).
  std::string name = Ack();
  EXPECT_EQ(Frame(SOH, "SER     .DAT00002S"), name);
  EXPECT_EQ(18u + 3u, name.size());
  Ack();
  EXPECT_EQ(Frame(SOH, "SER     .DAT000020108"), Ack());
  EXPECT_EQ(Frame(STX, "00001ssssssss"), Ack());  // the 4-byte file header is not sent
  EXPECT_EQ(Frame(STX, "00002ssssssss"), Ack());
  EXPECT_EQ(Byte(EOT), Ack());

  // 'T': the trimmed name with "DAT" and the count; the header carries the fields.
  EXPECT_EQ(Frame(SOH, "CLI.DAT00002"), Ack());
  EXPECT_STREQ("CLI.DAT", L().DatFileName);
  EXPECT_STREQ("CLI.DAT     ", L().HeaderName);
  Ack();
  EXPECT_EQ(Frame(SOH, "CLI.DAT     0000203020402"), Ack());
  EXPECT_EQ(Frame(STX, "00001tttttt"), Ack());
  EXPECT_EQ(Frame(STX, "00002tttttt"), Ack());
  EXPECT_EQ(Byte(EOT), Ack());

  // PD3: 128-byte lines; name frame and header are the same text.
  EXPECT_EQ(Frame(SOH, "PRIX    .PD300002"), Ack());
  Ack();
  EXPECT_EQ(Frame(SOH, "PRIX    .PD300002"), Ack());
  EXPECT_EQ(Frame(STX, "00001" + std::string(128, 'p')), Ack());
  EXPECT_EQ(Frame(STX, "00002" + std::string(128, 'q')), Ack());
  EXPECT_EQ(Byte(EOT), Ack());
  EXPECT_EQ(Byte(RS), Ack());
}

TEST_F(DownloadStepTest, MissingUnsafeAndUnsendableEntriesAreSkippedSilently) {
  std::string seventeen = "MANY    .DAT TB03017" + std::string(34, '1') + "\r\n";
  WriteFile("tables/TABLE.001",
            "ABSENT  .DAT 10\r\n"
            "..      /BAD 10 B\r\n"  // would be trans/../BAD
            "ZERO    .DAT 00 B\r\n"
            "DIGIT   .DAT 1x B\r\n" +
                seventeen +
                "DIR     .DAT 10 B\r\n"
                "GOOD    .DAT 05 B\r\n");
  WriteFile("BAD", "outside the directory of files to transmit");
  WriteFile("trans/ZERO.DAT", "0123456789");
  WriteFile("trans/DIGIT.DAT", "0123456789");
  WriteFile("trans/MANY.DAT", std::string(60, 'm'));
  ::mkdir("trans/DIR.DAT", 0777);
  WriteFile("trans/GOOD.DAT", "01234");
  Identify("001");
  Sent();
  EXPECT_EQ(Frame(SOH, "GOOD    .DAT00001"), Ack());
  EXPECT_THAT(Commands("AFFICHE, FICHIER,1="), ElementsAre("AFFICHE, FICHIER,1=GOOD.DAT"));
  Ack();
  Ack();
  EXPECT_EQ(Frame(STX, "0000101234"), Ack());
  EXPECT_EQ(Byte(EOT), Ack());
  EXPECT_EQ(Byte(RS), Ack());
}

TEST_F(DownloadStepTest, TooManyBlocksIsSkipped) {
  WriteFile("tables/TABLE.001", "HUGE    .DAT 01 B\r\nSMALL   .DAT 01 B\r\n");
  WriteFile("trans/HUGE.DAT", std::string(100000, 'h'));
  WriteFile("trans/SMALL.DAT", "s");
  Identify("001");
  Sent();
  EXPECT_EQ(Frame(SOH, "SMALL   .DAT00001"), Ack());
}

TEST_F(DownloadStepTest, FileThatEndsEarlyGetsEotAtOnce) {
  WriteFile("tables/TABLE.001", "SHORT   .DAT 04 B\r\n");
  WriteFile("trans/SHORT.DAT", "aaaabbbbcccc");
  Identify("001");
  Sent();
  EXPECT_EQ(Frame(SOH, "SHORT   .DAT00003"), Ack());
  Ack();
  Ack();
  ASSERT_EQ(0, ::truncate("trans/SHORT.DAT", 6));  // shrinks under the transfer
  EXPECT_EQ(Frame(STX, "00001aaaa"), Ack());
  EXPECT_EQ(Byte(EOT), Ack());
  EXPECT_EQ(kStateNextEntry, L().LineState);
}

TEST_F(DownloadStepTest, CompleteDownloadRemovesSentFilesAndTable) {
  ts.st.Options.SUP_FIC = 'O';
  ts.st.Options.SUP_TAB = 'O';
  WriteFile("tables/TABLE.001", "A       .DAT 02 B\r\nMISSING .DAT 02 B\r\n");
  WriteFile("trans/A.DAT", "aa");
  WriteFile("trans/OTHER.DAT", "keep");
  Identify("001");
  AckToTheEnd();
  EXPECT_FALSE(FileExists("trans/A.DAT"));
  EXPECT_TRUE(FileExists("trans/OTHER.DAT"));
  EXPECT_FALSE(FileExists("tables/TABLE.001"));
  EXPECT_EQ("OK", ReadFile("STAT.TXT").substr(0, 2));
}

TEST_F(DownloadStepTest, OnlyFilesSentWholeAreRemovedAndBlankPaddedSizesAreSent) {
  ts.st.Options.SUP_FIC = 'O';
  WriteFile("tables/TABLE.001",
            "PADDED  .DAT  4 B\r\n"  // " 4" as a "%2d" writes it
            "MISSING .DAT 04 B\r\n"
            "ZERO    .DAT 00 B\r\n"  // unsendable
            "SHORT   .DAT 04 B\r\n");
  WriteFile("trans/PADDED.DAT", "aaaabbbb");
  WriteFile("trans/ZERO.DAT", "never sent");
  WriteFile("trans/SHORT.DAT", "ccccdddd");
  Identify("001");
  Sent();
  EXPECT_EQ(Frame(SOH, "PADDED  .DAT00002"), Ack());
  EXPECT_EQ(Byte(ENQ), Ack());
  EXPECT_EQ(Frame(SOH, "PADDED  .DAT0000201 4"), Ack());  // the size as the table has it
  EXPECT_EQ(Frame(STX, "00001aaaa"), Ack());
  EXPECT_EQ(Frame(STX, "00002bbbb"), Ack());
  EXPECT_EQ(Byte(EOT), Ack());
  EXPECT_EQ(Frame(SOH, "SHORT   .DAT00002"), Ack());
  EXPECT_EQ(Byte(ENQ), Ack());
  Ack();
  ASSERT_EQ(0, ::truncate("trans/SHORT.DAT", 4));  // cut short under the transfer
  EXPECT_EQ(Frame(STX, "00001cccc"), Ack());
  EXPECT_EQ(Byte(EOT), Ack());
  EXPECT_EQ(Byte(RS), Ack());
  Ack();
  EXPECT_EQ("OK", ReadFile("STAT.TXT").substr(0, 2));
  EXPECT_FALSE(FileExists("trans/PADDED.DAT"));
  EXPECT_EQ("never sent", ReadFile("trans/ZERO.DAT"));
  EXPECT_EQ("cccc", ReadFile("trans/SHORT.DAT"));  // the handheld did not get all of it
}

TEST_F(DownloadStepTest, RemovalOptionsAreIndependent) {
  ts.st.Options.SUP_TAB = 'O';
  WriteFile("tables/TABLE.001", "A       .DAT 02 B\r\n");
  WriteFile("trans/A.DAT", "aa");
  Identify("001");
  AckToTheEnd();
  EXPECT_TRUE(FileExists("trans/A.DAT"));
  EXPECT_FALSE(FileExists("tables/TABLE.001"));

  ts.st.Options.SUP_TAB = 'N';
  ts.st.Options.SUP_FIC = 'O';
  WriteFile("tables/TABLE.001", "A       .DAT 02 B\r\n");
  Identify("001");
  AckToTheEnd();
  EXPECT_FALSE(FileExists("trans/A.DAT"));
  EXPECT_TRUE(FileExists("tables/TABLE.001"));
}

TEST_F(DownloadStepTest, EveryNakResendsTheSameFrameAndTheEleventhEndsInError) {
  WriteFile("tables/TABLE.001", "ARTICLES.DAT 64\r\n");
  WriteFile("trans/ARTICLES.DAT", Lines(3, 64));
  Stamp();
  Identify("001");
  Sent();
  std::string name = Ack();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(name, Nak()) << i;
  // An ACK in between gives ten more.
  Ack();
  std::string header = Ack();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(header, Nak()) << i;
  EXPECT_EQ(Byte(EOT), Nak());  // the 11th: no resend, only EOT
  EXPECT_EQ(kStateIdle, L().LineState);
  EXPECT_EQ("ER 001 1 06/12/26 09:15:02 00.00'00\r\n", ReadFile("STAT.TXT"));
  EXPECT_EQ(nullptr, L().DataFile);
  EXPECT_EQ(nullptr, L().TableFile);
  EXPECT_EQ(1u, Commands("AFFICHE, ETAT,1=ERREUR").size());
}

TEST_F(DownloadStepTest, MessagesFollowTheLanguage) {
  WriteFile("tables/TABLE.001", "A       .DAT 02 B\r\n");
  WriteFile("trans/A.DAT", "aa");
  std::strcpy(ts.st.CurrentLanguage, "Anglais");
  Identify("001");
  AckToTheEnd();
  EXPECT_EQ(1u, Commands("AFFICHE, ETAT,1=HEAD").size());
  EXPECT_EQ(1u, Commands("AFFICHE, ETAT,1=PROCESSING").size());
  EXPECT_EQ(2u, Commands("AFFICHE, ETAT,1=END").size());  // end of file, end of exchange
  EXPECT_EQ(2u, Commands("AFFICHE, PHASE,1=WAITING").size());

  ts.ui->commands.clear();
  std::strcpy(ts.st.CurrentLanguage, "Espagnol");
  Identify("001");
  AckToTheEnd();
  EXPECT_EQ(1u, Commands("AFFICHE, ETAT,1=ENCABEZADO").size());
  EXPECT_EQ(1u, Commands("AFFICHE, ETAT,1=EN PROCESO").size());
  EXPECT_EQ(2u, Commands("AFFICHE, ETAT,1=FINAL").size());
  EXPECT_EQ(2u, Commands("AFFICHE, PHASE,1=ESPERA").size());

  ts.ui->commands.clear();
  std::strcpy(ts.st.CurrentLanguage, "Klingon");
  Identify("001");
  AckToTheEnd();
  EXPECT_TRUE(Commands("AFFICHE, ETAT,1=F").empty());
  EXPECT_TRUE(Commands("AFFICHE, PHASE,1=E").empty());
  EXPECT_TRUE(Commands("AFFICHE, PHASE,1=W").empty());
  EXPECT_FALSE(Commands("AFFICHE, PHASE,1=PC -> PORTABLE").empty());
}

TEST_F(DownloadStepTest, SecondLineUsesItsOwnNumberAndPort) {
  FakeLine& line2 = ts.serial.AddLine("COM2");
  ts.st.LineTable[1].PortHandle = ts.serial.Open("COM2");
  WriteFile("tables/TABLE.002", "A       .DAT 02 B\r\n");
  WriteFile("trans/A.DAT", "aa");
  line2.ArriveNow(std::string("002") + static_cast<char>('0' ^ '0' ^ '2'));
  StartDownload(ts.st, ts.st.LineTable[1]);
  auto written = line2.TakeWritten();
  EXPECT_EQ(Byte(ACK) + Byte(ENQ), std::string(written.begin(), written.end()));
  EXPECT_TRUE(line.written().empty());
  EXPECT_FALSE(Commands("AFFICHE, PORTABLE,2=002").empty());
}

}  // namespace
}  // namespace kavelin2

namespace kavelin2 {
namespace {

// One table entry whose file is not what a download can send, on the fake
// file system: what the handheld gets, what the log says, what the result
// row shows.
struct Unsendable {
  const char* label;
  const char* entry;     // the table line
  const char* file;      // in trans/
  std::string contents;  // for a regular file
  FileKind kind;         // kRegular: a file; kDirectory: a directory; else special
  bool unreadable;
  const char* warning;  // in the log line
  int frames_expected;  // data frames the handheld gets for this entry
};

class UnsendableEntryTest : public ::testing::TestWithParam<Unsendable> {};

TEST_P(UnsendableEntryTest, IsSkippedOrCutWithItsReasonAndTheResultCountsTheWarning) {
  const Unsendable& c = GetParam();
  FakeFileSystem fs;
  TestStation ts(&fs);
  FakeLine& line = ts.serial.AddLine("COM1");
  LineEntry& L = ts.st.LineTable[0];
  L.PortHandle = ts.serial.Open("COM1");
  std::strcpy(ts.st.Paths.TABLE, "tables/");
  std::strcpy(ts.st.Paths.TRANS, "trans/");
  std::strcpy(ts.st.CurrentLanguage, "Anglais");
  ts.st.Options = FileOptions{'N', 'N', 'N', 'N', 'N', 'N'};
  fs.MakeDirectoriesDurably("trans");
  fs.PutDurably("tables/TABLE.001", std::string(c.entry) + "GOOD    .DAT 04 B\r\n");
  fs.PutDurably("trans/GOOD.DAT", "good");
  const std::string path = std::string("trans/") + c.file;
  if (c.kind == FileKind::kDirectory) {
    fs.MakeDirectoriesDurably(path);
  } else if (c.kind != FileKind::kRegular) {
    fs.PutSpecialDurably(path, c.kind);
  } else {
    fs.PutDurably(path, c.contents);
  }
  if (c.unreadable) fs.DenyReading(path);

  std::string id = "001";
  id.push_back(static_cast<char>('0' ^ '0' ^ '1'));
  line.ArriveNow(id);
  StartDownload(ts.st, L);
  line.TakeWritten();  // ACK, ENQ
  int data_frames = 0;
  std::vector<std::string> names;
  for (int i = 0; i < 100 && L.LineState != kStateIdle; ++i) {
    L.EnqCount = 0;
    DownloadStep(ts.st, L);
    auto bytes = line.TakeWritten();
    std::string sent(bytes.begin(), bytes.end());
    if (!sent.empty() && sent[0] == SOH && L.LineState == kStateNameSent) {
      names.push_back(sent.substr(1, 8));
    }
    if (!sent.empty() && sent[0] == STX) ++data_frames;
  }
  ASSERT_EQ(kStateIdle, L.LineState);
  const bool sent_at_all = c.frames_expected >= 0;
  // GOOD.DAT always goes out with its one block; the entry under test only
  // when it is cut rather than skipped.
  EXPECT_EQ(1 + (sent_at_all ? c.frames_expected : 0), data_frames) << c.label;
  EXPECT_EQ(sent_at_all ? 2u : 1u, names.size()) << c.label;

  auto journal = ts.ui->CommandsStartingWith("JOURNAL,");
  std::string warnings;
  for (const auto& l : journal)
    if (l.find("WARNING") != std::string::npos) warnings += l + "\n";
  EXPECT_EQ(1u, std::count(warnings.begin(), warnings.end(), '\n')) << warnings;
  EXPECT_NE(std::string::npos, warnings.find(c.warning)) << warnings;
  EXPECT_NE(std::string::npos, warnings.find(c.file)) << warnings;
  EXPECT_EQ(std::string::npos, warnings.find("missing file")) << warnings;
  EXPECT_THAT(ts.ui->CommandsStartingWith("AFFICHE, RESULTAT,1="),
              ::testing::Contains("AFFICHE, RESULTAT,1=OK, 1 warning"));
  bool summary = false;
  for (const auto& l : journal)
    summary |= l.find("handheld 001: OK, 1 warning,") != std::string::npos;
  EXPECT_TRUE(summary) << ::testing::PrintToString(journal);
}

std::string TextLines(int count, int width) {
  std::string out;
  for (int i = 0; i < count; ++i)
    out += std::string(width, static_cast<char>('a' + i % 26)) + "\r\n";
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, UnsendableEntryTest,
    ::testing::Values(
        Unsendable{"fifo", "PIPE    .DAT 04 B\r\n", "PIPE.DAT", "", FileKind::kFifo, false,
                   "not a regular file (trans/PIPE.DAT: FIFO)", -1},
        Unsendable{"device", "TTY     .DAT 04 B\r\n", "TTY.DAT", "", FileKind::kCharDevice, false,
                   "not a regular file (trans/TTY.DAT: character device)", -1},
        Unsendable{"directory", "DIR     .DAT 04 B\r\n", "DIR.DAT", "", FileKind::kDirectory, false,
                   "is a directory", -1},
        Unsendable{"unreadable", "SECRET  .DAT 04 B\r\n", "SECRET.DAT", "abcd", FileKind::kRegular,
                   true, "unreadable file (open trans/SECRET.DAT: Permission denied)", -1},
        // Lines of 62 listed as records of 64: every record would be shifted.
        Unsendable{"misaligned", "TEXT    .TXT 64\r\n", "TEXT.TXT", TextLines(41, 62),
                   FileKind::kRegular, false,
                   "records do not end in CR LF (trans/TEXT.TXT, 2624 bytes, records of 64)", -1},
        // The last line has lost its LF: it is no whole record, so the one
        // before goes out and the rest is told as a tail.
        Unsendable{"last line end", "LAST    .TXT 04\r\n", "LAST.TXT", "abcd\r\nefgh\r",
                   FileKind::kRegular, false, "last 5 bytes not sent (trans/LAST.TXT, 11 bytes", 1},
        // Aligned text with a last line of 3 bytes: sent without it.
        Unsendable{"text tail", "TAIL    .TXT 04\r\n", "TAIL.TXT", "abcd\r\nefgh\r\nxyz",
                   FileKind::kRegular, false, "last 3 bytes not sent (trans/TAIL.TXT, 15 bytes", 2},
        Unsendable{"binary tail", "BIN     .DAT 04 B\r\n", "BIN.DAT", "abcdefghij",
                   FileKind::kRegular, false, "last 2 bytes not sent", 2}),
    [](const auto& info) {
      std::string name = info.param.label;
      for (char& ch : name)
        if (ch == ' ') ch = '_';
      return name;
    });

TEST(FirstRecordWithoutLineEnd, FindsTheFirstMisplacedLineEndWhereverTheReadsAreCut) {
  BlockPlan plan;
  plan.block_size = 3;
  plan.line_ends = true;
  plan.total = 4;
  const std::string good = "abc\r\ndef\r\nghi\r\njkl\r\n";
  struct Case {
    std::string data;
    int64_t expected;
  } cases[] = {{good, -1},
               {good + "tail", -1},
               {"abc\r\ndef\n\rghi\r\njkl\r\n", 1},
               {"abc\r\ndef\r\nghi\r\njkl\rX", 3},
               {"abc\r\ndef\r\nghi\r\njkl\r", 3},  // cut short
               {"abcd\r\nef\r\nghi\r\njkl\r\n", 0}};
  for (const Case& c : cases) {
    // Reads of every size from 1 byte up: a line end split between two reads
    // is still seen.
    for (size_t chunk = 1; chunk <= c.data.size() + 1; ++chunk) {
      size_t at = 0;
      TableReadFn read = [&](uint8_t* buf, size_t n) {
        size_t k = std::min({n, chunk, c.data.size() - at});
        std::memcpy(buf, c.data.data() + at, k);
        at += k;
        return k;
      };
      EXPECT_EQ(c.expected, FirstRecordWithoutLineEnd(read, plan))
          << ::testing::PrintToString(c.data) << " chunk " << chunk;
    }
  }
}

}  // namespace
}  // namespace kavelin2
