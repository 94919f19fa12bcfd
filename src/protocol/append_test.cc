#include "protocol/upload_fixture.h"

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
    EXPECT_EQ(-1, line().DataFile);
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

}  // namespace
}  // namespace kavelin2
