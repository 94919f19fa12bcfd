// The station program against the handheld simulator over pseudo-terminal
// pairs: what only real descriptors, real processes and the real clock show.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "e2e_support.h"

namespace kavelin2::e2e {
namespace {

constexpr char kAck = 0x06, kEnq = 0x05, kEot = 0x04, kRs = 0x1E, kNak = 0x15;
constexpr uint8_t kSoh = 0x01, kStx = 0x02;

// A text line of |width| characters, different for each |n|.
std::string TextLine(int n, size_t width) {
  std::string line = "LINE " + std::to_string(n) + " ";
  while (line.size() < width) line += static_cast<char>('A' + (line.size() + n) % 26);
  return line;
}

std::string Identification(const std::string& id) {
  std::string f(1, kRs);
  f += id;
  f += static_cast<char>(id[0] ^ id[1] ^ id[2]);
  return f;
}

size_t Count(const std::string& haystack, const std::string& needle) {
  size_t n = 0;
  for (size_t p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + 1))
    ++n;
  return n;
}

// The simulator's report as (seconds, text) lines.
std::vector<std::pair<double, std::string>> ReportLines(const std::string& out) {
  std::vector<std::pair<double, std::string>> lines;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    std::string line = out.substr(start, end - start);
    size_t close = line.find("] ");
    if (!line.empty() && line[0] == '[' && close != std::string::npos)
      lines.emplace_back(std::stod(line.substr(1)), line.substr(close + 2));
    start = end + 1;
  }
  return lines;
}

class StationE2E : public ::testing::Test {
 protected:
  void SetUp() override { start_ = time(nullptr); }

  std::string Link(int line) const { return dir_ / ("com" + std::to_string(line)); }

  // Starts the simulator on pseudo-terminal |line| and waits for its link.
  std::unique_ptr<SimulatorProcess> Simulator(int line, std::vector<std::string> args) {
    args.insert(args.begin(), {"--pty", Link(line)});
    auto sim = std::make_unique<SimulatorProcess>(dir_, "sim" + std::to_string(line), args);
    EXPECT_TRUE(WaitFor([&] { return FileExists(Link(line)); }, 5000));
    return sim;
  }

  std::unique_ptr<StationProcess> Station() {
    dir_.WriteSettings(settings_);
    std::map<std::string, std::string> ports;
    for (int i = 0; i < 2; ++i)
      if (settings_.active[i]) ports["COM" + std::to_string(i + 1)] = Link(i + 1);
    return std::make_unique<StationProcess>(dir_, ports);
  }

  // Waits until STAT.TXT holds |n| records.
  std::vector<std::string> AwaitStat(size_t n, int timeout_ms = 10000) {
    WaitFor([&] { return StatRecords(dir_).size() >= n; }, timeout_ms);
    return StatRecords(dir_);
  }

  void ExpectRecord(const std::string& record, const std::string& result, const std::string& id,
                    int line) {
    EXPECT_TRUE(MatchesStatRecord(record, result, id, line, start_, time(nullptr)))
        << "record '" << record << "', expected " << result << " " << id << " line " << line
        << " from " << StatRecord(result, id, line, start_, 0);
  }

  // Ends the test's station: SIGTERM, exit status 0.
  void StopStation(StationProcess& station) { EXPECT_EQ(0, station.Stop()) << station.Output(); }

  WorkDir dir_;
  Settings settings_;
  time_t start_ = 0;
};

// The complete exchange of the protocol's example, byte for byte both ways.
TEST_F(StationE2E, ExampleExchangeIsByteExactBothWays) {
  const std::string rec1 = "CMD0000001qty01", rec2 = "CMD0000002qty02";
  WriteFile(dir_ / "COMMANDE.001", rec1 + rec2);
  std::string l1 = TextLine(1, 64), l2 = TextLine(2, 64), l3 = TextLine(3, 64);
  WriteFile(dir_ / "TRANS/ARTICLES.DAT", l1 + "\r\n" + l2 + "\r\n" + l3 + "\r\n");
  WriteFile(dir_ / "TABLE/TABLE.001", "ARTICLES.DAT 64\r\n");

  auto sim =
      Simulator(1, {"--upload", "COMMANDE.001:15:10,05", "--download", "001", "--receive-dir", "rx",
                    "--log-sent", "sent.bin", "--log-received", "received.bin"});
  auto station = Station();
  ASSERT_EQ(0, sim->Finish()) << sim->Output() << station->Output();
  auto stat = AwaitStat(1);

  std::string sent = std::string(1, kEnq) + Frame(kSoh, "COMMANDE.00100002021005") +
                     Frame(kStx, "00001" + rec1) + Frame(kStx, "00002" + rec2) + kEot +
                     Identification("001") + std::string(9, kAck);
  std::string received = std::string(6, kAck) + kEnq + Frame(kSoh, "ARTICLES.DAT00003") + kEnq +
                         Frame(kSoh, "ARTICLES.DAT000030164") + Frame(kStx, "00001" + l1) +
                         Frame(kStx, "00002" + l2) + Frame(kStx, "00003" + l3) + kEot + kRs;
  EXPECT_EQ(sent, ReadFile(dir_ / "sent.bin"));
  EXPECT_EQ(received, ReadFile(dir_ / "received.bin"));
  EXPECT_EQ(rec1 + rec2, ReadFile(dir_ / "RECU/COMMANDE.001"));
  EXPECT_EQ(l1 + l2 + l3, ReadFile(dir_ / "rx/ARTICLES.DAT"));
  ASSERT_EQ(1u, stat.size());
  ExpectRecord(stat[0], "OK", "001", 1);
  // The table and the sent file stay: SUP_TAB and SUP_FIC are 'N'.
  EXPECT_TRUE(FileExists(dir_ / "TABLE/TABLE.001"));
  EXPECT_TRUE(FileExists(dir_ / "TRANS/ARTICLES.DAT"));
  // The station pauses 200 ms after the ACK of a name frame before its ENQ.
  auto lines = ReportLines(sim->Output());
  bool seen = false;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].second.rfind("step 8 ", 0) == 0) {
      seen = true;
      EXPECT_NE(std::string::npos, lines[i + 1].second.find("<- ENQ"));
      EXPECT_GE(lines[i + 1].first - lines[i].first, 0.195) << sim->Output();
    }
  }
  EXPECT_TRUE(seen) << sim->Output();
  StopStation(*station);

  std::string shown = station->Transcript();
  for (const char* command :
       {"AFFICHE, PHASE,1=PORTABLE -> PC", "AFFICHE, FICHIER,1=COMMANDE.001", "AFFICHE, BLOCS,1=2",
        "AFFICHE, TRANS,1=100 %", "AFFICHE, PHASE,1=PC -> PORTABLE",
        "AFFICHE, FICHIER,1=ARTICLES.DAT", "AFFICHE, ETAT,1=END"})
    EXPECT_NE(std::string::npos, shown.find(command)) << command;
}

TEST_F(StationE2E, RepeatedBlockIsAcknowledgedAndStoredOnce) {
  WriteFile(dir_ / "CDE.001", "AAAABBBBCCCC");
  auto sim = Simulator(1, {"--upload", "CDE.001:4", "--repeat-block", "2", "--download", "001",
                           "--log-received", "received.bin"});
  auto station = Station();
  ASSERT_EQ(0, sim->Finish()) << sim->Output();
  auto stat = AwaitStat(1);
  EXPECT_EQ("AAAABBBBCCCC", ReadFile(dir_ / "RECU/CDE.001"));
  // ENQ, header, four blocks (one twice), EOT, identification: all ACK;
  // then RS, as the handheld has no table file.
  EXPECT_EQ(std::string(8, kAck) + kRs, ReadFile(dir_ / "received.bin"));
  ASSERT_EQ(1u, stat.size());
  ExpectRecord(stat[0], "OK", "001", 1);
  StopStation(*station);
}

TEST_F(StationE2E, UploadOfNoRecordsLeavesAnEmptyFile) {
  WriteFile(dir_ / "EMPTY.014", "");
  auto sim =
      Simulator(1, {"--upload", "EMPTY.014:10", "--download", "014", "--log-sent", "sent.bin"});
  auto station = Station();
  ASSERT_EQ(0, sim->Finish()) << sim->Output();
  auto stat = AwaitStat(1);
  EXPECT_EQ(std::string(1, kEnq) + Frame(kSoh, "EMPTY   .014000000110") + kEot,
            ReadFile(dir_ / "sent.bin").substr(0, 26));
  EXPECT_TRUE(FileExists(dir_ / "RECU/EMPTY.014"));
  EXPECT_EQ("", ReadFile(dir_ / "RECU/EMPTY.014"));
  ASSERT_EQ(1u, stat.size());
  ExpectRecord(stat[0], "OK", "014", 1);
  StopStation(*station);
}

TEST_F(StationE2E, MissingBlocksAreRefusedUntilSentInOrder) {
  WriteFile(dir_ / "CDE.002", "AAAABBBBCCCC");
  // Block 1 left out (block 2 comes first), then block 3 (EOT comes early).
  auto sim = Simulator(1, {"--upload", "CDE.002:4", "--skip-block", "1", "--skip-block", "3",
                           "--download", "002", "--log-received", "received.bin"});
  auto station = Station();
  ASSERT_EQ(0, sim->Finish()) << sim->Output();
  AwaitStat(1);
  EXPECT_EQ("AAAABBBBCCCC", ReadFile(dir_ / "RECU/CDE.002"));
  // ENQ, header ACK; block 2 NAK; 1, 2 ACK; EOT NAK; 3, EOT ACK.
  std::string want =
      std::string(2, kAck) + kNak + std::string(2, kAck) + kNak + std::string(2, kAck);
  EXPECT_EQ(want, ReadFile(dir_ / "received.bin").substr(0, want.size()));
  StopStation(*station);
}

TEST_F(StationE2E, BadCheckBytesAreRefusedAndTheFramesTakenAgain) {
  WriteFile(dir_ / "CDE.003", "AAAABBBB");
  // Step 2 is the header, 3 a data block, 6 the identification.
  auto sim = Simulator(1, {"--upload", "CDE.003:4", "--corrupt-bcc", "2", "--corrupt-bcc", "3",
                           "--bad-id", "--download", "003", "--log-received", "received.bin"});
  auto station = Station();
  ASSERT_EQ(0, sim->Finish()) << sim->Output();
  auto stat = AwaitStat(1);
  EXPECT_EQ("AAAABBBB", ReadFile(dir_ / "RECU/CDE.003"));
  std::string want =
      std::string(1, kAck) + kNak + kAck + kNak + std::string(3, kAck) + kNak + kAck + kRs;
  EXPECT_EQ(want, ReadFile(dir_ / "received.bin").substr(0, want.size()));
  ASSERT_EQ(1u, stat.size());
  ExpectRecord(stat[0], "OK", "003", 1);
  StopStation(*station);
}

TEST_F(StationE2E, TenNaksInARowGetTheSameFrameAgain) {
  std::string line = TextLine(7, 20);
  WriteFile(dir_ / "TRANS/PRIX.TXT", line + "\r\n");
  WriteFile(dir_ / "TABLE/TABLE.004", "PRIX    .TXT 20\r\n");
  // Step 5 answers the header frame: refused ten times, then accepted.
  auto sim = Simulator(1, {"--download", "004", "--nak", "5:10", "--receive-dir", "rx",
                           "--log-received", "received.bin"});
  auto station = Station();
  ASSERT_EQ(0, sim->Finish()) << sim->Output();
  auto stat = AwaitStat(1);
  std::string header = Frame(kSoh, "PRIX    .DAT000010120");
  EXPECT_EQ(11u, Count(ReadFile(dir_ / "received.bin"), header));
  EXPECT_EQ(line, ReadFile(dir_ / "rx/PRIX.DAT"));
  ASSERT_EQ(1u, stat.size());
  ExpectRecord(stat[0], "OK", "004", 1);
  StopStation(*station);
}

TEST_F(StationE2E, EleventhNakEndsTheExchangeInError) {
  WriteFile(dir_ / "TRANS/PRIX.TXT", TextLine(1, 20) + "\r\n");
  WriteFile(dir_ / "TABLE/TABLE.005", "PRIX    .TXT 20\r\n");
  // Step 6 answers the first data frame.
  auto sim = Simulator(1, {"--download", "005", "--nak", "6:11", "--log-received", "received.bin"});
  auto station = Station();
  EXPECT_EQ(1, sim->Finish()) << sim->Output();
  auto stat = AwaitStat(1);
  std::string received = ReadFile(dir_ / "received.bin");
  std::string block = Frame(kStx, "00001" + TextLine(1, 20));
  // The block and its ten repeats, then EOT instead of an eleventh.
  EXPECT_EQ(11u, Count(received, block));
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(kEot, received.back());
  ASSERT_EQ(1u, stat.size());
  ExpectRecord(stat[0], "ER", "005", 1);
  EXPECT_NE(std::string::npos, sim->Output().find("after 11 NAKs"));
  StopStation(*station);
}

TEST_F(StationE2E, AppendAddsTheSecondUploadOfANameToTheFirst) {
  settings_.append = 'O';
  mkdir((dir_ / "first").c_str(), 0777);
  mkdir((dir_ / "second").c_str(), 0777);
  WriteFile(dir_ / "first/INV.006", "first-1 first-2 ");
  WriteFile(dir_ / "second/INV.006", "second1 ");
  auto sim = Simulator(1, {"--upload", "first/INV.006:8", "--download", "006", "--next", "--upload",
                           "second/INV.006:8", "--download", "006"});
  auto station = Station();
  ASSERT_EQ(0, sim->Finish()) << sim->Output();
  auto stat = AwaitStat(2);
  EXPECT_EQ("first-1 first-2 second1 ", ReadFile(dir_ / "RECU/INV.006"));
  EXPECT_FALSE(FileExists(dir_ / "RECU/AJOUTFIC.1"));
  ASSERT_EQ(2u, stat.size());
  ExpectRecord(stat[0], "OK", "006", 1);
  ExpectRecord(stat[1], "OK", "006", 1);
  StopStation(*station);
}

TEST_F(StationE2E, AddCrlfEndsEveryStoredRecordWithALineEnd) {
  settings_.add_crlf = 'O';
  WriteFile(dir_ / "LINES.015", "first!second");
  auto sim = Simulator(1, {"--upload", "LINES.015:6", "--download", "015"});
  auto station = Station();
  ASSERT_EQ(0, sim->Finish()) << sim->Output();
  auto stat = AwaitStat(1);
  EXPECT_EQ("first!\r\nsecond\r\n", ReadFile(dir_ / "RECU/LINES.015"));
  ASSERT_EQ(1u, stat.size());
  ExpectRecord(stat[0], "OK", "015", 1);
  StopStation(*station);
}

TEST_F(StationE2E, BothLinesServeTheirHandheldsAtOnce) {
  settings_.active[1] = true;
  settings_.append = 'O';
  std::string a(64 * 200, 'a'), b(64 * 200, 'b');
  WriteFile(dir_ / "STOCK.011", a);
  WriteFile(dir_ / "STOCK.022", b);
  WriteFile(dir_ / "TRANS/TARIF.BIN", std::string(640, 't'));
  WriteFile(dir_ / "TABLE/TABLE.011", "TARIF   .BIN 64 B\r\n");
  WriteFile(dir_ / "TABLE/TABLE.022", "TARIF   .BIN 64 B\r\n");
  mkdir((dir_ / "rx1").c_str(), 0777);
  mkdir((dir_ / "rx2").c_str(), 0777);
  auto sim1 =
      Simulator(1, {"--upload", "STOCK.011:64", "--download", "011", "--receive-dir", "rx1"});
  auto sim2 =
      Simulator(2, {"--upload", "STOCK.022:64", "--download", "022", "--receive-dir", "rx2"});
  auto station = Station();
  ASSERT_EQ(0, sim1->Finish()) << sim1->Output();
  ASSERT_EQ(0, sim2->Finish()) << sim2->Output();
  auto stat = AwaitStat(2);
  EXPECT_EQ(a, ReadFile(dir_ / "RECU/STOCK.011"));
  EXPECT_EQ(b, ReadFile(dir_ / "RECU/STOCK.022"));
  EXPECT_EQ(std::string(640, 't'), ReadFile(dir_ / "rx1/TARIF.DAT"));
  EXPECT_EQ(std::string(640, 't'), ReadFile(dir_ / "rx2/TARIF.DAT"));
  ASSERT_EQ(2u, stat.size());
  // Either line may finish first.
  bool first_is_1 = stat[0].substr(3, 3) == "011";
  ExpectRecord(stat[first_is_1 ? 0 : 1], "OK", "011", 1);
  ExpectRecord(stat[first_is_1 ? 1 : 0], "OK", "022", 2);
  StopStation(*station);
}

TEST_F(StationE2E, CompleteDownloadRemovesSentFilesAndTable) {
  settings_.sup_fic = 'O';
  settings_.sup_tab = 'O';
  WriteFile(dir_ / "TRANS/ONE.TXT", TextLine(1, 10) + "\r\n");
  WriteFile(dir_ / "TRANS/TWO.TXT", TextLine(2, 10) + "\r\n");
  WriteFile(dir_ / "TRANS/KEEP.TXT", TextLine(3, 10) + "\r\n");
  WriteFile(dir_ / "TABLE/TABLE.007", "ONE     .TXT 10\r\nTWO     .TXT 10\r\n");
  auto sim = Simulator(1, {"--download", "007", "--receive-dir", "rx"});
  auto station = Station();
  ASSERT_EQ(0, sim->Finish()) << sim->Output();
  AwaitStat(1);
  EXPECT_EQ(TextLine(1, 10), ReadFile(dir_ / "rx/ONE.DAT"));
  EXPECT_EQ(TextLine(2, 10), ReadFile(dir_ / "rx/TWO.DAT"));
  EXPECT_FALSE(FileExists(dir_ / "TRANS/ONE.TXT"));
  EXPECT_FALSE(FileExists(dir_ / "TRANS/TWO.TXT"));
  EXPECT_TRUE(FileExists(dir_ / "TRANS/KEEP.TXT"));
  EXPECT_FALSE(FileExists(dir_ / "TABLE/TABLE.007"));
  StopStation(*station);
}

// Every layout of a table entry: text lines, 'S' (4-byte file header),
// 'B' (records back to back), 'T' (field list) and PD3.
TEST_F(StationE2E, EveryTableLayoutIsSentAsItsHeaderSays) {
  std::string text = TextLine(1, 16) + "\r\n" + TextLine(2, 16) + "\r\n";
  std::string s_records = std::string(8, 's') + std::string(8, 'S') + std::string(8, 'z');
  std::string b_records = std::string(12, 'b') + std::string(12, 'B');
  std::string t_records = std::string(35, 'x') + std::string(35, 'y');
  std::string pd3 = std::string(128, 'p') + "\r\n" + std::string(128, 'q') + "\r\n";
  WriteFile(dir_ / "TRANS/TXT.TXT", text + "partial line");
  WriteFile(dir_ / "TRANS/SREC.001", "HDR!" + s_records);
  WriteFile(dir_ / "TRANS/BREC.001", b_records);
  WriteFile(dir_ / "TRANS/FLD.001", t_records);
  WriteFile(dir_ / "TRANS/PRIX.PD3", pd3);
  WriteFile(dir_ / "TABLE/TABLE.008",
            "TXT     .TXT 16\r\n"
            "SREC    .001 08 S\r\n"
            "BREC    .001 12 B\r\n"
            "FLD     .001 TB03503102203\r\n"
            "PRIX    .PD3\r\n");
  auto sim = Simulator(1, {"--download", "008", "--receive-dir", "rx"});
  auto station = Station();
  ASSERT_EQ(0, sim->Finish()) << sim->Output();
  AwaitStat(1);
  EXPECT_EQ(TextLine(1, 16) + TextLine(2, 16), ReadFile(dir_ / "rx/TXT.DAT"));
  EXPECT_EQ(s_records, ReadFile(dir_ / "rx/SREC.DAT"));
  EXPECT_EQ(b_records, ReadFile(dir_ / "rx/BREC.DAT"));
  EXPECT_EQ(t_records, ReadFile(dir_ / "rx/FLD.DAT"));
  EXPECT_EQ(std::string(128, 'p') + std::string(128, 'q'), ReadFile(dir_ / "rx/PRIX.PD3"));
  // Name and header frames as each layout has them.
  EXPECT_EQ("name frame: TXT     .DAT00002\nheader: TXT     .DAT000020116\nblocks received: 2\n",
            ReadFile(dir_ / "rx/TXT.DAT.header"));
  EXPECT_EQ(
      "name frame: SREC    .DAT00003S\nheader: SREC    .DAT000030108\n"
      "blocks received: 3\n",
      ReadFile(dir_ / "rx/SREC.DAT.header"));
  EXPECT_EQ("name frame: FLD.DAT00002\nheader: FLD.DAT     0000203102203\nblocks received: 2\n",
            ReadFile(dir_ / "rx/FLD.DAT.header"));
  EXPECT_EQ("name frame: PRIX    .PD300002\nheader: PRIX    .PD300002\nblocks received: 2\n",
            ReadFile(dir_ / "rx/PRIX.PD3.header"));
  StopStation(*station);
}

TEST_F(StationE2E, HostileNamesAreRefusedAndNothingIsWrittenOutsideItsDirectory) {
  WriteFile(dir_ / "GOOD.009", "goodgood");
  WriteFile(dir_ / "OUTSIDE.T", TextLine(9, 10) + "\r\n");  // beside TRANS, not in it
  WriteFile(dir_ / "TRANS/OK.TXT", TextLine(1, 10) + "\r\n");
  WriteFile(dir_ / "TABLE/TABLE.009", "../OUTSIDE.T 10\r\nOK      .TXT 10\r\n");
  auto sim = Simulator(1, {"--keep-going", "--upload", "GOOD.009:8", "--name-field", "../../EVIL.1",
                           "--upload", "GOOD.009:8", "--name-field", "/TMP/X  .009", "--upload",
                           "GOOD.009:8", "--download", "009", "--receive-dir", "rx"});
  auto station = Station();
  // Not complete: two uploads were refused; the rest of the exchange went on.
  EXPECT_EQ(1, sim->Finish()) << sim->Output();
  auto stat = AwaitStat(1);
  std::string out = sim->Output();
  EXPECT_NE(std::string::npos, out.find("refused  '../../EVIL.1'")) << out;
  EXPECT_NE(std::string::npos, out.find("refused  '/TMP/X  .009'")) << out;
  EXPECT_EQ("goodgood", ReadFile(dir_ / "RECU/GOOD.009"));
  EXPECT_EQ(std::vector<std::string>{"GOOD.009"}, ListDir(dir_ / "RECU"));
  EXPECT_FALSE(FileExists(dir_ / "../EVIL.1"));
  EXPECT_FALSE(FileExists("/TMP/X.009"));
  // The table's entry that names a file outside TRANS is skipped.
  EXPECT_EQ(std::string::npos, out.find("OUTSI")) << out;
  EXPECT_EQ(std::string::npos, out.find("unsafe-name")) << out;
  EXPECT_EQ(TextLine(1, 10), ReadFile(dir_ / "rx/OK.DAT"));
  ASSERT_EQ(1u, stat.size());
  ExpectRecord(stat[0], "OK", "009", 1);
  StopStation(*station);
}

// Each signal that stops the station lets a running upload end first.
TEST_F(StationE2E, StopRequestedDuringAnExchangeWaitsForItsEnd) {
  std::string data;
  for (int i = 0; i < 40; ++i) data += TextLine(i, 32);
  WriteFile(dir_ / "LONG.010", data);
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(strsignal(sig));
    std::remove((dir_ / "RECU/LONG.010").c_str());
    std::remove((dir_ / "STAT.TXT").c_str());
    std::remove((dir_ / "sim1.out").c_str());  // the last round's report
    auto sim = Simulator(1, {"--upload", "LONG.010:32", "--pace", "20", "--download", "010"});
    auto station = Station();
    ASSERT_TRUE(WaitFor([&] { return sim->Output().find("step 5 ") != std::string::npos; }, 10000))
        << sim->Output();
    station->child().Signal(sig);
    EXPECT_EQ(0, sim->Finish()) << sim->Output();
    EXPECT_EQ(0, station->child().Wait(15000)) << station->Output();
    EXPECT_EQ(data, ReadFile(dir_ / "RECU/LONG.010"));
    auto stat = StatRecords(dir_);
    ASSERT_EQ(1u, stat.size());
    ExpectRecord(stat[0], "OK", "010", 1);
  }
}

// The one test on the real clock's time-outs (about 35 seconds). Line 1: a
// handheld that falls silent in a download is prompted with ENQ every 3
// seconds and the exchange ends "TO" at the eleventh time-out. Line 2: a
// handheld that hangs up in the middle of an upload; the station must not
// spin on the dead line meanwhile, and the partial file goes.
TEST_F(StationE2E, SilentHandheldIsPromptedAndTheExchangeEndsByTimeOut) {
  settings_.active[1] = true;
  settings_.sup_tab = 'O';
  settings_.portable = 'O';
  WriteFile(dir_ / "TRANS/PRIX.TXT", TextLine(1, 20) + "\r\n");
  WriteFile(dir_ / "TABLE/TABLE.012", "PRIX    .TXT 20\r\n");
  WriteFile(dir_ / "PART.013", "AAAABBBB");
  // Step 2 acknowledges the station's ENQ; the name frame gets no answer.
  auto sim = Simulator(1, {"--download", "012", "--silent-after", "2", "--listen", "45000"});
  // Step 3 is the first block; then the simulator ends and its line is gone.
  auto gone = Simulator(2, {"--upload", "PART.013:4", "--silent-after", "3", "--listen", "0"});
  auto station = Station();
  EXPECT_EQ(1, gone->Finish()) << gone->Output();
  double cpu_start = ProcessCpuSeconds(station->child().pid());
  time_t wall_start = time(nullptr);

  EXPECT_EQ(1, sim->Finish(60000)) << sim->Output();
  std::string out = sim->Output();
  // "[   t ]           <- ENQ   (prompt n)": ten prompts about 3 s apart.
  std::vector<double> times;
  for (const auto& [t, text] : ReportLines(out))
    if (text.find("(prompt ") != std::string::npos) times.push_back(t);
  ASSERT_EQ(10u, times.size()) << out;
  for (size_t i = 1; i < times.size(); ++i) {
    EXPECT_GT(times[i] - times[i - 1], 2.5) << out;
    EXPECT_LT(times[i] - times[i - 1], 4.0) << out;
  }
  EXPECT_NE(std::string::npos, out.find("ended the exchange with EOT after 10 prompts")) << out;
  auto stat = AwaitStat(2);
  double cpu = ProcessCpuSeconds(station->child().pid()) - cpu_start;
  double wall = static_cast<double>(time(nullptr) - wall_start);
  // A loop that keeps polling a hung-up line takes a whole core.
  EXPECT_LT(cpu, 0.2 * wall) << cpu << " s of CPU in " << wall << " s";

  ASSERT_EQ(2u, stat.size());
  bool first_is_1 = stat[0].substr(7, 1) == "1";
  ExpectRecord(stat[first_is_1 ? 0 : 1], "TO", "012", 1);
  // The line that hung up ends its exchange in error at once: no one is
  // left to wait for.
  ExpectRecord(stat[first_is_1 ? 1 : 0], "ER", "013", 2);
  // SUP_TAB and PORTABLE: the table of a failed exchange goes too; the sent
  // file stays, and the partly received file is deleted.
  EXPECT_FALSE(FileExists(dir_ / "TABLE/TABLE.012"));
  EXPECT_TRUE(FileExists(dir_ / "TRANS/PRIX.TXT"));
  EXPECT_EQ(std::vector<std::string>{}, ListDir(dir_ / "RECU"));
  StopStation(*station);
}

// A cradle's adapter pulled out and plugged back, twice, on line 1 (the
// handheld's end of the pseudo-terminal closed, a new one behind the same
// link): once while the line is idle, once in the middle of an upload. Line 2
// serves a slow handheld all along. About 25 seconds.
TEST_F(StationE2E, LostLineComesBackByItselfWhileTheOtherLineGoesOnServing) {
  using Clock = std::chrono::steady_clock;
  auto seconds_since = [](Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
  };
  settings_.active[1] = true;
  WriteFile(dir_ / "A.001", std::string(8, 'a'));
  WriteFile(dir_ / "C.001", std::string(4 * 200, 'c'));
  WriteFile(dir_ / "D.001", std::string(12, 'd'));
  WriteFile(dir_ / "B.002", std::string(4 * 25, 'b'));
  auto sim = [this](const std::string& name, int line, std::vector<std::string> args) {
    args.insert(args.begin(), {"--pty", Link(line), "--connect-timeout", "20000"});
    auto p = std::make_unique<SimulatorProcess>(dir_, name, args);
    EXPECT_TRUE(WaitFor([&] { return FileExists(Link(line)); }, 5000));
    return p;
  };
  // Line 2: one record every 0.8 s, about 20 s in all.
  auto other = sim("other", 2, {"--upload", "B.002:4", "--download", "002", "--pace", "800"});
  auto first = sim("first", 1, {"--upload", "A.001:4", "--download", "001"});
  auto station = Station();
  ASSERT_EQ(0, first->Finish()) << first->Output() << station->Output();
  first.reset();  // its end of the line is closed now: the line is idle and gone

  // The outage: a few wake-ups a second at most.
  ASSERT_TRUE(WaitFor([&] { return station->Output().find(" lost: ") != std::string::npos; }, 5000))
      << station->Output();
  double cpu_start = ProcessCpuSeconds(station->child().pid());
  auto outage_start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(8));
  double cpu = ProcessCpuSeconds(station->child().pid()) - cpu_start;
  double outage = seconds_since(outage_start);
  EXPECT_LT(cpu, 0.01 * outage) << cpu << " s of CPU in " << outage << " s";

  // Back: served within 11 s (the back-off is at its 8 s step here); this
  // handheld vanishes after its fifth step, in the middle of its upload.
  auto back = Clock::now();
  auto broken = sim("broken", 1, {"--upload", "C.001:4", "--silent-after", "5", "--listen", "0"});
  EXPECT_EQ(1, broken->Finish()) << broken->Output();
  EXPECT_LT(seconds_since(back), 11.0) << broken->Output();
  broken.reset();
  ASSERT_TRUE(WaitFor([&] { return AwaitStat(2, 0).size() >= 2; }, 3000));

  // Back again: a complete exchange within 11 s.
  back = Clock::now();
  auto again = sim("again", 1, {"--upload", "D.001:4", "--download", "001"});
  EXPECT_EQ(0, again->Finish()) << again->Output() << station->Output();
  EXPECT_LT(seconds_since(back), 11.0);
  EXPECT_EQ(0, other->Finish(40000)) << other->Output();
  auto stat = AwaitStat(4);

  ASSERT_EQ(4u, stat.size()) << station->Output();
  std::vector<std::string> line1, line2;
  for (const std::string& r : stat) (r[7] == '1' ? line1 : line2).push_back(r);
  ASSERT_EQ(3u, line1.size());
  ExpectRecord(line1[0], "OK", "001", 1);
  ExpectRecord(line1[1], "ER", "001", 1);
  ExpectRecord(line1[2], "OK", "001", 1);
  ASSERT_EQ(1u, line2.size());
  ExpectRecord(line2[0], "OK", "002", 2);
  // Every upload that ended stands whole; the broken one left nothing.
  EXPECT_EQ((std::vector<std::string>{"A.001", "B.002", "D.001"}), ListDir(dir_ / "RECU"));
  EXPECT_EQ(std::string(4 * 25, 'b'), ReadFile(dir_ / "RECU/B.002"));

  // The summary line follows the STAT.TXT record.
  EXPECT_TRUE(WaitFor(
      [&] { return station->Output().find("Line 2, handheld 002: OK") != std::string::npos; },
      3000));
  std::string log = station->Output();
  // The reason is the system's: "hung up", or the error of a write that
  // came first.
  std::string device = "Line 1: device COM1 (" + Link(1) + ") lost: ";
  // Once per loss: the first handheld's, the broken one's, and the last one's
  // when it ended.
  EXPECT_EQ(3u, Count(log, device)) << log;
  EXPECT_EQ(2u, Count(log, "Line 1: device COM1 (" + Link(1) + ") open again")) << log;
  EXPECT_EQ(1u, Count(log, "Line 1, handheld 001: ER (device lost (")) << log;
  // Line 2 was never disturbed: its device goes only when its handheld ends.
  size_t line2_done = log.find("Line 2, handheld 002: OK");
  ASSERT_NE(std::string::npos, line2_done) << log;
  EXPECT_GT(log.find("Line 2: device"), line2_done) << log;
  EXPECT_NE(std::string::npos, station->Transcript().find("AFFICHE, ETAT,1=DISCONNECTED"));
  StopStation(*station);
}

// The station program headless in |cwd| with COM1 on |device|, its standard
// error apart.
std::unique_ptr<Child> StationIn(const std::string& cwd, const std::string& device,
                                 const std::string& out, const std::string& err) {
  return std::make_unique<Child>(BuildDir() + "/kavelin2", std::vector<std::string>{}, cwd,
                                 std::map<std::string, std::string>{{"KAVELIN2_UI", "headless"},
                                                                    {"KAVELIN2_PORT_COM1", device}},
                                 out, err);
}

// A station on line holds its working directory and its received-files
// directory: a second one in the same working directory, and one in a
// working directory of its own whose received files go to the same
// directory, each end with status 6 and one line naming the directory and
// the first one's pid, before they touch anything; the first serves on.
TEST_F(StationE2E, ASecondStationOnTheSameDirectoriesRefusesAndTheFirstServesOn) {
  dir_.WriteSettings(settings_);
  WriteFile(dir_ / "A.001", "AAAABBBB");
  WriteFile(dir_ / "B.001", "CCCCDDDD");
  auto sim = Simulator(1, {"--upload", "A.001:4"});
  auto first = StationIn(dir_.path(), Link(1), dir_ / "first.out", dir_ / "first.err");
  ASSERT_EQ(0, sim->Finish()) << sim->Output() << first->Output();
  ASSERT_EQ(1u, AwaitStat(1).size()) << first->Output();
  const std::string pid = std::to_string(first->pid());

  WorkDir other;
  other.WriteSettings(settings_);
  std::string paths = ReadFile(other / "CHEMIN.CFG");
  const std::string shared = dir_ / "RECU/";
  ASSERT_LT(shared.size(), 81u);
  paths.replace(81, shared.size(), shared);
  WriteFile(other / "CHEMIN.CFG", paths);
  struct Second {
    std::string cwd;
    std::string line;
  };
  for (const Second& second :
       {Second{dir_.path(), "kavelin2: directory . in use by another station (pid " + pid + ")\n"},
        Second{other.path(), "kavelin2: directory " + shared + " in use by another station (pid " +
                                 pid + ")\n"}}) {
    auto refused =
        StationIn(second.cwd, dir_ / "no-such-device", dir_ / "second.out", dir_ / "second.err");
    EXPECT_EQ(6, refused->Wait(20000)) << refused->Output();
    EXPECT_EQ(second.line, refused->Errors());
    EXPECT_TRUE(first->Running());
  }
  // The first one is undisturbed: its line (the handheld's pseudo-terminal
  // made anew) serves the next upload.
  auto again = Simulator(1, {"--upload", "B.001:4"});
  ASSERT_EQ(0, again->Finish(40000)) << again->Output() << first->Output();
  EXPECT_EQ("AAAABBBB", ReadFile(dir_ / "RECU/A.001"));
  EXPECT_EQ("CCCCDDDD", ReadFile(dir_ / "RECU/B.001"));
  EXPECT_EQ(2u, AwaitStat(2).size());
  first->Signal(SIGTERM);
  EXPECT_EQ(0, first->Wait(20000)) << first->Output();
  EXPECT_EQ("", first->Errors());
  EXPECT_EQ(std::string::npos, first->Output().find("in use")) << first->Output();
}

// STAT.TXT that cannot be written (a directory in its place): the exchange
// ends as it would, the log says once which file and why, and the record
// waits; once STAT.TXT can be made again the timer writes it. Broken again,
// the next record waits until the stop, which hands it to standard error.
TEST_F(StationE2E, AnUnwritableResultLogIsToldAndItsRecordsAreWrittenLaterOrHandedOver) {
  settings_.language = "Anglais";
  dir_.WriteSettings(settings_);
  WriteFile(dir_ / "A.001", "AAAABBBB");
  ASSERT_EQ(0, mkdir((dir_ / "STAT.TXT").c_str(), 0777));
  auto sim = Simulator(1, {"--upload", "A.001:4", "--download", "001"});
  auto station = StationIn(dir_.path(), Link(1), dir_ / "station.out", dir_ / "station.err");
  ASSERT_EQ(0, sim->Finish()) << sim->Output() << station->Output();
  const std::string told =
      "ERROR STAT.TXT cannot be written: create STAT.TXT: Is a directory; "
      "its records wait in memory";
  ASSERT_TRUE(WaitFor([&] { return station->Output().find(told) != std::string::npos; }, 10000))
      << station->Output();
  EXPECT_NE(std::string::npos, station->Output().find("Line 1, handheld 001: OK"));

  ASSERT_EQ(0, rmdir((dir_ / "STAT.TXT").c_str()));
  auto stat = AwaitStat(1, 25000);
  ASSERT_EQ(1u, stat.size()) << station->Output();
  ExpectRecord(stat[0], "OK", "001", 1);
  EXPECT_TRUE(WaitFor(
      [&] {
        return station->Output().find("STAT.TXT written again: 1 waiting records written") !=
               std::string::npos;
      },
      5000))
      << station->Output();

  ASSERT_EQ(0, std::rename((dir_ / "STAT.TXT").c_str(), (dir_ / "STAT.OLD").c_str()));
  ASSERT_EQ(0, mkdir((dir_ / "STAT.TXT").c_str(), 0777));
  auto again = Simulator(1, {"--upload", "A.001:4", "--download", "001"});
  ASSERT_EQ(0, again->Finish(40000)) << again->Output() << station->Output();
  ASSERT_TRUE(WaitFor([&] { return Count(station->Output(), told) == 2; }, 10000))
      << station->Output();
  station->Signal(SIGTERM);
  EXPECT_EQ(0, station->Wait(20000)) << station->Output();
  const std::string head =
      "kavelin2: STAT.TXT could not be written (create STAT.TXT: Is a directory); its 1 waiting "
      "records follow\n";
  const std::string err = station->Errors();
  ASSERT_EQ(head.size() + 37, err.size()) << err;
  EXPECT_EQ(head, err.substr(0, head.size()));
  ExpectRecord(err.substr(head.size()), "OK", "001", 1);
}

}  // namespace
}  // namespace kavelin2::e2e
