// Program entry: the first commands, the language code, and how the command
// line chooses between the menu and on-line mode.
#include <string>
#include <vector>

#include "app/app.h"
#include "app/app_test_util.h"

namespace kavelin2 {
namespace {

using StationMainTest = AppTest;

TEST_F(StationMainTest, CommandLinePShowsTheMenuAndWaitsForTheUser) {
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  // The menu input is answered "ESC", the quit question yes.
  EXPECT_EQ(commands(), (std::vector<std::string>{
                            "BIBLI,DISQUE,KAVELIN2.WDL",
                            "NATION,5",
                            "OUVRE,MENU.WDW",
                            "ECRAN, SAISIE",
                            "OUINON, Etes vous sur de vouloir quitter KAVELIN2 ?",
                            "FERME",
                        }));
  EXPECT_EQ(t.ui->fin_calls, 1);
  EXPECT_FALSE(t.ui->loaded);
  EXPECT_TRUE(t.ui->windows.empty());
}

class GoesOnLineAtOnce : public AppTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(GoesOnLineAtOnce, WithAnyCommandLineButP) {
  StopOnLineModeAtOnce();
  EXPECT_EQ(StationMain(t.st, GetParam()), 0);
  const std::vector<std::string> start = {
      "BIBLI,DISQUE,KAVELIN2.WDL",
      "NATION,5",
      "OUVRE,MENU.WDW",
      "FERME",
      "OUVRE,KAVELIN2.WDW",
      "AFFICHE, PHASE,1=INIT",
      "AFFICHE, PHASE,2=INIT",
  };
  ASSERT_GE(commands().size(), start.size());
  EXPECT_EQ(std::vector<std::string>(commands().begin(), commands().begin() + start.size()), start);
  // Back on the menu after on-line mode, which waits for the user there.
  EXPECT_TRUE(
      InOrder(commands(), {"AFFICHE, PHASE,2=INIT", "FERME", "OUVRE,MENU.WDW", "ECRAN, SAISIE",
                           "OUINON, Etes vous sur de vouloir quitter "
                           "KAVELIN2 ?",
                           "FERME"}));
}

INSTANTIATE_TEST_SUITE_P(CommandLines, GoesOnLineAtOnce,
                         ::testing::Values("", "p", "P ", " P", "PP", "-P"));

struct LanguageCase {
  const char* name;
  const char* nation;
  const char* quit;
};

class StationMainLanguage : public AppTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(StationMainLanguage, SendsTheRuntimeLanguageOfTheLoadedName) {
  UseLanguage(GetParam().name);
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  EXPECT_EQ(commands(), (std::vector<std::string>{"BIBLI,DISQUE,KAVELIN2.WDL", GetParam().nation,
                                                  "OUVRE,MENU.WDW", "ECRAN, SAISIE",
                                                  GetParam().quit, "FERME"}));
}

INSTANTIATE_TEST_SUITE_P(
    Languages, StationMainLanguage,
    ::testing::Values(
        LanguageCase{"Francais", "NATION,5", "OUINON, Etes vous sur de vouloir quitter KAVELIN2 ?"},
        LanguageCase{"Anglais", "NATION,3", "OUINON, Are you sure to quit KAVELIN2 ?"},
        LanguageCase{"Espagnol", "NATION,7", "OUINON, Esta seguro de querer salir de KAVELIN2 ?"}));

TEST_F(StationMainTest, UnknownLanguageIsReadAsFrenchSoTheMenuCanBeQuit) {
  UseLanguage("francais");  // the comparison is case-sensitive
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  // Without a language "ESC" could not be confirmed and the menu would wait
  // for ever; in French the quit question is asked and answered.
  EXPECT_EQ(commands(), (std::vector<std::string>{
                            "BIBLI,DISQUE,KAVELIN2.WDL",
                            "JOURNAL,LANGUE.CFG ne contient aucune langue connue "
                            "(Francais, Anglais, Espagnol): Francais utilise",
                            "NATION,5", "OUVRE,MENU.WDW", "ECRAN, SAISIE",
                            "OUINON, Etes vous sur de vouloir quitter KAVELIN2 ?", "FERME"}));
}

TEST_F(StationMainTest, WithoutLanguageFileTheLanguageDialogRunsBeforeTheMenu) {
  std::remove("LANGUE.CFG");
  std::memset(t.st.CurrentLanguage, 0, sizeof t.st.CurrentLanguage);
  t.ui->ScriptStatus("ECRAN, SAISIE", "*A*");  // English, in "LANGUE.WDW"
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  EXPECT_EQ(commands().front(), "BIBLI,DISQUE,KAVELIN2.WDL");
  EXPECT_TRUE(InOrder(commands(), {"BIBLI,DISQUE,KAVELIN2.WDL", "OUVRE,LANGUE.WDW", "NATION,3",
                                   "FERME", "NATION,3", "OUVRE,MENU.WDW", "ECRAN, SAISIE",
                                   "OUINON, Are you sure to quit KAVELIN2 ?", "FERME"}));
  EXPECT_EQ(CountOf(commands(), "OUVRE,MENU.WDW"), 1u);
  EXPECT_EQ(ReadFile("LANGUE.CFG"), std::string("Anglais\0\0", 9));
}

TEST_F(StationMainTest, CommandLinePLoadsTheScheduleForTheMenuLaunches) {
  // On disk: "progc.sh"; in memory something stale that must be replaced.
  std::snprintf(t.st.Schedule.PROGC, sizeof t.st.Schedule.PROGC, "%s", "stale");
  MenuInput("*M*", "UA");
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  EXPECT_EQ(t.launcher.launched,
            (std::vector<std::pair<std::string, int>>{{"progc.sh", ProgramLauncher::kShowNormal}}));
}

TEST_F(StationMainTest, RuntimeThatNeverStartsEndsTheProgramInsteadOfSpinning) {
  t.ui->fail_init = true;
  EXPECT_NE(StationMain(t.st, "P"), 0);
  EXPECT_TRUE(commands().empty());
  EXPECT_GE(t.ui->init_calls, 2);  // every command tried to start it again
  EXPECT_FALSE(t.ui->loaded);
}

}  // namespace
}  // namespace kavelin2
