#include "ui/runtime/runtime_core.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ui/runtime/front_end_choice.h"
#include "ui/runtime/runtime_test_util.h"
#include "ui/runtime/window_library.h"

namespace kavelin2::uirt {
namespace {

// A front end that records what the core asks of it and answers from fields.
struct RecordingFrontEnd : FrontEnd {
  std::vector<std::string>* log;
  InputResult next{"*V*", ""};
  explicit RecordingFrontEnd(std::vector<std::string>* l) : log(l) {}
  void WindowOpened(Screen& s) override { log->push_back("open " + s.current()->name); }
  void WindowClosed(Screen&, const Window& w) override { log->push_back("close " + w.name); }
  void FieldShown(Screen&, const std::string& k, const std::string& v) override {
    log->push_back("show [" + k + "]=[" + v + "]");
  }
  void LanguageChanged(Screen& s) override { log->push_back("nation " + std::to_string(s.nation)); }
  InputResult Input(Screen&, InputKind kind) override {
    log->push_back(kind == InputKind::kModal ? "input modal" : "input nonblocking");
    return next;
  }
  bool Question(Screen&, const std::string& t) override {
    log->push_back("question [" + t + "]");
    return false;
  }
  void Message(Screen&, MessageKind k, const std::string& t) override {
    log->push_back(std::string(k == MessageKind::kError ? "error" : "info") + " [" + t + "]");
  }
  void ShowTextFile(Screen&, const std::string& p) override { log->push_back("voir [" + p + "]"); }
};

struct Core : ::testing::Test {
  std::vector<std::string> log;
  RecordingFrontEnd* fe = new RecordingFrontEnd(&log);
  UiChannel ui = ChannelOver(std::unique_ptr<FrontEnd>(fe));
  Screen& screen() { return RuntimeOf(ui).screen(); }
  // The first command starts the instance, which clears the reply.
  void SetUp() override { ui.UiCall("BIBLI,DISQUE,KAVELIN2.WDL"); }
};

TEST_F(Core, KeepsTheWindowStackAndTitles) {
  ui.UiCall("OUVRE,CHEMIN.WDW");
  ui.UiCall("OUVRE,SELREP.WDW");
  ui.UiCall("WINDOWS,TCOURANT,%s", "Chemin d'acces aux tables");
  ASSERT_EQ(screen().windows.size(), 2u);
  EXPECT_EQ(screen().windows[0].title, "Chemins");
  EXPECT_EQ(screen().current()->title, "Chemin d'acces aux tables");
  ui.UiCall("FERME");
  ui.UiCall("FERME");
  ui.UiCall("FERME");  // one too many: nothing to close
  EXPECT_TRUE(screen().windows.empty());
  EXPECT_EQ(log, (std::vector<std::string>{"open CHEMIN.WDW", "open SELREP.WDW", "close SELREP.WDW",
                                           "close CHEMIN.WDW"}));
}

TEST_F(Core, LanguageChangesTheTitlesOfWindowsOpenedAfterwards) {
  ui.UiCall("NATION,3");
  ui.UiCall("OUVRE,SERIE.WDW");
  EXPECT_EQ(screen().nation, 3);
  EXPECT_EQ(screen().current()->title, "Serial ports");
  ui.UiCall("NATION,x");  // not a number: ignored
  EXPECT_EQ(screen().nation, 3);
  EXPECT_EQ(log, (std::vector<std::string>{"nation 3", "open SERIE.WDW"}));
}

TEST_F(Core, ShownFieldsAreKeyedByTheirTrimmedReference) {
  ui.UiCall("OUVRE,KAVELIN2.WDW");
  ui.UiCall("AFFICHE, PHASE,%d=PC -> PORTABLE", 2);
  ui.UiCall("AFFICHE, TEMPS,%d=     ", 1);
  ui.UiCall("AFFICHE, ETATIMG%d=MODEM.BMP", 1);
  ui.UiCall("AFFICHE,VERSION,=Version 1.95");
  ui.UiCall("AFFICHE, no equals sign");
  const auto& f = screen().current()->fields;
  EXPECT_EQ(f.at("PHASE,2"), "PC -> PORTABLE");
  EXPECT_EQ(f.at("TEMPS,1"), "     ");
  EXPECT_EQ(f.at("ETATIMG1"), "MODEM.BMP");
  EXPECT_EQ(f.at("VERSION,"), "Version 1.95");
  EXPECT_EQ(f.size(), 4u);
  ui.UiCall("ECRAN,RECUPERE,PHASE,2");
  EXPECT_STREQ(ui.UiReply.text, "PC -> PORTABLE");
}

TEST_F(Core, ShowingAFieldWithNoWindowOpenIsIgnored) {
  ui.UiCall("AFFICHE, PHASE,1=INIT");
  EXPECT_TRUE(log.empty());
  ui.UiCall("ECRAN,RECUPERE,PHASE,1");
  EXPECT_STREQ(ui.UiReply.text, "");
}

TEST_F(Core, InputRepliesCarryTheStatusAndTheMenuCode) {
  ui.UiCall("OUVRE,MENU.WDW");
  fe->next = {"*M*", "PP"};
  ui.UiCall("ECRAN, SAISIE");
  EXPECT_STREQ(ui.UiReply.status, "*M*");
  EXPECT_STREQ(ui.UiReply.text, "PP");
  fe->next = {"*B*", ""};
  ui.UiCall("ECRAN,SAISIE");
  EXPECT_STREQ(ui.UiReply.status, "*B*");
  EXPECT_STREQ(ui.UiReply.text, "PP");  // a reply without a value keeps the text
  ui.UiCall("ECRAN,SAISIE,/NONBLOCANTE");
  ui.UiCall("ECRAN,SAISIE/NONBLOCANTE");
  EXPECT_EQ(log, (std::vector<std::string>{"open MENU.WDW", "input modal", "input modal",
                                           "input nonblocking", "input nonblocking"}));
}

TEST_F(Core, QuestionAnswersIntValueOneOrZero) {
  ui.UiReply.intValue = 7;
  ui.UiCall("OUINON, %s\nChemin inexistant. Voulez vous le cr\u00e9er?", "/r/");
  EXPECT_EQ(ui.UiReply.intValue, 0);
  EXPECT_EQ(log.back(), "question [/r/\nChemin inexistant. Voulez vous le cr\u00e9er?]");
}

TEST_F(Core, BoxesAndFileDisplayGoToTheFrontEnd) {
  ui.SetStatus("???");
  ui.UiCall("INFO, Empty result file.");
  ui.UiCall("ERREUR, Port %s indisponible.", "COM2");
  ui.UiCall("Erreur, Invalid table format \n limited to 60.");
  ui.UiCall("VOIR,STAT.TXT");
  EXPECT_STREQ(ui.UiReply.status, "???");
  EXPECT_EQ(log, (std::vector<std::string>{
                     "info [Empty result file.]", "error [Port COM2 indisponible.]",
                     "error [Invalid table format \n limited to 60.]", "voir [STAT.TXT]"}));
}

TEST_F(Core, UnknownCommandsGetAnEmptyReply) {
  ui.SetStatus("*V*");
  ui.UiReply.intValue = 5;
  ui.UiCall("DESSINE,ROND");
  ui.UiCall("ECRAN,EFFACE");
  ui.UiCall("%s", "");
  EXPECT_STREQ(ui.UiReply.status, "*V*");
  EXPECT_EQ(ui.UiReply.intValue, 5);
  EXPECT_TRUE(log.empty());
}

TEST(Transcript, EscapesNewlinesAndBackslashes) {
  EXPECT_EQ(Transcript::Escape("OUINON, C:\\RECU\\\nChemin?"), "OUINON, C:\\\\RECU\\\\\\nChemin?");
  EXPECT_EQ(Transcript::Escape("FERME"), "FERME");
}

TEST(Transcript, AppendsEveryCommandOnItsOwnLineAtOnce) {
  char path[] = "/tmp/kavelin2-transcript-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "earlier\n", 8), 8);
  close(fd);
  {
    CapturedOutput out;
    UiChannel ui = ChannelOver(NewHeadlessFrontEnd(TestOptions(out)), Transcript::Open(path));
    ui.UiCall("OUVRE,MENU.WDW");
    ui.UiCall("ERREUR, Cr\u00e9ation imposible du r\u00e9pertoire \n%s", "C:\\T\\");
    // Flushed already, while the runtime still runs.
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "earlier\n"
              "OUVRE,MENU.WDW\n"
              "ERREUR, Cr\u00e9ation imposible du r\u00e9pertoire \\nC:\\\\T\\\\\n");
  }
  std::remove(path);
}

TEST(Transcript, CannotBeOpenedInAMissingDirectory) {
  EXPECT_EQ(Transcript::Open("/nonexistent-dir/transcript.txt"), nullptr);
}

TEST(FrontEndChoice, FollowsKavelin2Ui) {
  EXPECT_EQ(ChooseFrontEnd(nullptr, false).kind, FrontEndKind::kHeadless);
  EXPECT_EQ(ChooseFrontEnd("", false).kind, FrontEndKind::kHeadless);
  EXPECT_EQ(ChooseFrontEnd("headless", true).kind, FrontEndKind::kHeadless);
  EXPECT_EQ(ChooseFrontEnd("terminal", false).kind, FrontEndKind::kTerminal);
  FrontEndChoice script = ChooseFrontEnd("script:/tmp/replies.txt", false);
  EXPECT_EQ(script.kind, FrontEndKind::kScript);
  EXPECT_EQ(script.script_path, "/tmp/replies.txt");
  EXPECT_TRUE(script.warning.empty());
}

TEST(FrontEndChoice, AnUnknownSettingFallsBackToHeadlessWithAWarning) {
  for (const char* s : {"script:", "gui", "Headless"}) {
    FrontEndChoice c = ChooseFrontEnd(s, false);
    EXPECT_EQ(c.kind, FrontEndKind::kHeadless) << s;
    EXPECT_NE(c.warning.find(s), std::string::npos) << s;
  }
}

TEST(WindowLibrary, HoldsEveryWindowOfTheStationWithItsCancelStatus) {
  for (const char* name : {"MENU.WDW", "APROPOS.WDW", "KAVELIN2.WDW", "SERIE.WDW", "MODEM.WDW",
                           "CHEMIN.WDW", "SELREP.WDW", "FICHIERS.WDW", "DECONEX.WDW", "LANGUE.WDW"})
    EXPECT_NE(FindWindowSpec(name), nullptr) << name;
  EXPECT_EQ(CancelStatus("CHEMIN.WDW"), "*A*");
  EXPECT_EQ(CancelStatus("SERIE.WDW"), "ESC");
  EXPECT_EQ(CancelStatus("NOWHERE.WDW"), "ESC");
  const WindowSpec* serie = FindWindowSpec("SERIE.WDW");
  ASSERT_EQ(serie->fields.size(), 14u);
  EXPECT_EQ(FindFieldSpec(*serie, "PORT2")->kind, FieldKind::kPort);
  EXPECT_EQ(FindFieldSpec(*serie, "VITESSE1")->choices.size(), 8u);
}

}  // namespace
}  // namespace kavelin2::uirt
