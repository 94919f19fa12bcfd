// Downloads of tables that list what cannot be sent, against the real
// program over pseudo-terminal pairs: nothing blocks a line, each skip is
// told once, and a huge table neither floods the log nor holds the lines.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace kavelin2::e2e {
namespace {

size_t Count(const std::string& haystack, const std::string& needle) {
  size_t n = 0;
  for (size_t p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + 1))
    ++n;
  return n;
}

class DownloadE2E : public ::testing::Test {
 protected:
  std::string Link(int line) const { return dir_ / ("com" + std::to_string(line)); }

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

  WorkDir dir_;
  Settings settings_;
};

// A FIFO listed in one handheld's table, lines of 62 listed as records of 64
// in the other's: both exchanges complete, each skip is one warning naming
// the file, and the result says so.
TEST_F(DownloadE2E, FifoAndMisalignedFileAreSkippedWithTheirWarningAndBlockNoLine) {
  settings_.active[1] = true;
  ASSERT_EQ(0, mkfifo((dir_ / "TRANS/PIPE.DAT").c_str(), 0666));
  std::string text;
  for (int i = 0; i < 41; ++i) text += std::string(62, static_cast<char>('a' + i % 26)) + "\r\n";
  WriteFile(dir_ / "TRANS/TEXT.TXT", text);
  WriteFile(dir_ / "TRANS/GOOD.BIN", std::string(64, 'g'));
  WriteFile(dir_ / "TABLE/TABLE.011", "PIPE    .DAT 64 B\r\nGOOD    .BIN 64 B\r\n");
  WriteFile(dir_ / "TABLE/TABLE.022", "TEXT    .TXT 64\r\nGOOD    .BIN 64 B\r\n");
  mkdir((dir_ / "rx1").c_str(), 0777);
  mkdir((dir_ / "rx2").c_str(), 0777);
  auto sim1 = Simulator(1, {"--download", "011", "--receive-dir", "rx1"});
  auto sim2 = Simulator(2, {"--download", "022", "--receive-dir", "rx2"});
  auto station = Station();
  ASSERT_EQ(0, sim1->Finish(60000)) << sim1->Output();
  ASSERT_EQ(0, sim2->Finish(60000)) << sim2->Output();
  ASSERT_TRUE(WaitFor([&] { return StatRecords(dir_).size() >= 2; }, 20000));
  EXPECT_EQ(std::string(64, 'g'), ReadFile(dir_ / "rx1/GOOD.DAT"));
  EXPECT_EQ(std::string(64, 'g'), ReadFile(dir_ / "rx2/GOOD.DAT"));
  EXPECT_FALSE(FileExists(dir_ / "rx1/PIPE.DAT"));
  EXPECT_FALSE(FileExists(dir_ / "rx2/TEXT.DAT"));
  for (const std::string& r : StatRecords(dir_)) EXPECT_EQ("OK", r.substr(0, 2)) << r;
  EXPECT_EQ(0, station->Stop()) << station->Output();
  const std::string out = station->Output();
  EXPECT_EQ(2u, Count(out, "WARNING")) << out;
  EXPECT_EQ(1u,
            Count(out, "table entry 'PIPE.DAT' skipped: not a regular file (TRANS/PIPE.DAT: FIFO)"))
      << out;
  EXPECT_EQ(1u, Count(out,
                      "table entry 'TEXT.TXT' skipped: records do not end in CR LF "
                      "(TRANS/TEXT.TXT, 2624 bytes, records of 64)"))
      << out;
  EXPECT_EQ(1u, Count(out, "handheld 011: OK, 1 warning,")) << out;
  EXPECT_EQ(1u, Count(out, "handheld 022: OK, 1 warning,")) << out;
  const std::string shown = station->Transcript();
  EXPECT_NE(std::string::npos, shown.find("AFFICHE, RESULTAT,1=OK, 1 warning")) << shown;
  EXPECT_NE(std::string::npos, shown.find("AFFICHE, RESULTAT,2=OK, 1 warning")) << shown;
}

// 10 MB of entries whose files do not exist, with the removal of sent files:
// a dozen log lines about it, and the exchange ends promptly (the handheld
// waits 5 s at most for each answer, the announcement that skips them all
// included).
TEST_F(DownloadE2E, TenMegabyteTableGivesADozenWarningLinesAndEndsPromptly) {
  settings_.sup_fic = 'O';
  std::string table;
  char entry[32];
  for (int i = 0; table.size() < 10 * 1000 * 1000; ++i) {
    std::snprintf(entry, sizeof entry, "N%07d.DAT 64 B\r\n", i % 10000000);
    table += entry;
  }
  table += "GOOD    .BIN 64 B\r\n";
  WriteFile(dir_ / "TABLE/TABLE.033", table);
  WriteFile(dir_ / "TRANS/GOOD.BIN", std::string(64, 'g'));
  // The announcement that skips half a million entries takes seconds of a
  // loaded machine: the handheld is given more than its usual 5 s for it.
  auto sim =
      Simulator(1, {"--download", "033", "--receive-dir", "rx", "--answer-timeout", "30000"});
  auto started = std::chrono::steady_clock::now();
  auto station = Station();
  ASSERT_EQ(0, sim->Finish(120000)) << sim->Output();
  ASSERT_TRUE(WaitFor([&] { return StatRecords(dir_).size() >= 1; }, 60000));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("10 MB table: exchange with removal done %.2f s after the station started\n",
              seconds);
  EXPECT_EQ(std::string(64, 'g'), ReadFile(dir_ / "rx/GOOD.DAT"));
  EXPECT_FALSE(FileExists(dir_ / "TRANS/GOOD.BIN"));
  EXPECT_EQ("OK", StatRecords(dir_)[0].substr(0, 2));
  EXPECT_EQ(0, station->Stop()) << station->Output();
  const std::string out = station->Output();
  // The state lines of the exchange and a dozen about it, not 87 MB.
  EXPECT_LT(out.size(), 16000u) << out.substr(0, 4000);
  EXPECT_EQ(11u, Count(out, "WARNING")) << out.substr(0, 4000);
  EXPECT_NE(std::string::npos, out.find("more warnings not written ('N0000010.DAT'"))
      << out.substr(0, 4000);
  // Generous for a loaded machine: the byte-by-byte reading took 17 s.
  EXPECT_LT(seconds, 30.0);
}

}  // namespace
}  // namespace kavelin2::e2e
