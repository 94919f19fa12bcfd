// The paths dialog and its directory picker.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/settings.h"
#include "config/settings_test_util.h"
#include "dialogs/dialogs.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

using Commands = std::vector<std::string>;

std::string PathImage(const std::string& t, const std::string& r, const std::string& x,
                      const std::string& l) {
  return Field(t, 81) + Field(r, 81) + Field(x, 81) + Field(l, 81);
}

const Commands kOpenAndFill = {"OUVRE,CHEMIN.WDW", "AFFICHE, TABLE,=T\\", "AFFICHE, RECU,=R\\",
                               "AFFICHE, TRANS,=X\\", "AFFICHE, FICLOG,=L\\"};

struct PathsTest : testing::Test {
  void SetUp() override {
    WriteFile("CHEMIN.CFG", image);
    WriteFile("LANGUE.CFG", Field("Francais", 9));
    std::memcpy(ts.st.CurrentLanguage, "Francais", 9);
  }
  // Picker that returns |dir| for a browse button.
  void ScriptPick(const std::string& button, const std::string& dir) {
    ts.ui->ScriptStatus("ECRAN, SAISIE", button);
    ts.ui->ScriptStatus("ECRAN, SAISIE", "*V*");
    ts.ui->Script("ECRAN,RECUPERE,REPERTOIRE", Value(dir));
  }
  TestStation ts;
  std::string image = PathImage("T\\", "R\\", "X\\", "L\\");
};

TEST_F(PathsTest, WithoutAFileCreatesFourEmptyPathsAndCancelCloses) {
  TestStation fresh;
  EditPathSettings(fresh.st);  // the fake cancels CHEMIN.WDW with "*A*"
  EXPECT_EQ((Commands{"OUVRE,CHEMIN.WDW", "AFFICHE, TABLE,=", "AFFICHE, RECU,=", "AFFICHE, TRANS,=",
                      "AFFICHE, FICLOG,=", "ECRAN, SAISIE", "FERME"}),
            fresh.ui->commands);
  EXPECT_EQ(std::string(324, '\0'), ReadFile("CHEMIN.CFG"));
  EXPECT_TRUE(fresh.st.ui.StatusIs("???"));
}

TEST_F(PathsTest, BrowseThenCancelShowsThePickedDirectoryButKeepsTheFile) {
  ScriptPick("*B*", "C:\\TAB\\");
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*A*");
  EditPathSettings(ts.st);
  Commands expected = kOpenAndFill;
  for (const char* c :
       {"ECRAN, SAISIE", "OUVRE,SELREP.WDW", "WINDOWS,TCOURANT,Chemin d'acces aux tables",
        "ECRAN, SAISIE", "ECRAN,RECUPERE,REPERTOIRE", "FERME", "AFFICHE, TABLE,=C:\\TAB\\",
        "ECRAN, SAISIE", "FERME"})
    expected.push_back(c);
  EXPECT_EQ(expected, ts.ui->commands);
  EXPECT_EQ(image, ReadFile("CHEMIN.CFG"));
  EXPECT_STREQ("T\\", ts.st.Paths.TABLE);
  EXPECT_TRUE(ts.st.ui.StatusIs("???"));
}

TEST_F(PathsTest, BrowsingTwiceStoresTheSecondChoiceAtValidation) {
  ScriptPick("*R*", "D:\\FIRST\\");
  ScriptPick("*R*", "D:\\SECOND\\");
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*V*");  // fields fetched as the window shows them
  EditPathSettings(ts.st);
  EXPECT_TRUE(ts.ui->script_done());
  EXPECT_EQ(PathImage("T\\", "D:\\SECOND\\", "X\\", "L\\"), ReadFile("CHEMIN.CFG"));
  EXPECT_STREQ("D:\\SECOND\\", ts.st.Paths.RECU);
  EXPECT_EQ((Commands{"ECRAN,RECUPERE,TABLE", "ECRAN,RECUPERE,RECU", "ECRAN,RECUPERE,TRANS",
                      "ECRAN,RECUPERE,FICLOG", "FERME"}),
            Commands(ts.ui->commands.end() - 5, ts.ui->commands.end()));
}

TEST_F(PathsTest, ValidationStoresTheFetchedTextsCutToWidthWithZerosBehind) {
  WriteFile("CHEMIN.CFG", std::string(324, '\xFF'));
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*V*");
  ts.ui->Script("ECRAN,RECUPERE,TABLE", Value("A\\"));
  ts.ui->Script("ECRAN,RECUPERE,RECU", Value(std::string(100, 'r')));
  ts.ui->Script("ECRAN,RECUPERE,TRANS", Value(""));
  ts.ui->Script("ECRAN,RECUPERE,FICLOG", Value("C:\\LOG\\"));
  EditPathSettings(ts.st);
  EXPECT_EQ(PathImage("A\\", std::string(80, 'r'), "", "C:\\LOG\\"), ReadFile("CHEMIN.CFG"));
  // Validation ends the loop: one input only.
  EXPECT_EQ(1u, ts.ui->CommandsStartingWith("ECRAN, SAISIE").size());
  EXPECT_EQ("FERME", ts.ui->commands.back());
}

// Directories are prefixes: the dialog and the picker complete one typed or
// picked without its final separator, so that file names do not glue to its
// last component. An empty text stays empty (the working directory); a
// separator already there (either kind) is kept; a text that fills the field
// is kept as typed rather than cut.
TEST_F(PathsTest, TypedAndPickedDirectoriesGetTheirFinalSeparator) {
  ScriptPick("*T*", "/srv/station/trans");
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*V*");
  ts.ui->Script("ECRAN,RECUPERE,TABLE", Value("tables"));
  ts.ui->Script("ECRAN,RECUPERE,RECU", Value(std::string(80, 'r')));
  ts.ui->Script("ECRAN,RECUPERE,TRANS", Value(""));
  ts.ui->Script("ECRAN,RECUPERE,FICLOG", Value("C:\\LOG\\"));
  EditPathSettings(ts.st);
  EXPECT_TRUE(ts.ui->script_done());
  EXPECT_EQ(1u, ts.ui->CommandsStartingWith("AFFICHE, TRANS,=/srv/station/trans/").size());
  EXPECT_EQ(PathImage("tables/", std::string(80, 'r'), "", "C:\\LOG\\"), ReadFile("CHEMIN.CFG"));
  EXPECT_STREQ("tables/", ts.st.Paths.TABLE);
}

TEST_F(PathsTest, AnUnknownStatusAsksAgainWithoutClosing) {
  ts.ui->ScriptStatus("ECRAN, SAISIE", "ESC");
  ts.ui->ScriptStatus("ECRAN, SAISIE", "xAx");  // only the whole "*A*" ends the loop
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*A*");
  EditPathSettings(ts.st);
  Commands expected = kOpenAndFill;
  for (const char* c : {"ECRAN, SAISIE", "ECRAN, SAISIE", "ECRAN, SAISIE", "FERME"})
    expected.push_back(c);
  EXPECT_EQ(expected, ts.ui->commands);
  EXPECT_EQ(image, ReadFile("CHEMIN.CFG"));
}

TEST_F(PathsTest, CancellingThePickerLeavesTheField) {
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*T*");
  ts.ui->ScriptStatus("ECRAN, SAISIE", "ESC");
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*V*");
  EditPathSettings(ts.st);
  EXPECT_TRUE(ts.ui->CommandsStartingWith("ECRAN,RECUPERE,REPERTOIRE").empty());
  EXPECT_EQ(1u, ts.ui->CommandsStartingWith("AFFICHE, TRANS,").size());
  EXPECT_EQ(image, ReadFile("CHEMIN.CFG"));
}

TEST_F(PathsTest, BrowseWithAnUnknownLanguageDoesNothing) {
  std::memcpy(ts.st.CurrentLanguage, "Klingon", 8);
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*L*");
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*A*");
  EditPathSettings(ts.st);
  Commands expected = kOpenAndFill;
  for (const char* c : {"ECRAN, SAISIE", "ECRAN, SAISIE", "FERME"}) expected.push_back(c);
  EXPECT_EQ(expected, ts.ui->commands);
}

TEST_F(PathsTest, ARuntimeThatFailedToStartEndsTheDialog) {
  ts.ui->fail_init = true;
  EditPathSettings(ts.st);  // must return instead of asking forever
  EXPECT_TRUE(ts.ui->commands.empty());
  EXPECT_EQ(image, ReadFile("CHEMIN.CFG"));
}

struct CaptionCase {
  const char* language;
  char letter;
  const char* caption;
};

class PickerCaption : public testing::TestWithParam<CaptionCase> {};

TEST_P(PickerCaption, IsTheLocalizedTitleOfTheBrowsedField) {
  const CaptionCase& c = GetParam();
  TestStation ts;
  CopyField(ts.st.CurrentLanguage, sizeof ts.st.CurrentLanguage, c.language);
  ts.ui->ScriptStatus("ECRAN, SAISIE", std::string("*") + c.letter + "*");
  ts.ui->ScriptStatus("ECRAN, SAISIE", "ESC");  // picker cancelled
  EditPathSettings(ts.st);
  EXPECT_EQ(Commands{std::string("WINDOWS,TCOURANT,") + c.caption},
            ts.ui->CommandsStartingWith("WINDOWS,"));
}

INSTANTIATE_TEST_SUITE_P(
    AllLanguages, PickerCaption,
    testing::Values(CaptionCase{"Francais", 'B', "Chemin d'acces aux tables"},
                    CaptionCase{"Francais", 'R', "Chemin d'acces aux fichiers recus"},
                    CaptionCase{"Francais", 'T', "Chemin d'acces aux fichiers a transmettre"},
                    CaptionCase{"Francais", 'L', "Chemin d'acces au fichier d'etat"},
                    CaptionCase{"Anglais", 'B', "Access paths to the tables"},
                    CaptionCase{"Anglais", 'R', "Access paths to the received files"},
                    CaptionCase{"Anglais", 'T', "Access paths to the files to be transmitted"},
                    CaptionCase{"Anglais", 'L', "Access paths to the log file"},
                    CaptionCase{"Espagnol", 'B', "Camino de acceso a la tablas"},
                    CaptionCase{"Espagnol", 'R', "Camino de acceso a los ficheros recibidos"},
                    CaptionCase{"Espagnol", 'T', "Camino de acceso a los ficheros por transmitir"},
                    CaptionCase{"Espagnol", 'L', "Camino de acceso al fichero de estado"}));

TEST(PickDirectory, ReturnsTheChosenDirectoryOnlyOnValidation) {
  TestStation ts;
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*V*");
  ts.ui->Script("ECRAN,RECUPERE,REPERTOIRE", Value("E:\\DATA\\"));
  std::string chosen;
  EXPECT_TRUE(PickDirectory(ts.st, "Titre", &chosen));
  EXPECT_EQ("E:\\DATA\\", chosen);
  EXPECT_EQ((Commands{"OUVRE,SELREP.WDW", "WINDOWS,TCOURANT,Titre", "ECRAN, SAISIE",
                      "ECRAN,RECUPERE,REPERTOIRE", "FERME"}),
            ts.ui->commands);
  EXPECT_TRUE(ts.st.ui.StatusIs("???"));

  std::string untouched = "unchanged";
  EXPECT_FALSE(PickDirectory(ts.st, "Titre", &untouched));
  EXPECT_EQ("unchanged", untouched);
  EXPECT_TRUE(ts.st.ui.StatusIs("???"));
}

}  // namespace
}  // namespace kavelin2
