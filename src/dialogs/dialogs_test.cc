// The port, modem, file options and language dialogs, driven whole through
// the fake UI runtime.
#include "dialogs/dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "config/settings.h"
#include "config/settings_test_util.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

using Commands = std::vector<std::string>;

Commands PortFills(int n, char active, int port, int v, int d, int p, int s, char irda) {
  auto L = [n](const char* f, const std::string& v) {
    return std::string("AFFICHE, ") + f + std::to_string(n) + ",=" + v;
  };
  return {L("ACTIVE", std::string(1, active)), L("PORT", std::to_string(port)),
          L("VITESSE", std::to_string(v)),     L("DONNEES", std::to_string(d)),
          L("PARITE", std::to_string(p)),      L("STOPBIT", std::to_string(s)),
          L("IRDA", std::string(1, irda))};
}

Commands Concat(std::initializer_list<Commands> parts) {
  Commands out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(EditPortSettings, WithoutAFileWritesTheDefaultsThenCancelKeepsThem) {
  TestStation ts;
  std::string on_open;
  ts.ui->responder = [&](const std::string& c) -> std::optional<FakeReply> {
    if (c == "OUVRE,SERIE.WDW") on_open = ReadFile("CONF_COM.CFG");
    return std::nullopt;
  };
  EditPortSettings(ts.st);  // the fake answers the input with "ESC"
  EXPECT_EQ(DefaultPortImage(), on_open);
  EXPECT_EQ(Concat({{"OUVRE,SERIE.WDW"},
                    PortFills(1, 'N', 1, 1, 2, 1, 1, 'N'),
                    PortFills(2, 'N', 2, 1, 2, 1, 1, 'N'),
                    {"ECRAN, SAISIE", "FERME"}}),
            ts.ui->commands);
  EXPECT_EQ(DefaultPortImage(), ReadFile("CONF_COM.CFG"));
  EXPECT_TRUE(ts.st.ui.StatusIs("???"));
}

TEST(EditPortSettings, ShowsTheStoredNameAsItsNumberAndCancelKeepsTheFile) {
  TestStation ts;
  std::string image =
      PortEntryImage('O', "COM3", 6, 1, 2, 3, 'O') + PortEntryImage('N', "COM9", 8, 2, 4, 1, 'N');
  WriteFile("CONF_COM.CFG", image);
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*A*");
  EditPortSettings(ts.st);
  EXPECT_EQ(Concat({{"OUVRE,SERIE.WDW"},
                    PortFills(1, 'O', 3, 6, 1, 2, 3, 'O'),
                    PortFills(2, 'N', 9, 8, 2, 4, 1, 'N'),
                    {"ECRAN, SAISIE", "FERME"}}),
            ts.ui->commands);
  EXPECT_EQ(image, ReadFile("CONF_COM.CFG"));
  EXPECT_STREQ("COM9", ts.st.Ports.line[1].PORT);
}

TEST(EditPortSettings, ValidationStoresEachFetchedValueInItsField) {
  TestStation ts;
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*V*");
  const std::vector<std::pair<std::string, std::string>> fetched = {
      {"ACTIVE1", "O"},      {"PORT1", "COM3"},  {"VITESSE1", "6"}, {"DONNEES1", "1"},
      {"PARITE1", "2"},      {"STOPBIT1", "3"},  {"IRDA1", "Oui"},  {"ACTIVE2", "N"},
      {"PORT2", "COM12345"}, {"VITESSE2", "-1"}, {"DONNEES2", "7"}, {"PARITE2", "4"},
      {"STOPBIT2", "2"},     {"IRDA2", "N"},
  };
  Commands expected = Concat({{"OUVRE,SERIE.WDW"},
                              PortFills(1, 'N', 1, 1, 2, 1, 1, 'N'),
                              PortFills(2, 'N', 2, 1, 2, 1, 1, 'N'),
                              {"ECRAN, SAISIE"}});
  for (const auto& [field, value] : fetched) {
    ts.ui->Script("ECRAN,RECUPERE," + field, Value(value));
    expected.push_back("ECRAN,RECUPERE," + field);
  }
  expected.push_back("FERME");
  EditPortSettings(ts.st);
  EXPECT_EQ(expected, ts.ui->commands);
  EXPECT_TRUE(ts.ui->script_done());
  // The over-long name is refused, not cut into another port's name: the
  // line keeps the one it had.
  EXPECT_EQ(PortEntryImage('O', "COM3", 6, 1, 2, 3, 'O') +
                PortEntryImage('N', "COM2", 0xFFFFFFFF, 7, 4, 2, 'N'),
            ReadFile("CONF_COM.CFG"));
  EXPECT_EQ(-1, ts.st.Ports.line[1].VITESSE);
  EXPECT_TRUE(ts.st.ui.StatusIs("???"));
}

TEST(EditPortSettings, ValidatingWithoutChangesRewritesTheSameBytes) {
  TestStation ts;
  std::string image =
      PortEntryImage('O', "COM3", 6, 1, 2, 3, 'O') + PortEntryImage('N', "COM4", 8, 2, 4, 1, 'N');
  WriteFile("CONF_COM.CFG", image);
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*V*");
  // The window gives the device name back for the port number it was shown.
  ts.ui->responder = [](const std::string& c) -> std::optional<FakeReply> {
    if (c == "ECRAN,RECUPERE,PORT1") return Value("COM3");
    if (c == "ECRAN,RECUPERE,PORT2") return Value("COM4");
    return std::nullopt;
  };
  EditPortSettings(ts.st);
  EXPECT_EQ(image, ReadFile("CONF_COM.CFG"));
}

// Port names that are not "COM" and one digit are shown as they are and come
// back unchanged; validating after editing line 2 only never touches line
// 1's name. The window gives "COMn" for a number it shows, any other value
// as it is (as the runtime's port field does).
TEST(EditPortSettings, NamesRoundTripUnchangedAndEditingLine2LeavesLine1) {
  struct Case {
    std::string stored;  // line 1's PORT bytes (five, maybe unterminated)
    std::string shown;
  };
  for (const Case& c : {Case{"USB0", "USB0"}, Case{"COM12", "COM12"}, Case{"ACM_1", "ACM_1"},
                        Case{"COM3", "3"}, Case{"COM0", "0"}, Case{"12", "12"}}) {
    TestStation ts;
    const std::string line1 = PortEntryImage('O', c.stored, 2, 2, 1, 1, 'N');
    const std::string line2 = PortEntryImage('N', "COM2", 1, 2, 1, 1, 'N');
    WriteFile("CONF_COM.CFG", line1 + line2);
    ts.ui->ScriptStatus("ECRAN, SAISIE", "*V*");
    ts.ui->responder = [&](const std::string& command) -> std::optional<FakeReply> {
      if (command == "ECRAN,RECUPERE,PORT2") return Value("tty_7");  // the user's edit
      if (command != "ECRAN,RECUPERE,PORT1") return std::nullopt;
      std::string shown = ts.ui->fields["SERIE.WDW"]["PORT1,"];
      bool digits = !shown.empty() && shown.find_first_not_of("0123456789") == std::string::npos;
      return Value(digits ? "COM" + std::to_string(std::stoi(shown)) : shown);
    };
    EditPortSettings(ts.st);
    EXPECT_EQ(1u, std::count(ts.ui->commands.begin(), ts.ui->commands.end(),
                             "AFFICHE, PORT1,=" + c.shown))
        << c.stored;
    EXPECT_EQ(1u, std::count(ts.ui->commands.begin(), ts.ui->commands.end(), "AFFICHE, PORT2,=2"))
        << c.stored;
    EXPECT_EQ(line1 + PortEntryImage('N', "tty_7", 1, 2, 1, 1, 'N'), ReadFile("CONF_COM.CFG"))
        << c.stored;
    EXPECT_EQ(c.stored, PortName(ts.st.Ports.line[0]));
  }
}

// A name the station could not open is refused: the line keeps its port.
TEST(EditPortSettings, AnEditedNameTheStationCannotOpenKeepsTheStoredOne) {
  TestStation ts;
  std::memcpy(ts.st.CurrentLanguage, "Anglais", 8);
  const std::string image =
      PortEntryImage('O', "USB0", 2, 2, 1, 1, 'N') + PortEntryImage('O', "COM2", 2, 2, 1, 1, 'N');
  WriteFile("CONF_COM.CFG", image);
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*V*");
  ts.ui->responder = [&](const std::string& command) -> std::optional<FakeReply> {
    if (command == "ECRAN,RECUPERE,PORT1") return Value("ttyACM0");  // six characters
    if (command == "ECRAN,RECUPERE,PORT2") return Value("../x");
    return std::nullopt;
  };
  EditPortSettings(ts.st);
  EXPECT_EQ(image, ReadFile("CONF_COM.CFG"));
  EXPECT_EQ((std::vector<std::string>{"JOURNAL,PORT1: \"ttyACM0\" is no port name, USB0 stays",
                                      "JOURNAL,PORT2: \"../x\" is no port name, COM2 stays"}),
            ts.ui->CommandsStartingWith("JOURNAL,"));
}

TEST(EditModemSettings, WithoutAFileWritesZerosWithPresentNThenShowsThem) {
  TestStation ts;
  EditModemSettings(ts.st);
  EXPECT_EQ((Commands{"OUVRE,MODEM.WDW", "AFFICHE, MODEM1,=", "AFFICHE, PRESENT1,=N",
                      "AFFICHE, MODEM2,=", "AFFICHE, PRESENT2,=N", "ECRAN, SAISIE", "FERME"}),
            ts.ui->commands);
  EXPECT_EQ(DefaultModemImage(), ReadFile("CONF_MOD.CFG"));
  EXPECT_TRUE(ts.st.ui.StatusIs("???"));
}

TEST(EditModemSettings, ValidationCutsLongCommandsAndZeroesEveryByteBehindThem) {
  TestStation ts;
  WriteFile("CONF_MOD.CFG", std::string(64, '\xFF'));
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*V*");
  ts.ui->Script("ECRAN,RECUPERE,MODEM1", Value("AT&F"));
  ts.ui->Script("ECRAN,RECUPERE,PRESENT1", Value("O"));
  ts.ui->Script("ECRAN,RECUPERE,MODEM2", Value(std::string(40, 'M')));
  ts.ui->Script("ECRAN,RECUPERE,PRESENT2", Value("N"));
  EditModemSettings(ts.st);
  EXPECT_TRUE(ts.ui->script_done());
  EXPECT_EQ((Commands{"ECRAN, SAISIE", "ECRAN,RECUPERE,MODEM1", "ECRAN,RECUPERE,PRESENT1",
                      "ECRAN,RECUPERE,MODEM2", "ECRAN,RECUPERE,PRESENT2", "FERME"}),
            Commands(ts.ui->commands.end() - 6, ts.ui->commands.end()));
  EXPECT_EQ(Field("AT&F", 31) + "O" + Field(std::string(30, 'M'), 31) + "N",
            ReadFile("CONF_MOD.CFG"));
}

TEST(EditModemSettings, CancelKeepsTheFileAndTheRecord) {
  TestStation ts;
  std::string image = Field("ATX3", 31) + "O" + Field("", 31) + "N";
  WriteFile("CONF_MOD.CFG", image);
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*A*");
  EditModemSettings(ts.st);
  EXPECT_EQ("AFFICHE, MODEM1,=ATX3", ts.ui->commands[1]);
  EXPECT_EQ(image, ReadFile("CONF_MOD.CFG"));
  EXPECT_STREQ("ATX3", ts.st.Modems.line[0].MODEM);
}

TEST(EditFileOptions, ShowsTheSixFlagsInWindowOrderWithoutACommaBeforeEquals) {
  TestStation ts;
  WriteFile("CONF_FIC.CFG", "abcdef");  // SUP_TAB APPEND PORTABLE SUP_FIC ADD_CRLF DOS
  EditFileOptions(ts.st);
  EXPECT_EQ((Commands{"OUVRE,FICHIERS.WDW", "AFFICHE, SUP_FIC=d", "AFFICHE, APPEND=b",
                      "AFFICHE, PORTABLE=c", "AFFICHE, SUP_TAB=a", "AFFICHE, ADD_CRLF=e",
                      "AFFICHE, DOS=f", "ECRAN, SAISIE", "FERME"}),
            ts.ui->commands);
  EXPECT_EQ("abcdef", ReadFile("CONF_FIC.CFG"));
  EXPECT_TRUE(ts.st.ui.StatusIs("???"));
}

TEST(EditFileOptions, WithoutAFileWritesSixN) {
  TestStation ts;
  EditFileOptions(ts.st);
  EXPECT_EQ("NNNNNN", ReadFile("CONF_FIC.CFG"));
  EXPECT_EQ("AFFICHE, DOS=N", ts.ui->commands[6]);
}

TEST(EditFileOptions, ValidationStoresEachFetchInItsByteOfTheFile) {
  TestStation ts;
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*V*");
  const char* order[] = {"SUP_FIC", "APPEND", "PORTABLE", "SUP_TAB", "ADD_CRLF", "DOS"};
  const char* values[] = {"1st", "2nd", "3rd", "4th", "5th", "6th"};
  for (int i = 0; i < 6; ++i)
    ts.ui->Script(std::string("ECRAN,RECUPERE,") + order[i], Value(values[i]));
  EditFileOptions(ts.st);
  EXPECT_TRUE(ts.ui->script_done());
  EXPECT_EQ("423156", ReadFile("CONF_FIC.CFG"));
}

TEST(EditFileOptions, SettingOnlySupFicStoresOAtByteThree) {
  TestStation ts;
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*V*");
  ts.ui->Script("ECRAN,RECUPERE,SUP_FIC", Value("O"));  // the others: as shown, 'N'
  EditFileOptions(ts.st);
  EXPECT_EQ("NNNONN", ReadFile("CONF_FIC.CFG"));
  EXPECT_EQ('O', ts.st.Options.SUP_FIC);
}

struct LanguageCase {
  const char* status;
  const char* name;
  const char* command;
};

class EditLanguageChoice : public testing::TestWithParam<LanguageCase> {};

TEST_P(EditLanguageChoice, SetsStoresAndSendsTheLanguageWhileTheWindowIsOpen) {
  const LanguageCase& c = GetParam();
  TestStation ts;
  ts.ui->ScriptStatus("ECRAN, SAISIE", c.status);
  EditLanguage(ts.st);
  EXPECT_EQ((Commands{"OUVRE,LANGUE.WDW", "ECRAN, SAISIE", c.command, "FERME"}), ts.ui->commands);
  EXPECT_STREQ(c.name, ts.st.CurrentLanguage);
  EXPECT_EQ(Field(c.name, 9), ReadFile("LANGUE.CFG"));
  EXPECT_TRUE(ts.st.ui.StatusIs("???"));
}

INSTANTIATE_TEST_SUITE_P(ThreeLanguages, EditLanguageChoice,
                         testing::Values(LanguageCase{"*F*", "Francais", "NATION,5"},
                                         LanguageCase{"*A*", "Anglais", "NATION,3"},
                                         LanguageCase{"*E*", "Espagnol", "NATION,7"}));

TEST(EditLanguage, ReplacingALongerNameLeavesZerosBehindTheShorterOne) {
  TestStation ts;
  WriteFile("LANGUE.CFG", Field("Espagnol", 9));
  ts.ui->ScriptStatus("ECRAN, SAISIE", "*A*");
  EditLanguage(ts.st);
  EXPECT_EQ(std::string("Anglais\0\0", 9), ReadFile("LANGUE.CFG"));
}

TEST(EditLanguage, CancelSendsNoCommandButStillRewritesTheWholeFile) {
  TestStation ts;
  std::memcpy(ts.st.CurrentLanguage, "Espagnol", 9);
  WriteFile("LANGUE.CFG", "Ang");  // short: overlays the start of the name in memory
  EditLanguage(ts.st);             // the fake answers "ESC"
  // "Angagnol" is no language: the default is kept and stored, with a warning.
  EXPECT_EQ((Commands{"JOURNAL,LANGUE.CFG ne contient aucune langue connue (Francais, Anglais, "
                      "Espagnol): Francais utilise",
                      "OUVRE,LANGUE.WDW", "ECRAN, SAISIE", "FERME"}),
            ts.ui->commands);
  EXPECT_EQ(std::string("Francais\0", 9), ReadFile("LANGUE.CFG"));
}

TEST(EditLanguage, WithoutAFileStartsFromFrancais) {
  TestStation ts;
  std::string on_open;
  ts.ui->responder = [&](const std::string& c) -> std::optional<FakeReply> {
    if (c == "OUVRE,LANGUE.WDW") on_open = ReadFile("LANGUE.CFG");
    return std::nullopt;
  };
  EditLanguage(ts.st);
  EXPECT_EQ(Field("Francais", 9), on_open);
  EXPECT_EQ(Field("Francais", 9), ReadFile("LANGUE.CFG"));
}

TEST(EditLanguage, ARuntimeThatFailedToStartDoesNotChooseSpanish) {
  TestStation ts;
  ts.ui->fail_init = true;  // every call leaves "*E*" in the status
  EditLanguage(ts.st);
  EXPECT_TRUE(ts.ui->commands.empty());
  EXPECT_STREQ("Francais", ts.st.CurrentLanguage);
  EXPECT_EQ(Field("Francais", 9), ReadFile("LANGUE.CFG"));
}

}  // namespace
}  // namespace kavelin2
