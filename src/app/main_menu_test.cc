// Whole menu sessions: the station is started with "P" (menu first) or ""
// (on line first), the user's inputs are scripted, and the command strings
// are checked in order.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "app/app_test_util.h"
#include "exchange/exchange.h"
#include "online/online.h"

namespace kavelin2 {
namespace {

constexpr char kQuitFr[] = "OUINON, Etes vous sur de vouloir quitter KAVELIN2 ?";
using Launches = std::vector<std::pair<std::string, int>>;

using MainMenuTest = AppTest;

class QuitQuestion : public AppTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(QuitQuestion, AnsweredNoLeavesTheMenuWaiting) {
  if (std::string(GetParam()) == "ESC") {
    MenuInput("ESC");
  } else {
    MenuInput("*M*", "PI");
  }
  AnswerNext("OUINON", false);
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  EXPECT_EQ(commands(), (std::vector<std::string>{"BIBLI,DISQUE,KAVELIN2.WDL", "NATION,5",
                                                  "OUVRE,MENU.WDW", "ECRAN, SAISIE", kQuitFr,
                                                  "ECRAN, SAISIE", kQuitFr, "FERME"}));
  EXPECT_EQ(t.ui->fin_calls, 1);
}

INSTANTIATE_TEST_SUITE_P(EscapeAndMenuItem, QuitQuestion, ::testing::Values("ESC", "PI"));

TEST_F(MainMenuTest, QuitFromTheMenuItemEndsTheProgram) {
  MenuInput("*M*", "PI");
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  EXPECT_EQ(CountOf(commands(), "ECRAN, SAISIE"), 1u);
  EXPECT_EQ(commands().back(), "FERME");
  EXPECT_FALSE(t.ui->loaded);
}

// The result file.

struct ResultMessages {
  const char* language;
  const char* empty;
  const char* remove;
};

class ResultFile : public AppTest, public ::testing::WithParamInterface<ResultMessages> {};

TEST_P(ResultFile, WithoutStatTxtViewAndRemoveOnlyShowTheEmptyFileMessage) {
  UseLanguage(GetParam().language);
  MenuInput("*M*", "RV");
  MenuInput("*M*", "RR");
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  EXPECT_TRUE(InOrder(commands(), {"OUVRE,MENU.WDW", "ECRAN, SAISIE", GetParam().empty,
                                   "ECRAN, SAISIE", GetParam().empty, "ECRAN, SAISIE"}));
  EXPECT_EQ(CountOf(commands(), GetParam().empty), 2u);
  EXPECT_EQ(t.ui->CommandsStartingWith("OUINON").size(), 1u);  // the quit question only
  EXPECT_TRUE(t.ui->CommandsStartingWith("VOIR").empty());
  EXPECT_TRUE(t.launcher.launched.empty());
  EXPECT_TRUE(t.launcher.viewed.empty());
  EXPECT_FALSE(FileExists("STAT.TXT"));
}

TEST_P(ResultFile, RemoveAnsweredNoKeepsStatTxtAndYesRemovesIt) {
  UseLanguage(GetParam().language);
  WriteFile("STAT.TXT", "record\r\n");
  MenuInput("*M*", "RR");
  AnswerNext("OUINON", false);
  MenuInput("*M*", "RR");
  observe_ = [&](const std::string& command) {
    // After the first answer: STAT.TXT is still there when asked again.
    if (command == GetParam().remove) {
      EXPECT_TRUE(FileExists("STAT.TXT"));
    }
  };
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  EXPECT_EQ(CountOf(commands(), GetParam().remove), 2u);
  EXPECT_EQ(CountOf(commands(), GetParam().empty), 0u);
  EXPECT_FALSE(FileExists("STAT.TXT"));  // the second answer was yes
}

INSTANTIATE_TEST_SUITE_P(
    Languages, ResultFile,
    ::testing::Values(ResultMessages{"Francais", "INFO, Fichier resultats vide.",
                                     "OUINON, Effacement du fichier resultats?"},
                      ResultMessages{"Anglais", "INFO, Empty result file.",
                                     "OUINON, Delete of the result file?"},
                      ResultMessages{"Espagnol", "INFO, Fichero de resultados vasillo.",
                                     "OUINON, Borrar el fichero de resultados?"}));

TEST_F(MainMenuTest, ViewOpensStatTxtInTheDesktopViewer) {
  WriteFile("STAT.TXT", "record\r\n");
  t.launcher.desktop = true;
  MenuInput("*M*", "RV");
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  EXPECT_EQ(t.launcher.viewed, std::vector<std::string>{"STAT.TXT"});
  EXPECT_TRUE(t.ui->CommandsStartingWith("VOIR").empty());
  EXPECT_TRUE(FileExists("STAT.TXT"));
}

TEST_F(MainMenuTest, ViewWithoutDesktopShowsStatTxtThroughTheUiRuntime) {
  WriteFile("STAT.TXT", "record\r\n");
  t.launcher.desktop = false;
  MenuInput("*M*", "RV");
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  EXPECT_TRUE(InOrder(commands(), {"ECRAN, SAISIE", "VOIR,STAT.TXT", "ECRAN, SAISIE"}));
  EXPECT_TRUE(t.launcher.viewed.empty());
  EXPECT_TRUE(t.launcher.launched.empty());
}

// Other menu items.

TEST_F(MainMenuTest, AboutBoxShowsTheVersionAndWaitsForTheUser) {
  MenuInput("*M*", "A");
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  EXPECT_EQ(commands(), (std::vector<std::string>{
                            "BIBLI,DISQUE,KAVELIN2.WDL", "NATION,5", "OUVRE,MENU.WDW",
                            "ECRAN, SAISIE", "OUVRE,APROPOS.WDW", "AFFICHE,VERSION,=Version 1.95",
                            "ECRAN, SAISIE", "FERME", "ECRAN, SAISIE", kQuitFr, "FERME"}));
}

TEST_F(MainMenuTest, LanguageItemReopensTheMenuWindowEvenWithoutChange) {
  MenuInput("*M*", "PA");
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  EXPECT_TRUE(InOrder(commands(), {"OUVRE,MENU.WDW", "ECRAN, SAISIE", "FERME", "OUVRE,MENU.WDW",
                                   "ECRAN, SAISIE", kQuitFr, "FERME"}));
  EXPECT_EQ(CountOf(commands(), "OUVRE,MENU.WDW"), 2u);
  EXPECT_TRUE(t.ui->windows.empty());  // every window opened was closed
  EXPECT_TRUE(InOrder(commands(), {"OUVRE,LANGUE.WDW", "FERME", "FERME", "OUVRE,MENU.WDW"}));
}

TEST_F(MainMenuTest, ProgramItemsLaunchTheirCommandLinesInANormalWindow) {
  for (const char* code : {"UD", "UA", "UT", "UP"}) MenuInput("*M*", code);
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  EXPECT_EQ(t.launcher.launched, (Launches{{"progd.sh --daily", ProgramLauncher::kShowNormal},
                                           {"progc.sh", ProgramLauncher::kShowNormal},
                                           {"progfin.sh", ProgramLauncher::kShowNormal},
                                           {"PROG.BAT", ProgramLauncher::kShowNormal}}));
  // Launches by hand change none of the schedule's launch state.
  EXPECT_EQ(t.st.ProgCLaunched, 0);
  EXPECT_EQ(t.st.ProgDLaunched, 0);
}

TEST_F(MainMenuTest, UnknownCodeAndOtherStatusesBringTheUserBackToTheMenu) {
  MenuInput("*M*", "ZZ");
  MenuInput("*M*", "");
  MenuInput("*V*", "PI");  // not a menu choice
  MenuInput("???");
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  EXPECT_EQ(commands(),
            (std::vector<std::string>{"BIBLI,DISQUE,KAVELIN2.WDL", "NATION,5", "OUVRE,MENU.WDW",
                                      "ECRAN, SAISIE", "ECRAN, SAISIE", "ECRAN, SAISIE",
                                      "ECRAN, SAISIE", "ECRAN, SAISIE", kQuitFr, "FERME"}));
  EXPECT_TRUE(t.launcher.launched.empty());
}

TEST_F(MainMenuTest, SettingsItemsOpenTheirDialogs) {
  const std::vector<std::pair<const char*, const char*>> items = {
      {"PM", "OUVRE,MODEM.WDW"},    {"PP", "OUVRE,SERIE.WDW"},  {"PD", "OUVRE,DECONEX.WDW"},
      {"PF", "OUVRE,FICHIERS.WDW"}, {"PE", "OUVRE,CHEMIN.WDW"}, {"PA", "OUVRE,LANGUE.WDW"}};
  // Each dialog's own input gets the runtime's default: cancelled.
  for (const auto& item : items) MenuInput("*M*", item.first);
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  std::vector<std::string> windows;
  for (const auto& item : items) windows.push_back(item.second);
  EXPECT_TRUE(InOrder(commands(), windows));
  EXPECT_TRUE(t.ui->windows.empty());
  EXPECT_TRUE(t.ui->CommandsStartingWith("OUVRE,KAVELIN2.WDW").empty());
}

// Going on line from the menu.

TEST_F(MainMenuTest, OnLineFromTheMenuComesBackToTheMenuAndReloadsAtTheNextStart) {
  StopOnLineModeAtOnce();
  MenuInput("*B*");
  MenuInput("*B*");
  EXPECT_EQ(StationMain(t.st, "P"), 0);
  EXPECT_TRUE(InOrder(commands(), {"OUVRE,MENU.WDW", "ECRAN, SAISIE", "FERME", "OUVRE,KAVELIN2.WDW",
                                   "AFFICHE, PHASE,1=INIT", "AFFICHE, PHASE,2=INIT", "FERME",
                                   "OUVRE,MENU.WDW", "ECRAN, SAISIE", "FERME", "OUVRE,KAVELIN2.WDW",
                                   "AFFICHE, PHASE,1=INIT", "AFFICHE, PHASE,2=INIT", "FERME",
                                   "OUVRE,MENU.WDW", "ECRAN, SAISIE", kQuitFr, "FERME"}));
  EXPECT_EQ(CountOf(commands(), "OUVRE,KAVELIN2.WDW"), 2u);
  EXPECT_TRUE(t.ui->windows.empty());
}

TEST_F(MainMenuTest, RefusedMissingDirectoryBringsTheMenuBackWithoutCheckingTheOthers) {
  SetPaths("missing-tables/", "missing-recu/", "recu/", "log/");
  StoreSettingsFiles();
  AnswerNext("OUINON", false);
  EXPECT_EQ(StationMain(t.st, ""), 0);
  EXPECT_TRUE(
      InOrder(commands(), {"OUVRE,KAVELIN2.WDW", "AFFICHE, PHASE,1=INIT", "AFFICHE, PHASE,2=INIT",
                           "OUINON, missing-tables/\nChemin inexistant. Voulez vous le créer?",
                           "FERME", "OUVRE,MENU.WDW", "ECRAN, SAISIE", kQuitFr, "FERME"}));
  EXPECT_EQ(t.ui->CommandsStartingWith("OUINON").size(), 2u);  // and the quit question
  EXPECT_FALSE(FileExists("missing-tables"));
  EXPECT_FALSE(FileExists("missing-recu"));
  EXPECT_TRUE(t.serial.opened().empty());  // no port opened
}

TEST_F(MainMenuTest, UnavailablePortBringsTheMenuBackWithTheOpenedLineClosed) {
  FakeLine& line1 = t.serial.AddLine("COM1");
  t.st.Ports.line[0].ACTIVE = 'O';
  t.st.Ports.line[1].ACTIVE = 'O';  // COM2 does not exist
  StoreSettingsFiles();
  EXPECT_EQ(StationMain(t.st, ""), 0);
  EXPECT_TRUE(InOrder(commands(), {"OUVRE,KAVELIN2.WDW", "ERREUR, Port COM2 indisponible.", "FERME",
                                   "OUVRE,MENU.WDW", "ECRAN, SAISIE", kQuitFr}));
  EXPECT_EQ(t.serial.opened(), std::vector<std::string>{"COM1"});
  EXPECT_FALSE(line1.is_open);
  EXPECT_TRUE(line1.control_lines_dropped);
}

TEST_F(MainMenuTest, ScheduleEndingTheStationClosesTheLinesWithoutQuitQuestion) {
  FakeLine& line1 = t.serial.AddLine("COM1");
  t.st.Ports.line[0].ACTIVE = 'O';
  // The fake clock starts at 09:15:02: program C falls due at 09:16.
  t.st.Schedule.SELC = 'O';
  std::memcpy(t.st.Schedule.HEUREC, "09:16", 5);
  t.st.Schedule.AVANT = 'O';
  StoreSettingsFiles();
  EXPECT_EQ(StationMain(t.st, ""), 0);
  EXPECT_EQ(t.launcher.launched, (Launches{{"progc.sh", ProgramLauncher::kShowNormal}}));
  EXPECT_TRUE(t.ui->CommandsStartingWith("OUINON").empty());
  EXPECT_TRUE(t.ui->CommandsStartingWith("ECRAN, SAISIE").empty());
  EXPECT_EQ(commands().back(), "FERME");
  EXPECT_TRUE(t.ui->CommandsStartingWith("OUVRE,MENU.WDW").size() == 1u);
  EXPECT_FALSE(line1.is_open);
  EXPECT_TRUE(line1.control_lines_dropped);
  EXPECT_EQ(t.ui->fin_calls, 1);
  EXPECT_FALSE(t.ui->loaded);
}

// Ending without being told to.

// A quit question that gets no answer (a reply with no value) would be asked
// again at once, for ever: it ends the program. The status says whether the
// station ever served: 0 after on-line mode, 1 when it never went on line.
class UnansweredQuitQuestion : public AppTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(UnansweredQuitQuestion, EndsTheProgramWithAStatusThatTellsIfItServed) {
  const std::string command_line = GetParam();
  StopOnLineModeAtOnce();
  t.ui->Script("OUINON", FakeReply{});
  testing::internal::CaptureStderr();
  int status = StationMain(t.st, command_line);
  std::string err = testing::internal::GetCapturedStderr();
  const bool served = command_line.empty();
  EXPECT_EQ(status, served ? 0 : 1);
  EXPECT_EQ(err, served ? "" : "kavelin2: the quit question got no answer\n");
  EXPECT_EQ(CountOf(commands(), "ECRAN, SAISIE"), 1u);
  EXPECT_EQ(CountOf(commands(), kQuitFr), 1u);
  EXPECT_EQ(commands().back(), "FERME");
  EXPECT_EQ(t.ui->fin_calls, 1);
}

INSTANTIATE_TEST_SUITE_P(MenuAndOnLine, UnansweredQuitQuestion, ::testing::Values("P", ""));

// A front end that answers every menu input at once with "ESC" and every quit
// question with no: nobody is there, and the loop must not spin.
TEST_F(MainMenuTest, MenuAnsweredAtOnceWithoutActionForEverEndsTheProgram) {
  max_menu_inputs_ = 5000;
  for (int i = 0; i < 5000; ++i) AnswerNext("OUINON", false);
  testing::internal::CaptureStderr();
  EXPECT_EQ(StationMain(t.st, "P"), 1);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("nobody is there"), std::string::npos) << err;
  EXPECT_EQ(CountOf(commands(), "ECRAN, SAISIE"), 1000u);
  EXPECT_EQ(commands().back(), "FERME");
  EXPECT_EQ(t.ui->fin_calls, 1);
}

// A station nobody attends (a service) started on line ends when it cannot
// go on line, with the documented status and one line on standard error; the
// menu is not shown again and no quit question is asked. Started with "P",
// or attended, it keeps the menu.
struct ServiceFailure {
  const char* what;
  int status;
  const char* stderr_line;
};

class ServiceThatCannotGoOnLine : public AppTest,
                                  public ::testing::WithParamInterface<ServiceFailure> {
 protected:
  void SetUp() override {
    if (std::string(GetParam().what) == "port") {
      t.st.Ports.line[0].ACTIVE = 'O';  // COM1 does not exist
    } else {
      SetPaths("tables/", "missing-recu/", "trans/", "log/");
      AnswerNext("OUINON", false);  // creation declined
    }
    StoreSettingsFiles();
  }
};

TEST_P(ServiceThatCannotGoOnLine, EndsWithItsStatusAndOneLineOnStandardError) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(StationMain(t.st, "", /*attended=*/false), GetParam().status);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string(GetParam().stderr_line) + "\n");
  EXPECT_EQ(CountOf(commands(), "OUVRE,MENU.WDW"), 1u);
  EXPECT_TRUE(t.ui->CommandsStartingWith("ECRAN, SAISIE").empty());
  EXPECT_TRUE(t.ui->CommandsStartingWith("OUINON, Etes").empty());
  EXPECT_EQ(t.ui->CommandsStartingWith("JOURNAL,").size(), 1u);
  EXPECT_EQ(commands().back(), "FERME");
  EXPECT_EQ(t.ui->fin_calls, 1);
  EXPECT_TRUE(t.serial.opened().empty());
}

TEST_P(ServiceThatCannotGoOnLine, KeepsTheMenuWhenAttended) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(StationMain(t.st, "", /*attended=*/true), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  // Back on the menu, which the user then quits.
  EXPECT_TRUE(InOrder(commands(), {"OUVRE,KAVELIN2.WDW", "FERME", "OUVRE,MENU.WDW", "ECRAN, SAISIE",
                                   kQuitFr, "FERME"}));
}

TEST_P(ServiceThatCannotGoOnLine, KeepsTheMenuWhenStartedForTheMenu) {
  MenuInput("*B*");
  testing::internal::CaptureStderr();
  EXPECT_EQ(StationMain(t.st, "P", /*attended=*/false), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(InOrder(commands(), {"ECRAN, SAISIE", "FERME", "OUVRE,KAVELIN2.WDW", "FERME",
                                   "OUVRE,MENU.WDW", "ECRAN, SAISIE", kQuitFr, "FERME"}));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ServiceThatCannotGoOnLine,
    ::testing::Values(ServiceFailure{"port", 4,
                                     "kavelin2: port COM1 unavailable: cannot be opened"},
                      ServiceFailure{"dir", 5,
                                     "kavelin2: directory missing-recu/ missing and not created: "
                                     "creation declined"}),
    [](const auto& info) { return std::string(info.param.what); });

// The schedule's launches, called by the poll loop.

TEST(RunScheduledProgram, EachKindLaunchesItsProgramAndSetsItsFlag) {
  TestStation t;
  std::snprintf(t.st.Schedule.PROGFIN, sizeof t.st.Schedule.PROGFIN, "%s", "fin");
  std::snprintf(t.st.Schedule.PROGD, sizeof t.st.Schedule.PROGD, "%s", "d");
  std::snprintf(t.st.Schedule.PROGC, sizeof t.st.Schedule.PROGC, "%s", "c");

  t.st.PendingProgram = 1;
  RunScheduledProgram(t.st, 1);
  EXPECT_EQ(t.st.PendingProgram, 0);
  EXPECT_EQ(t.st.ProgCLaunched, 0);
  EXPECT_EQ(t.st.ProgDLaunched, 0);

  t.st.PendingProgram = 1;
  RunScheduledProgram(t.st, 2);
  EXPECT_EQ(t.st.PendingProgram, 0);
  EXPECT_EQ(t.st.ProgDLaunched, 1);
  EXPECT_EQ(t.st.ProgCLaunched, 0);

  t.st.PendingProgram = 1;
  RunScheduledProgram(t.st, 3);
  EXPECT_EQ(t.st.PendingProgram, 0);
  EXPECT_EQ(t.st.ProgCLaunched, 1);

  EXPECT_EQ(t.launcher.launched, (Launches{{"fin", ProgramLauncher::kShowNormal},
                                           {"d", ProgramLauncher::kShowNormal},
                                           {"c", ProgramLauncher::kShowNormal}}));
  EXPECT_TRUE(t.ui->commands.empty());
}

TEST(RunScheduledProgram, OtherKindsStartNothingButStillClearThePendingProgram) {
  TestStation t;
  for (int kind : {0, 4, -1}) {
    t.st.PendingProgram = 1;
    RunScheduledProgram(t.st, kind);
    EXPECT_EQ(t.st.PendingProgram, 0);
  }
  EXPECT_TRUE(t.launcher.launched.empty());
  EXPECT_EQ(t.st.ProgCLaunched, 0);
  EXPECT_EQ(t.st.ProgDLaunched, 0);
}

TEST(RunScheduledProgram, CommandLineIsBoundedByItsField) {
  TestStation t;
  // A corrupt "HEURE.CFG" can leave the field without its terminator.
  std::memset(t.st.Schedule.PROGC, 'x', sizeof t.st.Schedule.PROGC);
  std::memcpy(t.st.Schedule.HEURED, "12:00", 5);
  RunScheduledProgram(t.st, 3);
  ASSERT_EQ(t.launcher.launched.size(), 1u);
  EXPECT_EQ(t.launcher.launched[0].first, std::string(sizeof t.st.Schedule.PROGC, 'x'));
}

}  // namespace
}  // namespace kavelin2
