#include "journal/records.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "exchange/supervision.h"
#include "station/station.h"
#include "testing/fake_file_system.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

LineEntry StampedLine() {
  LineEntry line;
  std::memcpy(line.HandheldId, "A01", 4);
  std::memcpy(line.ExchangeDate, "12/06/26", 9);
  std::memcpy(line.ExchangeTime, "09:15:02", 9);
  return line;
}

std::string Stat(int result, const LineEntry& line, int number, long elapsed) {
  char out[37];
  BuildStatRecord(result, line, number, elapsed, out);
  return std::string(out, sizeof out);
}

TEST(BuildStatRecord, WritesEveryFieldAtItsOffset) {
  LineEntry line = StampedLine();
  EXPECT_EQ("OK A01 1 06/12/26 09:15:02 00.03'25\r\n", Stat(0, line, 1, 205));
  EXPECT_EQ("TO A01 1 06/12/26 09:15:02 01.02'05\r\n", Stat(1, line, 1, 3725));
  EXPECT_EQ("ER A01 2 06/12/26 09:15:02 00.00'59\r\n", Stat(2, line, 2, 59));
  EXPECT_EQ("   A01 1 06/12/26 09:15:02 00.01'00\r\n", Stat(7, line, 1, 60));
  EXPECT_EQ("   A01 1 06/12/26 09:15:02 00.01'00\r\n", Stat(-1, line, 1, 60));
}

TEST(BuildStatRecord, ShortIdentifierIsFilledWithNulBytes) {
  LineEntry line = StampedLine();
  std::memcpy(line.HandheldId, "7", 2);
  std::string rec = Stat(0, line, 1, 0);
  EXPECT_EQ(std::string("7\0\0", 3), rec.substr(3, 3));
  std::memcpy(line.HandheldId, "???", 4);
  EXPECT_EQ("???", Stat(0, line, 1, 0).substr(3, 3));
}

TEST(FormatElapsed, ClampsWhatDoesNotFitEightCharacters) {
  char text[9];
  FormatElapsed(99 * 3600 + 59 * 60 + 58, text);
  EXPECT_STREQ("99.59'58", text);
  FormatElapsed(100 * 3600, text);
  EXPECT_STREQ("99.59'59", text);
  FormatElapsed(1000000000L, text);
  EXPECT_STREQ("99.59'59", text);
  FormatElapsed(-5, text);  // a clock set back during the exchange
  EXPECT_STREQ("00.00'00", text);
}

TEST(BuildUnlinkRecord, IsOneHundredEighteenBytesWithThePathNulPadded) {
  LineEntry line = StampedLine();
  std::strcpy(line.RecvFilePath, "recu/CDE.001");
  char out[118];
  BuildUnlinkRecord(line, 2, out);
  std::string rec(out, sizeof out);
  std::string expected = "A01 2 06/12/26 09:15:02 recu/CDE.001";
  expected += std::string(92 - 12, '\0');
  expected += "\r\n";
  EXPECT_EQ(expected, rec);
}

TEST(BuildUnlinkRecord, NamesTheFileLeftOnDiskThenItsUploadCutAtTheFieldEnd) {
  struct Case {
    std::string left;    // RecvFilePath: the file left on disk
    const char* upload;  // UploadName
    std::string field;   // the 92 bytes at offset 24, NULs trimmed
  };
  const std::string long_dir(80, 'd');
  const Case cases[] = {
      {"recu/..RECUFIC.1", "CDE.001", "recu/..RECUFIC.1 CDE.001"},
      {"recu/AJOUTFIC.2", "COMMANDE.001", "recu/AJOUTFIC.2 COMMANDE.001"},
      {"recu/CDE.001", "CDE.001", "recu/CDE.001"},  // the upload is the file itself
      {"recu/X", "", "recu/X"},
      {long_dir + "/..RECUFIC.1", "COMMANDE.001",
       (long_dir + "/..RECUFIC.1 COMMANDE.001").substr(0, 92)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.left);
    LineEntry line = StampedLine();
    std::snprintf(line.RecvFilePath, sizeof line.RecvFilePath, "%s", c.left.c_str());
    std::snprintf(line.UploadName, sizeof line.UploadName, "%s", c.upload);
    char out[118];
    BuildUnlinkRecord(line, 1, out);
    std::string field(out + 24, 92);
    EXPECT_EQ(c.field + std::string(92 - c.field.size(), '\0'), field);
    EXPECT_EQ("A01 1 06/12/26 09:15:02 ", std::string(out, 24));
    EXPECT_EQ("\r\n", std::string(out + 116, 2));
  }
}

TEST(BuildUnlinkRecord, LongestPathFillsItsField) {
  LineEntry line = StampedLine();
  std::memset(line.RecvFilePath, 'p', sizeof line.RecvFilePath - 1);
  char out[118];
  BuildUnlinkRecord(line, 1, out);
  EXPECT_EQ(std::string(92, 'p'), std::string(out + 24, 92));
  EXPECT_EQ("\r\n", std::string(out + 116, 2));
}

TEST(AppendRecord, CreatesTheLogThenAppendsWholeRecords) {
  ScopedTempDir dir;
  std::unique_ptr<FileSystem> fs = NewPlatformFileSystem();
  EXPECT_TRUE(AppendRecord(*fs, "LOG.TXT", "abc\r\n", 5).ok());
  EXPECT_TRUE(AppendRecord(*fs, "LOG.TXT", "def\r\n", 5).ok());
  EXPECT_EQ("abc\r\ndef\r\n", ReadFile("LOG.TXT"));
  struct stat sb;
  ASSERT_EQ(0, ::stat("LOG.TXT", &sb));
  EXPECT_EQ(0600u, sb.st_mode & 0600u);  // readable and writable
}

TEST(AppendRecord, UnwritableLogIsReportedAndLeftAlone) {
  ScopedTempDir dir;
  ::mkdir("LOG.TXT", 0777);
  std::unique_ptr<FileSystem> fs = NewPlatformFileSystem();
  EXPECT_FALSE(AppendRecord(*fs, "LOG.TXT", "abc\r\n", 5).ok());
}

// A full disk, a failing disk and a power cut: the log holds whole records
// and only those, and every record reported written survives the cut.
TEST(AppendRecord, ALogKeepsOnlyWholeRecordsThroughFullDisksAndPowerCuts) {
  FakeFileSystem fs;
  ASSERT_TRUE(AppendRecord(fs, "STAT.TXT", "one\r\n", 5).ok());
  // A write that goes through in part, then none at all.
  fs.Inject({FsOp::kWrite, 1, ENOSPC, true, 3});
  EXPECT_FALSE(AppendRecord(fs, "STAT.TXT", "two\r\n", 5).ok());
  EXPECT_FALSE(AppendRecord(fs, "STAT.TXT", "six\r\n", 5).ok());
  EXPECT_EQ("one\r\n", fs.Contents("STAT.TXT"));
  fs.ClearFaults();
  // A record whose flush fails is taken back: the caller writes it again,
  // and a record there twice would be two exchanges.
  fs.FailNth(FsOp::kSync, 1, EIO);
  EXPECT_FALSE(AppendRecord(fs, "STAT.TXT", "ten\r\n", 5).ok());
  EXPECT_EQ("one\r\n", fs.Contents("STAT.TXT"));
  EXPECT_TRUE(AppendRecord(fs, "STAT.TXT", "end\r\n", 5).ok());
  EXPECT_EQ("one\r\nend\r\n", fs.Contents("STAT.TXT"));
  // A log that cannot be opened is no record.
  fs.FailNth(FsOp::kCreate, 1, EACCES);
  EXPECT_FALSE(AppendRecord(fs, "STAT.TXT", "xxx\r\n", 5).ok());

  // The log's name was made durable with its first record (its directory
  // synced): every record reported written stays.
  fs.CutPower();
  EXPECT_EQ("one\r\nend\r\n", fs.Contents("STAT.TXT"));
}

}  // namespace
}  // namespace kavelin2
