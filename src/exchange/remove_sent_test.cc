#include <gtest/gtest.h>

#include <string>

#include "exchange/download_fixture.h"

namespace kavelin2 {
namespace {

class RemoveSentFilesTest : public DownloadFixture {
 protected:
  void SetUp() override { std::strcpy(L().TablePath, "tables/TABLE.001"); }
  // Files of the directory of files to transmit that the download sent whole.
  void Files(std::initializer_list<const char*> names) {
    for (const char* n : names) {
      WriteFile(std::string("trans/") + n, "x");
      L().SentFiles.push_back(std::string("trans/") + n);
    }
  }
};

const char* kFrenchMessage = "Erreur, Format de la table incorrect \n Taille limitée à 60.";

TEST_F(RemoveSentFilesTest, RemovesEveryNamedFileButPd3Lines) {
  Files({"A.DAT", "B.DAT", "C.TXT", "P.PD3", "KEEP.DAT"});
  WriteFile("trans/SKIPPED.DAT", "never sent");
  WriteFile("tables/TABLE.001",
            "A       .DAT 10\r\n"
            "SKIPPED .DAT 10\r\n"  // named but not sent: stays
            "MISSING .DAT 10\r\n"  // already gone: no error
            "B       .DAT 10 B\r\n"
            "P       .PD3\r\n"  // 14 bytes: names nothing
            "C       .TXT TB010020505\r\n");
  RemoveSentFiles(ts.st, ts.st.LineTable[0]);
  EXPECT_FALSE(FileExists("trans/A.DAT"));
  EXPECT_FALSE(FileExists("trans/B.DAT"));
  EXPECT_FALSE(FileExists("trans/C.TXT"));
  EXPECT_TRUE(FileExists("trans/P.PD3"));
  EXPECT_TRUE(FileExists("trans/KEEP.DAT"));
  EXPECT_EQ("never sent", ReadFile("trans/SKIPPED.DAT"));
  EXPECT_TRUE(Commands("Erreur").empty());
  EXPECT_EQ(nullptr, L().TableFile);
  EXPECT_TRUE(L().SentFiles.empty());  // the next download starts its own list
}

TEST_F(RemoveSentFilesTest, LineOfSixtyBytesStopsWithTheMessage) {
  Files({"A.DAT", "B.DAT", "C.DAT"});
  std::string long_line = "B       .DAT 10" + std::string(44, ' ') + "\n";  // 59 + LF
  ASSERT_EQ(60u, long_line.size());
  WriteFile("tables/TABLE.001", "A       .DAT 10\r\n" + long_line + "C       .DAT 10\r\n");
  RemoveSentFiles(ts.st, ts.st.LineTable[0]);
  EXPECT_FALSE(FileExists("trans/A.DAT"));  // before the long line: removed
  EXPECT_TRUE(FileExists("trans/B.DAT"));
  EXPECT_TRUE(FileExists("trans/C.DAT"));  // after it: not looked at
  EXPECT_EQ(std::vector<std::string>{kFrenchMessage}, ts.ui->commands);
  EXPECT_EQ(nullptr, L().TableFile);
}

TEST_F(RemoveSentFilesTest, LineOfFiftyNineBytesIsAccepted) {
  Files({"B.DAT", "C.DAT"});
  std::string line58 = "B       .DAT 10" + std::string(43, ' ') + "\n";
  WriteFile("tables/TABLE.001", line58 + "C       .DAT 10");  // last line without LF
  RemoveSentFiles(ts.st, ts.st.LineTable[0]);
  EXPECT_FALSE(FileExists("trans/B.DAT"));
  EXPECT_FALSE(FileExists("trans/C.DAT"));
  EXPECT_TRUE(ts.ui->commands.empty());
}

TEST_F(RemoveSentFilesTest, ShortLastLineNamesNothing) {
  Files({"C.DAT"});
  WriteFile("tables/TABLE.001", "C       .DAT 1");  // 14 bytes
  RemoveSentFiles(ts.st, ts.st.LineTable[0]);
  EXPECT_TRUE(FileExists("trans/C.DAT"));
}

TEST_F(RemoveSentFilesTest, NeverRemovesOutsideTheDirectory) {
  WriteFile("BAD", "must stay");
  Files({"OK.DAT"});
  WriteFile("tables/TABLE.001", "..      /BAD 10\r\nOK      .DAT 10\r\n");
  RemoveSentFiles(ts.st, ts.st.LineTable[0]);
  EXPECT_TRUE(FileExists("BAD"));
  EXPECT_FALSE(FileExists("trans/OK.DAT"));
}

TEST_F(RemoveSentFilesTest, MessageInEachLanguageAndNoneInAnother) {
  std::string long_line = std::string(70, 'L') + "\n";
  WriteFile("tables/TABLE.001", long_line);
  std::strcpy(ts.st.CurrentLanguage, "Anglais");
  RemoveSentFiles(ts.st, ts.st.LineTable[0]);
  std::strcpy(ts.st.CurrentLanguage, "Espagnol");
  RemoveSentFiles(ts.st, ts.st.LineTable[0]);
  std::strcpy(ts.st.CurrentLanguage, "Deutsch");
  RemoveSentFiles(ts.st, ts.st.LineTable[0]);
  EXPECT_EQ((std::vector<std::string>{
                "Erreur, Invalid table format \n limited to 60.",
                "Erreur, Formato de la tabla incorrecto \n el tamaño no puede superar los 60."}),
            ts.ui->commands);
}

TEST_F(RemoveSentFilesTest, MissingTableRemovesNothing) {
  Files({"A.DAT"});
  RemoveSentFiles(ts.st, ts.st.LineTable[0]);
  EXPECT_TRUE(FileExists("trans/A.DAT"));
  EXPECT_EQ(nullptr, L().TableFile);
}

}  // namespace
}  // namespace kavelin2
