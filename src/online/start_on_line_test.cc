// The preparation for going on line and the directory check.
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "app/app_test_util.h"
#include "online/online.h"

namespace kavelin2 {
namespace {

using StartOnLineTest = AppTest;

TEST_F(StartOnLineTest, ShowsInitForBothLinesAndResetsTheLines) {
  t.st.Ports.line[0].ACTIVE = 'O';  // only line 1 active: line 2 shows INIT too
  StoreSettingsFiles();
  for (LineEntry& line : t.st.LineTable) {
    line.LineState = kStateSendingData;
    line.LinePhase = kPhaseDownload;
    std::memcpy(line.HandheldId, "A07", 4);
    std::snprintf(line.RecvFilePath, sizeof line.RecvFilePath, "%s", "recu/FILE.DAT");
    line.NakCount = 4;
    line.TimeoutCount = 7;
    std::memcpy(line.ExchangeDate, "12/06/26", 9);
    std::memcpy(line.ExchangeTime, "09:15:02", 9);
  }
  t.st.PendingProgram = 1;

  EXPECT_EQ(StartOnLine(t.st), 1);
  EXPECT_EQ(commands(),
            (std::vector<std::string>{"AFFICHE, PHASE,1=INIT", "AFFICHE, PHASE,2=INIT"}));
  for (const LineEntry& line : t.st.LineTable) {
    EXPECT_EQ(line.LineState, kStateIdle);
    EXPECT_EQ(line.LinePhase, kPhaseNone);
    EXPECT_STREQ(line.HandheldId, "???");
    EXPECT_STREQ(line.RecvFilePath, "");
    EXPECT_EQ(line.NakCount, 0);
    EXPECT_EQ(line.TimeoutCount, 0);
    EXPECT_STREQ(line.ExchangeDate, "");
    EXPECT_STREQ(line.ExchangeTime, "");
  }
  EXPECT_EQ(t.st.PendingProgram, 0);
  EXPECT_EQ(t.st.ProgCLaunched, 1);
  EXPECT_EQ(t.st.ProgDLaunched, 1);
}

TEST_F(StartOnLineTest, ClosesTheFilesOfAnExchangeCutShort) {
  ASSERT_TRUE(t.st.fs.Create("data.tmp", CreateMode::kTruncate, &t.st.LineTable[0].DataFile).ok());
  ASSERT_TRUE(t.st.fs.OpenForReading("data.tmp", &t.st.LineTable[1].TableFile).ok());
  EXPECT_EQ(StartOnLine(t.st), 1);
  for (const LineEntry& line : t.st.LineTable) {
    EXPECT_EQ(line.DataFile, nullptr);
    EXPECT_EQ(line.TableFile, nullptr);
  }
}

TEST_F(StartOnLineTest, MissingTablesPathRefusedLeavesTheOtherPathsUnchecked) {
  SetPaths("t1/", "t2/", "t3/", "t4/");
  StoreSettingsFiles();
  AnswerNext("OUINON", false);
  EXPECT_EQ(StartOnLine(t.st), 0);
  EXPECT_EQ(t.ui->CommandsStartingWith("OUINON"),
            std::vector<std::string>{"OUINON, t1/\nChemin inexistant. Voulez vous le créer?"});
  EXPECT_TRUE(t.ui->CommandsStartingWith("ERREUR").empty());
  for (const char* d : {"t1", "t2", "t3", "t4"}) EXPECT_FALSE(FileExists(d)) << d;
}

TEST_F(StartOnLineTest, MissingPathsAreOfferedInOrderAndCreated) {
  SetPaths("t1/", "t2/", "t3/", "t4/");
  StoreSettingsFiles();
  EXPECT_EQ(StartOnLine(t.st), 1);
  EXPECT_EQ(t.ui->CommandsStartingWith("OUINON"),
            (std::vector<std::string>{"OUINON, t1/\nChemin inexistant. Voulez vous le créer?",
                                      "OUINON, t2/\nChemin inexistant. Voulez vous le créer?",
                                      "OUINON, t3/\nChemin inexistant. Voulez vous le créer?",
                                      "OUINON, t4/\nChemin inexistant. Voulez vous le créer?"}));
  for (const char* d : {"t1", "t2", "t3", "t4"}) EXPECT_TRUE(FileExists(d)) << d;
}

TEST_F(StartOnLineTest, StopsAtTheFirstPathThatCannotBeCreated) {
  SetPaths("tables/", "no/such/", "t3/", "t4/");
  StoreSettingsFiles();
  EXPECT_EQ(StartOnLine(t.st), 0);
  EXPECT_EQ(t.ui->CommandsStartingWith("ERREUR"),
            std::vector<std::string>{"ERREUR, Création imposible du répertoire \nno/such/"});
  EXPECT_EQ(t.ui->CommandsStartingWith("OUINON").size(), 1u);
  EXPECT_FALSE(FileExists("no"));
  EXPECT_FALSE(FileExists("t3"));
}

struct PathMessages {
  const char* language;
  const char* question;  // after "OUINON, <path>\n"
  const char* error;     // before "\n<path>"
};

class EnsurePathExistsTest : public AppTest, public ::testing::WithParamInterface<PathMessages> {
 protected:
  void SetUp() override { UseLanguage(GetParam().language); }
  std::string Question(const std::string& path) {
    return "OUINON, " + path + "\n" + GetParam().question;
  }
  std::string Error(const std::string& path) { return GetParam().error + ("\n" + path); }
};

TEST_P(EnsurePathExistsTest, ExistingPathIsAcceptedWithoutQuestion) {
  EXPECT_EQ(EnsurePathExists(t.st, "recu/"), 1);
  EXPECT_EQ(EnsurePathExists(t.st, "recu"), 1);
  EXPECT_TRUE(commands().empty());
}

TEST_P(EnsurePathExistsTest, MissingPathIsCreatedOnYes) {
  EXPECT_EQ(EnsurePathExists(t.st, "new/"), 1);
  EXPECT_EQ(commands(), std::vector<std::string>{Question("new/")});
  EXPECT_TRUE(FileExists("new"));
}

TEST_P(EnsurePathExistsTest, MissingPathRefusedIsNotCreated) {
  AnswerNext("OUINON", false);
  EXPECT_EQ(EnsurePathExists(t.st, "new/"), 0);
  EXPECT_EQ(commands(), std::vector<std::string>{Question("new/")});
  EXPECT_FALSE(FileExists("new"));
}

TEST_P(EnsurePathExistsTest, OnlyOneLevelIsCreated) {
  EXPECT_EQ(EnsurePathExists(t.st, "a/b/"), 0);
  EXPECT_EQ(commands(), (std::vector<std::string>{Question("a/b/"), Error("a/b/")}));
  EXPECT_FALSE(FileExists("a"));
}

TEST_P(EnsurePathExistsTest, EmptyPathIsTheWorkingDirectoryWithoutQuestion) {
  EXPECT_EQ(EnsurePathExists(t.st, ""), 1);
  EXPECT_TRUE(commands().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Languages, EnsurePathExistsTest,
    ::testing::Values(PathMessages{"Francais", "Chemin inexistant. Voulez vous le créer?",
                                   "ERREUR, Création imposible du répertoire "},
                      PathMessages{"Anglais", "Non existent path. Do you want to create it?",
                                   "ERREUR, Imposible creation of the directory "},
                      PathMessages{"Espagnol", "Camino inexistente. Crear el camino?",
                                   "ERREUR, No es posible crear el directorio "}));

TEST_F(StartOnLineTest, WithoutKnownLanguageAMissingPathIsNotCreatedUnasked) {
  UseLanguage("Deutsch");
  t.st.ui.UiReply.intValue = 1;  // a stale yes from an earlier reply
  EXPECT_EQ(EnsurePathExists(t.st, "new/"), 0);
  EXPECT_TRUE(commands().empty());
  EXPECT_FALSE(FileExists("new"));
}

// While on line the station holds its working directory and its
// received-files directory; another holder of either keeps it off line with
// status 6, the directory and the holder's pid, and nothing of the first
// station's files is touched (no recovery ran). Off line again, it lets both
// go. The same directory named twice is locked once.
TEST_F(StartOnLineTest, LocksTheWorkingAndReceivedDirectoriesAndRefusesWhileAnotherHoldsOne) {
  StoreSettingsFiles();
  // A stale partial upload that the recovery would remove.
  WriteFile("recu/..RECUFIC.1", "partial");
  const std::string pid = std::to_string(getpid());
  struct Held {
    const char* lock_path;
    const char* directory;
  };
  for (const Held& held : {Held{".kavelin2.lock", "."}, Held{"recu/.kavelin2.lock", "recu/"}}) {
    SCOPED_TRACE(held.lock_path);
    std::unique_ptr<FileLock> other;
    ASSERT_TRUE(t.st.fs.Lock(held.lock_path, &other, nullptr).ok());
    std::string failure;
    int status = 0;
    t.ui->commands.clear();
    EXPECT_EQ(StartOnLine(t.st, &failure, &status), 0);
    EXPECT_EQ(6, status);
    EXPECT_EQ(std::string(held.directory) + " in use by another station (pid " + pid + ")",
              failure);
    EXPECT_EQ(t.ui->CommandsStartingWith("JOURNAL,"),
              std::vector<std::string>{"JOURNAL,Repertoire " + std::string(held.directory) +
                                       " utilise par une autre station (pid " + pid +
                                       ") : pas de mise en ligne"});
    EXPECT_TRUE(t.st.DirectoryLocks.empty());
    EXPECT_EQ("partial", ReadFile("recu/..RECUFIC.1"));
  }

  ASSERT_EQ(StartOnLine(t.st), 1);
  EXPECT_FALSE(FileExists("recu/..RECUFIC.1"));  // recovered, now that it is ours
  EXPECT_EQ(2u, t.st.DirectoryLocks.size());
  for (const char* path : {".kavelin2.lock", "recu/.kavelin2.lock"}) {
    std::unique_ptr<FileLock> other;
    int holder = 0;
    FsStatus s = t.st.fs.Lock(path, &other, &holder);
    EXPECT_EQ(EAGAIN, s.code()) << path;
    EXPECT_EQ(getpid(), holder) << path;
  }
  t.st.DirectoryLocks.clear();  // off line
  for (const char* path : {".kavelin2.lock", "recu/.kavelin2.lock"}) {
    std::unique_ptr<FileLock> other;
    EXPECT_TRUE(t.st.fs.Lock(path, &other, nullptr).ok()) << path;
  }

  // Received files in the working directory, named either way: one lock.
  for (const char* recu : {"", "./"}) {
    SetPaths("tables/", recu, "trans/", "log/");
    StoreSettingsFiles();
    EXPECT_EQ(StartOnLine(t.st), 1) << recu;
    EXPECT_EQ(1u, t.st.DirectoryLocks.size()) << recu;
  }
}

}  // namespace
}  // namespace kavelin2
