#include "ui/runtime/headless_front_end.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include "ui/runtime/runtime_test_util.h"

namespace kavelin2::uirt {
namespace {

struct Headless : ::testing::Test {
  CapturedOutput out;
  UiChannel ui = ChannelOver(NewHeadlessFrontEnd(TestOptions(out)));
};

TEST_F(Headless, ModalInputAnswersTheCancelStatusOfTheOpenWindow) {
  ui.UiCall("OUVRE,MENU.WDW");
  ui.UiCall("ECRAN, SAISIE");
  EXPECT_STREQ(ui.UiReply.status, "ESC");
  ui.UiCall("OUVRE,CHEMIN.WDW");
  ui.UiCall("ECRAN, SAISIE");
  EXPECT_STREQ(ui.UiReply.status, "*A*");
  ui.UiCall("OUVRE,SELREP.WDW");
  ui.UiCall("ECRAN, SAISIE");
  EXPECT_STREQ(ui.UiReply.status, "ESC");
  ui.UiCall("FERME");
  ui.UiCall("ECRAN, SAISIE");
  EXPECT_STREQ(ui.UiReply.status, "*A*");
  ui.UiCall("FERME");
  ui.UiCall("OUVRE,LANGUE.WDW");
  ui.UiCall("ECRAN, SAISIE");
  EXPECT_STREQ(ui.UiReply.status, "ESC");
}

TEST_F(Headless, NonBlockingInputKeepsTheOnLineWindowServingAndCancelsElsewhere) {
  ui.UiCall("OUVRE,KAVELIN2.WDW");
  for (const char* form : {"ECRAN,SAISIE/NONBLOCANTE", "ECRAN,SAISIE,/NONBLOCANTE"}) {
    ui.SetStatus("???");
    ui.UiCall("%s", form);
    EXPECT_STREQ(ui.UiReply.status, "*N*") << form;
  }
  ui.UiCall("FERME");
  ui.UiCall("OUVRE,DECONEX.WDW");
  ui.UiCall("ECRAN,SAISIE,/NONBLOCANTE");
  EXPECT_STREQ(ui.UiReply.status, "ESC");
}

TEST_F(Headless, QuestionsAreAnsweredYesWithoutTouchingTheStatus) {
  ui.UiCall("OUVRE,MENU.WDW");
  ui.SetStatus("???");
  ui.UiReply.intValue = 0;
  ui.UiCall("OUINON, Etes vous sur de vouloir quitter KAVELIN2 ?");
  EXPECT_EQ(ui.UiReply.intValue, 1);
  EXPECT_STREQ(ui.UiReply.status, "???");
  EXPECT_EQ(out.Text(), "T OUINON Etes vous sur de vouloir quitter KAVELIN2 ? -> OUI\n");
}

TEST_F(Headless, FetchAnswersTheValueLastShown) {
  ui.UiCall("OUVRE,MODEM.WDW");
  ui.UiCall("AFFICHE, MODEM1,=ATX3");
  ui.UiCall("AFFICHE, MODEM1,=AT&F");
  ui.UiCall("AFFICHE, PRESENT1,=O");
  ui.UiCall("ECRAN, SAISIE");
  ui.UiCall("ECRAN,RECUPERE,MODEM1");
  EXPECT_STREQ(ui.UiReply.text, "AT&F");
  ui.UiCall("ECRAN,RECUPERE,PRESENT1");
  EXPECT_STREQ(ui.UiReply.text, "O");
  // Never shown: empty, and a number of 0.
  ui.UiReply.intValue = 9;
  ui.UiCall("ECRAN,RECUPERE,MODEM2");
  EXPECT_STREQ(ui.UiReply.text, "");
  EXPECT_EQ(ui.UiReply.intValue, 0);
}

TEST_F(Headless, FetchOfANumericFieldGivesItsNumberAsIntValue) {
  ui.UiCall("OUVRE,SERIE.WDW");
  ui.UiCall("AFFICHE, VITESSE2,=%d", 6);
  ui.UiCall("ECRAN,RECUPERE,VITESSE2");
  EXPECT_EQ(ui.UiReply.intValue, 6);
  EXPECT_STREQ(ui.UiReply.text, "6");
  // Fields shown without the comma before '=' are fetched the same way.
  ui.UiCall("OUVRE,FICHIERS.WDW");
  ui.UiCall("AFFICHE, SUP_FIC=%c", 'O');
  ui.UiCall("ECRAN,RECUPERE,SUP_FIC");
  EXPECT_STREQ(ui.UiReply.text, "O");
}

TEST_F(Headless, PortFieldIsShownAsANumberAndFetchedAsADeviceName) {
  ui.UiCall("OUVRE,SERIE.WDW");
  ui.UiCall("AFFICHE, PORT1,=%d", 3);
  ui.UiCall("AFFICHE, PORT2,=%d", 2);
  ui.UiCall("ECRAN,RECUPERE,PORT1");
  EXPECT_STREQ(ui.UiReply.text, "COM3");
  ui.UiCall("ECRAN,RECUPERE,PORT2");
  EXPECT_STREQ(ui.UiReply.text, "COM2");
  // A user who typed a device name gets it back as it is.
  RuntimeOf(ui).screen().current()->Set("PORT1,", "COM12");
  ui.UiCall("ECRAN,RECUPERE,PORT1");
  EXPECT_STREQ(ui.UiReply.text, "COM12");
  // Only the port window turns numbers into names.
  ui.UiCall("OUVRE,MODEM.WDW");
  ui.UiCall("AFFICHE, PORT1,=3");
  ui.UiCall("ECRAN,RECUPERE,PORT1");
  EXPECT_STREQ(ui.UiReply.text, "3");
}

TEST_F(Headless, LogsEachChangeOfTheOnLineStateOnce) {
  ui.UiCall("OUVRE,KAVELIN2.WDW");
  ui.UiCall("AFFICHE, PHASE,%d=INIT", 1);
  ui.UiCall("AFFICHE, PHASE,%d=INIT", 2);
  ui.UiCall("AFFICHE, PHASE,%d=ATTENTE", 1);
  ui.UiCall("AFFICHE, PHASE,%d=ATTENTE", 1);
  ui.UiCall("AFFICHE, PHASE,%d=PORTABLE -> PC", 1);
  ui.UiCall("AFFICHE, ETAT,%d=IDENTIFICATION", 1);
  ui.UiCall("AFFICHE, PORTABLE,%d=%.3s", 1, "A01");
  ui.UiCall("AFFICHE, FICHIER,%d=%s", 1, "ART.DAT");
  // Counters, progress, elapsed time, time-outs and the clock stay quiet.
  for (int i = 0; i < 3; ++i) {
    ui.UiCall("AFFICHE, BLOCS,%d=%d", 1, i);
    ui.UiCall("AFFICHE, TRANS,%d=%d %%", 1, i * 10);
    ui.UiCall("AFFICHE, TEMPS,%d=00:00:0%d", 1, i);
    ui.UiCall("AFFICHE, timeout,%d=%d", 1, i);
    ui.UiCall("AFFICHE, HEURE,=12:00:0%d", i);
  }
  ui.UiCall("AFFICHE, ETATIMG%d=MODEM.BMP", 1);
  // A field cleared to blanks is not a line, but the next value is.
  ui.UiCall("AFFICHE, FICHIER,%d=             ", 1);
  ui.UiCall("AFFICHE, FICHIER,%d=%s", 1, "ART.DAT");
  EXPECT_EQ(out.Text(),
            "T L1 PHASE=INIT\n"
            "T L2 PHASE=INIT\n"
            "T L1 PHASE=ATTENTE\n"
            "T L1 PHASE=PORTABLE -> PC\n"
            "T L1 ETAT=IDENTIFICATION\n"
            "T L1 PORTABLE=A01\n"
            "T L1 FICHIER=ART.DAT\n"
            "T L1 FICHIER=ART.DAT\n");
}

TEST_F(Headless, ReopeningTheOnLineWindowLogsItsStateAfresh) {
  ui.UiCall("OUVRE,KAVELIN2.WDW");
  ui.UiCall("AFFICHE, PHASE,1=INIT");
  ui.UiCall("FERME");
  ui.UiCall("OUVRE,KAVELIN2.WDW");
  ui.UiCall("AFFICHE, PHASE,1=INIT");
  EXPECT_EQ(out.Text(), "T L1 PHASE=INIT\nT L1 PHASE=INIT\n");
}

TEST_F(Headless, FieldsOfTheSameNameInADialogAreNotLogged) {
  ui.UiCall("OUVRE,FICHIERS.WDW");
  ui.UiCall("AFFICHE, PORTABLE=O");
  ui.UiCall("OUVRE,SERIE.WDW");
  ui.UiCall("AFFICHE, PHASE,1=X");
  EXPECT_EQ(out.Text(), "");
}

TEST_F(Headless, BoxesBecomeOneLineEach) {
  ui.UiCall("INFO, Fichier resultats vide.");
  ui.UiCall("ERREUR, Port %s indisponible.", "COM1");
  ui.UiCall("Erreur, Format de la table incorrect \n Taille limit\u00e9e \u00e0 60.");
  ui.UiCall("ERREUR, Cr\u00e9ation imposible du r\u00e9pertoire \n%s", "/x/");
  EXPECT_EQ(out.Text(),
            "T INFO Fichier resultats vide.\n"
            "T ERREUR Port COM1 indisponible.\n"
            "T ERREUR Format de la table incorrect Taille limit\u00e9e \u00e0 60.\n"
            "T ERREUR Cr\u00e9ation imposible du r\u00e9pertoire /x/\n");
}

TEST_F(Headless, ShowsATextFileLineByLine) {
  {
    std::ofstream f("headless_voir.txt", std::ios::binary);
    f << "01/02/26 A01 OK\r\n02/02/26 A02 TO\r\n";
  }
  ui.UiCall("VOIR,headless_voir.txt");
  ui.UiCall("VOIR,headless_absent.txt");
  std::remove("headless_voir.txt");
  EXPECT_EQ(out.Text(),
            "T VOIR headless_voir.txt\n"
            "01/02/26 A01 OK\n"
            "02/02/26 A02 TO\n"
            "T VOIR headless_absent.txt: fichier introuvable\n");
}

class HeadlessStop : public ::testing::TestWithParam<int> {};

TEST_P(HeadlessStop, SignalTurnsOnLineInputIntoAStopRequest) {
  CapturedOutput out;
  UiChannel ui = ChannelOver(NewHeadlessFrontEnd(TestOptions(out)));
  ui.UiCall("NATION,3");
  ui.UiCall("OUVRE,KAVELIN2.WDW");
  ui.UiCall("ECRAN,SAISIE/NONBLOCANTE");
  EXPECT_STREQ(ui.UiReply.status, "*N*");
  // The handler only sets a flag: the process goes on.
  ASSERT_EQ(std::raise(GetParam()), 0);
  for (int i = 0; i < 3; ++i) {
    ui.UiCall("ECRAN,SAISIE,/NONBLOCANTE");
    EXPECT_STREQ(ui.UiReply.status, "*P*");
  }
  // Back on the menu, the program ends on its own.
  ui.UiCall("FERME");
  ui.UiCall("OUVRE,MENU.WDW");
  ui.UiCall("ECRAN, SAISIE");
  EXPECT_STREQ(ui.UiReply.status, "ESC");
  ui.UiCall("OUINON, Are you sure to quit KAVELIN2 ?");
  EXPECT_EQ(ui.UiReply.intValue, 1);
  // A stop reads as a stop, in the runtime's language: the quit question
  // that follows is answered without a prompt of its own in the log.
  EXPECT_EQ(out.Text(),
            std::string("T stopped on ") + (GetParam() == SIGINT ? "SIGINT" : "SIGTERM") + "\n");
}

INSTANTIATE_TEST_SUITE_P(TermAndInt, HeadlessStop, ::testing::Values(SIGTERM, SIGINT));

int caught = 0;
void CountSignal(int) { ++caught; }

TEST(HeadlessSignals, AreInstalledWithoutRestartAndRemovedWithTheFrontEnd) {
  struct sigaction mine = {}, seen = {};
  mine.sa_handler = CountSignal;
  sigemptyset(&mine.sa_mask);
  ASSERT_EQ(sigaction(SIGTERM, &mine, nullptr), 0);
  {
    CapturedOutput out;
    auto front_end = NewHeadlessFrontEnd(TestOptions(out));
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &seen), 0);
    EXPECT_NE(seen.sa_handler, CountSignal);
    EXPECT_EQ(seen.sa_flags & SA_RESTART, 0);
    ASSERT_EQ(sigaction(SIGINT, nullptr, &seen), 0);
    EXPECT_EQ(seen.sa_flags & SA_RESTART, 0);
    std::raise(SIGTERM);
    EXPECT_EQ(caught, 0);
  }
  ASSERT_EQ(sigaction(SIGTERM, nullptr, &seen), 0);
  EXPECT_EQ(seen.sa_handler, CountSignal);
  std::raise(SIGTERM);
  EXPECT_EQ(caught, 1);
  signal(SIGTERM, SIG_DFL);
}

TEST(HeadlessSignals, ANewInstanceStartsWithoutAStopRequest) {
  {
    CapturedOutput out;
    auto front_end = NewHeadlessFrontEnd(TestOptions(out));
    std::raise(SIGTERM);
  }
  CapturedOutput out;
  UiChannel ui = ChannelOver(NewHeadlessFrontEnd(TestOptions(out)));
  ui.UiCall("OUVRE,KAVELIN2.WDW");
  ui.UiCall("ECRAN,SAISIE/NONBLOCANTE");
  EXPECT_STREQ(ui.UiReply.status, "*N*");
}

}  // namespace
}  // namespace kavelin2::uirt
