// The schedule dialog: its fields, its clock display and its non-blocking
// input loop on the fake clock.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/settings.h"
#include "config/settings_test_util.h"
#include "dialogs/dialogs.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

using Commands = std::vector<std::string>;

const std::string kStored =
    ScheduleImage('N', "12:34", 'O', "C.BAT /X", "23:59", 'N', "D.EXE", 'O', "FIN.BAT");

const Commands kOpenAndFill = {"OUVRE,DECONEX.WDW",      "AFFICHE, HEUREC,=12:34",
                               "AFFICHE, SELC,=O",       "AFFICHE, PROGC,=C.BAT /X",
                               "AFFICHE, HEURED,=23:59", "AFFICHE, SELD,=N",
                               "AFFICHE, PROGD,=D.EXE",  "AFFICHE, PROGFIN,=FIN.BAT",
                               "AFFICHE, SELFIN,=O",     "AFFICHE, AVANT,=N"};

// Answers the non-blocking input with "*N*" until |until_ms| of fake time,
// then with |final_status|.
void UserActsAt(TestStation& ts, int64_t until_ms, const std::string& final_status) {
  // A loop that does not wait on the clock would never reach |until_ms|: it
  // is cut short after a bound so that the test fails instead of hanging.
  auto passes = std::make_shared<int>(0);
  ts.ui->responder = [&ts, until_ms, final_status,
                      passes](const std::string& c) -> std::optional<FakeReply> {
    if (c != "ECRAN,SAISIE,/NONBLOCANTE") return std::nullopt;
    bool waiting = ts.clock.now() < until_ms && ++*passes < 1000;
    return FakeReply{waiting ? "*N*" : final_status, std::nullopt, std::nullopt};
  };
}

TEST(EditSchedule, WithoutAFileCreatesTheDefaultsAndShowsThem) {
  TestStation ts;
  EditSchedule(ts.st);  // the fake's input in this window answers "ESC" at once
  EXPECT_EQ(
      (Commands{"OUVRE,DECONEX.WDW", "AFFICHE, HEUREC,=00:00", "AFFICHE, SELC,=N",
                "AFFICHE, PROGC,=", "AFFICHE, HEURED,=00:00", "AFFICHE, SELD,=N",
                "AFFICHE, PROGD,=", "AFFICHE, PROGFIN,=", "AFFICHE, SELFIN,=N", "AFFICHE, AVANT,=O",
                "AFFICHE, HEUREAC,=09:15:02", "ECRAN,SAISIE,/NONBLOCANTE", "FERME"}),
      ts.ui->commands);
  EXPECT_EQ(DefaultScheduleImage(), ReadFile("HEURE.CFG"));
  // Unlike the other dialogs, the status stays as the input left it.
  EXPECT_TRUE(ts.st.ui.StatusIs("ESC"));
}

TEST(EditSchedule, ShowsTheClockWhenItsSecondChangesAndSleepsBetweenPasses) {
  TestStation ts;
  WriteFile("HEURE.CFG", kStored);
  UserActsAt(ts, 2500, "*A*");
  EditSchedule(ts.st);
  EXPECT_EQ((Commands{"AFFICHE, HEUREAC,=09:15:02", "AFFICHE, HEUREAC,=09:15:03",
                      "AFFICHE, HEUREAC,=09:15:04"}),
            ts.ui->CommandsStartingWith("AFFICHE, HEUREAC"));
  size_t passes = ts.ui->CommandsStartingWith("ECRAN,SAISIE,/NONBLOCANTE").size();
  EXPECT_EQ(26u, passes);
  // Every pass but the last waited on the clock; none waited long.
  EXPECT_EQ(2500, ts.clock.slept());
  // Cancel after the clock ran: nothing stored.
  EXPECT_EQ(kStored, ReadFile("HEURE.CFG"));
  EXPECT_STREQ("C.BAT /X", ts.st.Schedule.PROGC);
  EXPECT_EQ("FERME", ts.ui->commands.back());
  EXPECT_TRUE(ts.st.ui.StatusIs("*A*"));
}

TEST(EditSchedule, TheClockLineComesBeforeTheInputOfItsPass) {
  TestStation ts;
  WriteFile("HEURE.CFG", kStored);
  UserActsAt(ts, 1000, "ESC");
  EditSchedule(ts.st);
  Commands expected = kOpenAndFill;
  expected.push_back("AFFICHE, HEUREAC,=09:15:02");
  for (int i = 0; i < 10; ++i) expected.push_back("ECRAN,SAISIE,/NONBLOCANTE");
  expected.push_back("AFFICHE, HEUREAC,=09:15:03");
  expected.push_back("ECRAN,SAISIE,/NONBLOCANTE");
  expected.push_back("FERME");
  EXPECT_EQ(expected, ts.ui->commands);
}

TEST(EditSchedule, ValidationFetchesSelfinBeforeProgfinAndStoresFieldsCutToWidth) {
  TestStation ts;
  WriteFile("HEURE.CFG", std::string(401, '\xFF'));
  UserActsAt(ts, 300, "*V*");
  ts.ui->Script("ECRAN,RECUPERE,HEUREC", Value("07:45:59"));
  ts.ui->Script("ECRAN,RECUPERE,SELC", Value("O"));
  ts.ui->Script("ECRAN,RECUPERE,PROGC", Value(std::string(150, 'c')));
  ts.ui->Script("ECRAN,RECUPERE,HEURED", Value("9:3"));
  ts.ui->Script("ECRAN,RECUPERE,SELD", Value("Oui"));
  ts.ui->Script("ECRAN,RECUPERE,PROGD", Value("D.BAT"));
  ts.ui->Script("ECRAN,RECUPERE,SELFIN", Value("N"));
  ts.ui->Script("ECRAN,RECUPERE,PROGFIN", Value(""));
  ts.ui->Script("ECRAN,RECUPERE,AVANT", Value("O"));
  EditSchedule(ts.st);
  EXPECT_TRUE(ts.ui->script_done());
  EXPECT_EQ((Commands{"ECRAN,RECUPERE,HEUREC", "ECRAN,RECUPERE,SELC", "ECRAN,RECUPERE,PROGC",
                      "ECRAN,RECUPERE,HEURED", "ECRAN,RECUPERE,SELD", "ECRAN,RECUPERE,PROGD",
                      "ECRAN,RECUPERE,SELFIN", "ECRAN,RECUPERE,PROGFIN", "ECRAN,RECUPERE,AVANT",
                      "FERME"}),
            Commands(ts.ui->commands.end() - 10, ts.ui->commands.end()));
  EXPECT_EQ(ScheduleImage('O', "07:45", 'O', std::string(128, 'c'), std::string("9:3\0\0", 5), 'O',
                          "D.BAT", 'N', ""),
            ReadFile("HEURE.CFG"));
  EXPECT_TRUE(ts.st.ui.StatusIs("*V*"));
}

TEST(EditSchedule, ValidatingWithoutChangesRewritesTheSameBytes) {
  TestStation ts;
  WriteFile("HEURE.CFG", kStored);
  UserActsAt(ts, 0, "*V*");  // fields fetched as shown
  EditSchedule(ts.st);
  EXPECT_EQ(kStored, ReadFile("HEURE.CFG"));
}

TEST(EditSchedule, ARuntimeThatFailedToStartEndsTheInputLoop) {
  TestStation ts;
  ts.ui->fail_init = true;
  EditSchedule(ts.st);
  EXPECT_TRUE(ts.st.ui.StatusIs("*E*"));
  EXPECT_EQ(0, ts.clock.slept());
  EXPECT_EQ(DefaultScheduleImage(), ReadFile("HEURE.CFG"));
}

}  // namespace
}  // namespace kavelin2
