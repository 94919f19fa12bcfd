#include "ui/runtime/terminal_front_end.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "ui/runtime/terminal_fake_terminal.h"
#include "ui/runtime/terminal_menu.h"

namespace kavelin2::uirt::term {
namespace {

namespace fs = std::filesystem;

class TerminalFrontEndTest : public ::testing::Test {
 protected:
  TerminalFrontEndTest() : fe_(NewTerminalFrontEndOn(std::make_unique<FakeTerminal>(&term_))) {}

  void Open(const std::string& name) {
    screen_.windows.push_back(Window{name, "", {}});
    fe_->WindowOpened(screen_);
  }
  void Close() {
    Window closed = screen_.windows.back();
    screen_.windows.pop_back();
    fe_->WindowClosed(screen_, closed);
  }
  // As the core does for "AFFICHE, <key>=<value>".
  void Show(const std::string& key, const std::string& value) {
    screen_.current()->fields[key] = value;
    fe_->FieldShown(screen_, key, value);
  }
  InputResult Modal() { return fe_->Input(screen_, InputKind::kModal); }
  InputResult Poll() { return fe_->Input(screen_, InputKind::kNonBlocking); }
  void Keys(std::initializer_list<int> keys) {
    for (int k : keys) term_.keys.push_back(k);
  }
  std::map<std::string, std::string>& fields() { return screen_.current()->fields; }

  FakeTerminal::Shared term_;
  Screen screen_;
  std::unique_ptr<FrontEnd> fe_;
};

TEST_F(TerminalFrontEndTest, MenuSpeaksTheLanguageOfTheNationCode) {
  Open("MENU.WDW");
  Keys({kKeyDown});
  Modal();  // ended by the fake running out of keys
  EXPECT_TRUE(term_.Shows("Menu principal"));
  EXPECT_TRUE(term_.Shows("Ports série"));
  screen_.nation = 3;
  fe_->LanguageChanged(screen_);
  term_.terminate = false;
  term_.idle = 0;
  Modal();
  EXPECT_TRUE(term_.Shows("Main menu"));
  EXPECT_TRUE(term_.Shows("Serial ports"));
  screen_.nation = 7;
  fe_->LanguageChanged(screen_);
  term_.terminate = false;
  term_.idle = 0;
  Modal();
  EXPECT_TRUE(term_.Shows("Menú principal"));
  EXPECT_TRUE(term_.Shows("Puertos serie"));
}

TEST_F(TerminalFrontEndTest, EveryMenuCodeIsReachedByItsAcceleratorInEachLanguage) {
  const std::set<std::string> codes = {"PM", "PP", "PD", "PF", "PE", "PA", "PI",
                                       "UD", "UA", "UT", "UP", "RV", "RR", "A"};
  for (int nation : {5, 3, 7}) {
    screen_.nation = nation;
    std::set<std::string> reached;
    std::set<std::string> accelerators;
    bool online = false;
    for (const MenuEntry& e : MenuEntries()) {
      const char* accel = e.accel.in(LangOfNation(nation));
      EXPECT_TRUE(accelerators.insert(accel).second) << "twice " << accel << " in " << nation;
      Open("MENU.WDW");
      term_.Type(std::string(1, static_cast<char>(std::tolower(accel[0]))));
      InputResult r = Modal();
      Close();
      if (r.status == "*B*") {
        online = true;
      } else {
        EXPECT_EQ(r.status, "*M*");
        reached.insert(r.text);
      }
    }
    EXPECT_TRUE(online);
    EXPECT_EQ(reached, codes);
  }
}

TEST_F(TerminalFrontEndTest, MenuArrowsAndEnterGoOnLineAndEscapeLeaves) {
  Open("MENU.WDW");
  Keys({kKeyDown, kKeyUp, kKeyEnter});
  EXPECT_EQ(Modal().status, "*B*");
  Keys({kKeyDown, kKeyEnter});
  InputResult r = Modal();
  EXPECT_EQ(r.status, "*M*");
  EXPECT_EQ(r.text, "PP");
  Keys({kKeyEscape});
  EXPECT_EQ(Modal().status, "ESC");
}

void ShowPorts(TerminalFrontEndTest* t,
               std::function<void(const std::string&, const std::string&)> show) {
  (void)t;
  for (const char* line : {"1", "2"}) {
    std::string n = line;
    show("ACTIVE" + n + ",", "N");
    show("PORT" + n + ",", n);
    show("VITESSE" + n + ",", "1");
    show("DONNEES" + n + ",", "2");
    show("PARITE" + n + ",", "1");
    show("STOPBIT" + n + ",", "1");
    show("IRDA" + n + ",", "N");
  }
}

TEST_F(TerminalFrontEndTest, PortDialogEditsEveryKindOfFieldUnderTheStationsKeys) {
  Open("SERIE.WDW");
  ShowPorts(this, [this](const std::string& k, const std::string& v) { Show(k, v); });
  // Line 1: active on, port 3, speed 115200, 7 bits, odd parity, 2 stop bits, IrDA.
  Keys({' ', kKeyTab, '3', kKeyTab, kKeyRight, kKeyTab, '1', kKeyTab, kKeyRight, kKeyRight, kKeyTab,
        kKeyLeft, kKeyTab, 'o', kKeyF10});
  EXPECT_EQ(Modal().status, "*V*");
  EXPECT_EQ(fields()["ACTIVE1,"], "O");
  EXPECT_EQ(fields()["PORT1,"], "3");
  EXPECT_EQ(fields()["VITESSE1,"], "2");
  EXPECT_EQ(fields()["DONNEES1,"], "1");
  EXPECT_EQ(fields()["PARITE1,"], "3");
  EXPECT_EQ(fields()["STOPBIT1,"], "3");
  EXPECT_EQ(fields()["IRDA1,"], "O");
  EXPECT_EQ(fields()["PORT2,"], "2");
  EXPECT_EQ(fields().size(), 14u);  // nothing stored under another key
  EXPECT_TRUE(term_.Shows("COM3"));
  EXPECT_TRUE(term_.Shows("115200"));
  EXPECT_TRUE(term_.Shows("Impaire"));
}

// A port that is not "COM" and one digit is shown by its name and edited as
// a name (letters, digits, '_', five at most); a number still picks COMn.
TEST_F(TerminalFrontEndTest, PortDialogShowsAndEditsPortNamesThatAreNotComN) {
  Open("SERIE.WDW");
  ShowPorts(this, [this](const std::string& k, const std::string& v) { Show(k, v); });
  Show("PORT1,", "USB0");
  Modal();  // ended by the fake running out of keys
  EXPECT_TRUE(term_.Shows("USB0"));
  EXPECT_FALSE(term_.Shows("COMUSB0"));
  term_.terminate = false;
  term_.idle = 0;
  // Line 1: "USB0" becomes "USB1"; line 2: "COM2" becomes the name "acm_1",
  // cut at five characters.
  Keys({kKeyTab, kKeyBackspace, '1', kKeyTab, kKeyTab, kKeyTab, kKeyTab, kKeyTab, kKeyTab, kKeyTab,
        'a', 'c', 'm', '_', '1', 'x', kKeyF10});
  EXPECT_EQ(Modal().status, "*V*");
  EXPECT_EQ(fields()["PORT1,"], "USB1");
  EXPECT_EQ(fields()["PORT2,"], "acm_1");
  EXPECT_TRUE(term_.Shows("USB1"));
  EXPECT_TRUE(term_.Shows("acm_1"));
  // Erased to nothing, the field takes a number again (the focus is still on
  // line 2's port: back to line 1's).
  for (int i = 0; i < 7; ++i) Keys({kKeyBackTab});
  Keys({kKeyBackspace, kKeyBackspace, kKeyBackspace, kKeyBackspace, '4', kKeyF10});
  EXPECT_EQ(Modal().status, "*V*");
  EXPECT_EQ(fields()["PORT1,"], "4");
}

TEST_F(TerminalFrontEndTest, DialogEscapeCancelsAndButtonsEndWithTheirStatus) {
  Open("MODEM.WDW");
  Show("MODEM1,", "AT&F");
  Show("PRESENT1,", "N");
  Keys({kKeyEscape});
  EXPECT_EQ(Modal().status, "*A*");
  // Through the fields to the cancel button.
  Keys({kKeyTab, kKeyTab, kKeyTab, kKeyTab, kKeyTab, kKeyEnter});
  EXPECT_EQ(Modal().status, "*A*");
  // The focus stays where it was left, on the cancel button.
  Keys({kKeyBackTab, kKeyEnter});
  EXPECT_EQ(Modal().status, "*V*");
}

TEST_F(TerminalFrontEndTest, ModemCommandIsTypedWithinItsThirtyCharacters) {
  Open("MODEM.WDW");
  Show("MODEM1,", "AT");
  Show("PRESENT1,", "N");
  Keys({kKeyTab});
  term_.Type("&F1 éS0=1" + std::string(40, 'x'));
  Keys({kKeyF10});
  EXPECT_EQ(Modal().status, "*V*");
  const std::string& v = fields()["MODEM1,"];
  EXPECT_EQ(v.rfind("AT&F1 éS0=1", 0), 0u) << v;
  EXPECT_EQ(v.size(), 30u);
}

TEST_F(TerminalFrontEndTest, FileOptionsKeepTheirKeysWithoutComma) {
  Open("FICHIERS.WDW");
  for (const char* f : {"SUP_FIC", "APPEND", "PORTABLE", "SUP_TAB", "ADD_CRLF", "DOS"})
    Show(f, "N");
  Keys({' ', kKeyDown, kKeyDown, kKeyDown, kKeyDown, kKeyDown, 'O', kKeyF10});
  EXPECT_EQ(Modal().status, "*V*");
  EXPECT_EQ(fields()["SUP_FIC"], "O");
  EXPECT_EQ(fields()["DOS"], "O");
  EXPECT_EQ(fields()["APPEND"], "N");
  EXPECT_EQ(fields().count("SUP_FIC,"), 0u);
}

TEST_F(TerminalFrontEndTest, ScheduleAnswersNothingHappenedUntilTheUserValidates) {
  Open("DECONEX.WDW");
  Show("HEUREC,", "00:00");
  Show("SELC,", "N");
  Show("PROGC,", "");
  Show("HEURED,", "00:00");
  Show("AVANT,", "O");
  Show("HEUREAC,", "12:34:56");
  EXPECT_EQ(Poll().status, "*N*");
  EXPECT_TRUE(term_.Shows("12:34:56"));
  // SELC on, then the time typed without its colon, then the command.
  Keys({' ', kKeyTab, 21, '0', '9', '3', '0', kKeyTab});
  EXPECT_EQ(Poll().status, "*N*");
  term_.Type("backup.sh");
  EXPECT_EQ(Poll().status, "*N*");
  Show("HEUREAC,", "12:34:57");
  EXPECT_EQ(Poll().status, "*N*");
  EXPECT_TRUE(term_.Shows("12:34:57"));
  Keys({kKeyF10});
  EXPECT_EQ(Poll().status, "*V*");
  EXPECT_EQ(fields()["SELC,"], "O");
  EXPECT_EQ(fields()["HEUREC,"], "09:30");
  EXPECT_EQ(fields()["PROGC,"], "backup.sh");
}

TEST_F(TerminalFrontEndTest, ScheduleRefusesAnImpossibleTime) {
  Open("DECONEX.WDW");
  Show("HEUREC,", "00:00");
  Show("HEURED,", "00:00");
  Keys({kKeyTab, 21, '2', '5', '0', '0', kKeyF10});
  EXPECT_EQ(Poll().status, "*N*");
  EXPECT_TRUE(term_.Shows("Heure invalide"));
  Keys({21, '2', '3', '5', '9', kKeyF10});
  EXPECT_EQ(Poll().status, "*V*");
  EXPECT_EQ(fields()["HEUREC,"], "23:59");
}

TEST_F(TerminalFrontEndTest, PathsBrowseButtonsAndF2EndWithTheirLetters) {
  Open("CHEMIN.WDW");
  for (const char* f : {"TABLE,", "RECU,", "TRANS,", "FICLOG,"}) Show(f, "");
  Keys({kKeyF2});
  EXPECT_EQ(Modal().status, "*B*");
  Keys({kKeyTab, kKeyEnter});
  EXPECT_EQ(Modal().status, "*B*");
  // From the first browse button to the third field.
  Keys({kKeyTab, kKeyTab, kKeyTab, kKeyF2});
  EXPECT_EQ(Modal().status, "*T*");
  Keys({kKeyTab, kKeyTab, kKeyTab, kKeyEnter});
  EXPECT_EQ(Modal().status, "*L*");
  Keys({kKeyBackTab, kKeyBackTab, kKeyBackTab, kKeyBackTab, kKeyBackTab, kKeyF2});
  EXPECT_EQ(Modal().status, "*R*");
}

TEST_F(TerminalFrontEndTest, PickedDirectoryReplacesTheValueBeingEdited) {
  Open("CHEMIN.WDW");
  Show("TABLE,", "/old/");
  Keys({kKeyF2});
  EXPECT_EQ(Modal().status, "*B*");
  Show("TABLE,", "/picked/");  // the station shows the picker's result
  term_.Type("x");
  Keys({kKeyF10});
  EXPECT_EQ(Modal().status, "*V*");
  EXPECT_EQ(fields()["TABLE,"], "/picked/x");
}

class TerminalPickerTest : public TerminalFrontEndTest {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    root_ = fs::temp_directory_path() / ("kavelin2-picker-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "alpha" / "inner");
    fs::create_directories(root_ / "beta");
    std::ofstream(root_ / "file.txt") << "x";
    fs::current_path(root_);
  }
  void TearDown() override {
    fs::current_path(old_);
    fs::remove_all(root_);
  }
  fs::path old_, root_;
};

TEST_F(TerminalPickerTest, WalksDownAndUpAndReturnsTheDirectoryWithItsSeparator) {
  Open("SELREP.WDW");
  screen_.current()->title = "Chemin d'acces aux tables";
  // Rows: ./ ../ alpha/ beta/ : into alpha, into inner, back up, choose alpha.
  Keys({kKeyDown, kKeyDown, kKeyEnter, kKeyDown, kKeyDown, kKeyEnter, kKeyLeft, kKeyHome,
        kKeyEnter});
  InputResult r = Modal();
  EXPECT_EQ(r.status, "*V*");
  EXPECT_EQ(fields()["REPERTOIRE,"], fs::canonical(root_ / "alpha").string() + "/");
  EXPECT_TRUE(term_.Shows("Chemin d'acces aux tables"));
  EXPECT_FALSE(term_.Shows("file.txt"));
}

TEST_F(TerminalPickerTest, CancelLeavesNoDirectory) {
  Open("SELREP.WDW");
  Keys({kKeyDown, kKeyDown, kKeyEnter, kKeyEscape});
  EXPECT_EQ(Modal().status, "*A*");
  EXPECT_EQ(fields().count("REPERTOIRE,"), 0u);
}

TEST_F(TerminalPickerTest, RefusesADirectoryTooLongForTheSettingsFile) {
  fs::path deep = root_ / std::string(90, 'd');
  fs::create_directories(deep);
  Open("SELREP.WDW");
  Keys({kKeyEnd, kKeyEnter, kKeyF10});
  Modal();  // ended by the fake: the choice was refused
  EXPECT_TRUE(term_.Shows("Chemin trop long"));
  EXPECT_EQ(fields().count("REPERTOIRE,"), 0u);
}

TEST_F(TerminalFrontEndTest, LanguageButtonsAnswerTheLanguageCodes) {
  Open("LANGUE.WDW");
  Keys({kKeyEnter});
  EXPECT_EQ(Modal().status, "*F*");
  Keys({kKeyDown, kKeyEnter});
  EXPECT_EQ(Modal().status, "*A*");
  Keys({kKeyDown, kKeyEnter});
  EXPECT_EQ(Modal().status, "*E*");
  Keys({kKeyEscape});
  EXPECT_EQ(Modal().status, "ESC");
}

TEST_F(TerminalFrontEndTest, AboutBoxShowsTheVersion) {
  Open("APROPOS.WDW");
  Show("VERSION,", "Version 1.95");
  Keys({kKeyEnter});
  EXPECT_EQ(Modal().status, "*V*");
  EXPECT_TRUE(term_.Shows("Version 1.95"));
}

void ShowOnlineLine(TerminalFrontEndTest* t,
                    const std::function<void(const std::string&, const std::string&)>& show,
                    int line) {
  (void)t;
  std::string n = std::to_string(line);
  show("PHASE," + n, "PORTABLE -> PC");
  show("ETAT," + n, "EN COURS");
  show("PORTABLE," + n, "001");
  show("FICHIER," + n, "COMMANDE.001");
  show("BLOCS," + n, "57");
  show("TRANS," + n, "45 %");
  show("TEMPS," + n, "    3");
}

TEST_F(TerminalFrontEndTest, OnlineDisplayShowsBothLinesSideBySide) {
  Open("KAVELIN2.WDW");
  auto show = [this](const std::string& k, const std::string& v) { Show(k, v); };
  ShowOnlineLine(this, show, 1);
  Show("PHASE,2", "ATTENTE");
  Show("ETATIMG1", "MODEM.BMP");
  Show("ETATIMG2", "CONNECT.BMP");
  Show("timeout,2", "3");
  Show("HEURE,", "10:11:12");
  Show("RESULTAT,1", "OK");
  Show("RESULTAT,2", "ER 11 NAK de suite");
  EXPECT_EQ(Poll().status, "*N*");
  const std::string screen = term_.Text();
  // The last exchange of each line; a failure stands out, a success does not.
  EXPECT_TRUE(term_.Shows("Dernier échange")) << screen;
  EXPECT_TRUE(term_.Shows("ER 11 NAK de suite")) << screen;
  EXPECT_NE(0u, term_.AttrAt("ER 11 NAK de suite") & kReverse) << screen;
  EXPECT_EQ(0u, term_.AttrAt("OK ") & kReverse) << screen;
  EXPECT_TRUE(term_.Shows("Ligne 1")) << screen;
  EXPECT_TRUE(term_.Shows("Ligne 2"));
  EXPECT_TRUE(term_.Shows("10:11:12"));
  EXPECT_TRUE(term_.Shows("[#######.........] 45 %"));
  EXPECT_TRUE(term_.Shows("Modem"));
  EXPECT_TRUE(term_.Shows("Liaison directe"));
  EXPECT_TRUE(term_.Shows("COMMANDE.001"));
  // Both lines on the same row of the screen.
  bool same_row = false;
  for (int r = 0; r < term_.rows; ++r) {
    std::string row = term_.Row(r);
    if (row.find("PORTABLE -> PC") != std::string::npos &&
        row.find("ATTENTE") != std::string::npos) {
      same_row = true;
    }
  }
  EXPECT_TRUE(same_row) << screen;
}

TEST_F(TerminalFrontEndTest, OnlineDisplayIsRedrawnAtMostFiveTimesASecond) {
  Open("KAVELIN2.WDW");
  Poll();
  int flushes = term_.flushes;
  int reads = term_.reads;
  // A fast transfer: thousands of fields and polls within 100 ms.
  for (int i = 0; i < 5000; ++i) {
    Show("BLOCS,1", std::to_string(i));
    EXPECT_EQ(Poll().status, "*N*");
    if (i % 100 == 0) term_.now += 2;
  }
  EXPECT_EQ(term_.flushes, flushes);
  EXPECT_LE(term_.reads - reads, 3);
  term_.now += kOnlineRedrawMs;
  Poll();
  EXPECT_EQ(term_.flushes, flushes + 1);
  EXPECT_TRUE(term_.Shows("4999"));
  // Nothing new: nothing drawn.
  term_.now += 1000;
  Poll();
  EXPECT_EQ(term_.flushes, flushes + 1);
}

TEST_F(TerminalFrontEndTest, OnlineStopKeyAsksToStopAndARefusalIsExplained) {
  Open("KAVELIN2.WDW");
  EXPECT_EQ(Poll().status, "*N*");
  term_.now += kOnlineKeyCheckMs;
  Keys({'x'});
  EXPECT_EQ(Poll().status, "*N*");
  term_.now += kOnlineKeyCheckMs;
  Keys({kKeyEscape});
  EXPECT_EQ(Poll().status, "*P*");
  // Still on line at the next pass: the station is busy with an exchange.
  term_.now += 1;
  EXPECT_EQ(Poll().status, "*N*");
  EXPECT_TRUE(term_.Shows("Arrêt impossible"));
}

TEST_F(TerminalFrontEndTest, QuestionBoxAnswersYesAndNo) {
  Open("MENU.WDW");
  term_.Type("o");
  EXPECT_TRUE(fe_->Question(screen_, "Etes vous sur de vouloir quitter KAVELIN2 ?"));
  EXPECT_TRUE(term_.Shows("Etes vous sur de vouloir quitter KAVELIN2 ?"));
  EXPECT_TRUE(term_.Shows("[ Oui ]"));
  Keys({kKeyEscape});
  EXPECT_FALSE(fe_->Question(screen_, "?"));
  Keys({kKeyRight, kKeyEnter});
  EXPECT_FALSE(fe_->Question(screen_, "?"));
  Keys({kKeyEnter});
  EXPECT_TRUE(fe_->Question(screen_, "?"));
}

TEST_F(TerminalFrontEndTest, MessageBoxWaitsForTheUser) {
  Open("MENU.WDW");
  screen_.nation = 3;
  Keys({'x', kKeyEnter});
  fe_->Message(screen_, MessageKind::kError, "Port COM1 unavailable.");
  EXPECT_TRUE(term_.Shows("Port COM1 unavailable."));
  EXPECT_TRUE(term_.Shows("Error"));
  EXPECT_TRUE(term_.keys.empty());
  EXPECT_FALSE(term_.terminate);
}

TEST_F(TerminalFrontEndTest, TerminationLeavesEveryWindowAndAnswersOnlyTheQuitQuestionYes) {
  term_.terminate = true;
  Open("KAVELIN2.WDW");
  EXPECT_EQ(Poll().status, "*P*");
  Close();
  Open("SERIE.WDW");
  EXPECT_EQ(Modal().status, "*A*");
  Close();
  Open("DECONEX.WDW");
  EXPECT_EQ(Poll().status, "*A*");
  Close();
  Open("MENU.WDW");
  EXPECT_FALSE(fe_->Question(screen_, "Chemin inexistant. Voulez vous le créer?"));
  EXPECT_EQ(Modal().status, "ESC");
  EXPECT_TRUE(fe_->Question(screen_, "Etes vous sur de vouloir quitter KAVELIN2 ?"));
}

TEST_F(TerminalFrontEndTest, TextViewerShowsTheEndOfTheFileWithoutItsControlBytes) {
  fs::path file = fs::temp_directory_path() / ("kavelin2-view-" + std::to_string(getpid()));
  {
    std::ofstream out(file, std::ios::binary);
    for (int i = 1; i <= 100; ++i) out << "line " << i << (i == 100 ? "\x1b[2J" : "") << "\r\n";
  }
  Open("MENU.WDW");
  Keys({kKeyEscape});
  fe_->ShowTextFile(screen_, file.string());
  EXPECT_TRUE(term_.Shows("line 100?[2J"));
  EXPECT_TRUE(term_.Shows("line 79\n"));
  EXPECT_FALSE(term_.Shows("line 1\n"));
  Keys({kKeyHome, kKeyEscape});
  fe_->ShowTextFile(screen_, file.string());
  EXPECT_TRUE(term_.Shows("line 1\n"));
  fs::remove(file);
  Keys({kKeyEnter});
  fe_->ShowTextFile(screen_, file.string());
  EXPECT_TRUE(term_.Shows("Lecture impossible"));
}

TEST_F(TerminalFrontEndTest, ResizedTerminalIsLaidOutAgain) {
  Open("MENU.WDW");
  Keys({kKeyDown});
  Modal();
  term_.terminate = false;
  term_.idle = 0;
  term_.rows = 30;
  term_.cols = 120;
  Keys({kKeyResize, kKeyEscape});
  EXPECT_EQ(Modal().status, "ESC");
  // The frame is centred in 120 columns.
  bool centred = false;
  for (int r = 0; r < term_.rows; ++r) {
    std::string row = term_.Row(r);
    if (row.rfind(std::string((120 - 74) / 2, ' ') + "+---", 0) == 0) centred = true;
  }
  EXPECT_TRUE(centred) << term_.Text();
  // A tiny terminal draws what it can without failing.
  term_.rows = 8;
  term_.cols = 30;
  Keys({kKeyResize, kKeyEscape});
  EXPECT_EQ(Modal().status, "ESC");
}

}  // namespace
}  // namespace kavelin2::uirt::term
