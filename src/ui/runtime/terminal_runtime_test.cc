// The terminal front end behind the runtime core: what the user edits is
// what the station's "ECRAN,RECUPERE" fetches.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ui/runtime/runtime_core.h"
#include "ui/runtime/terminal_fake_terminal.h"
#include "ui/runtime/terminal_front_end.h"

namespace kavelin2::uirt::term {
namespace {

struct Answer {
  std::string status;
  std::string value;
};

class TerminalWithRuntime : public ::testing::Test {
 protected:
  TerminalWithRuntime()
      : runtime_(NewTerminalFrontEndOn(std::make_unique<FakeTerminal>(&term_)), nullptr) {}

  Answer Call(const std::string& command) {
    uint8_t block[1025] = {};
    std::memcpy(block, command.c_str(), command.size() + 1);
    runtime_.Execute(block);
    Answer a;
    if (block[0] & 0x80) a.status.assign(reinterpret_cast<const char*>(block + 2), 3);
    if (block[0] & 0x10) a.value = reinterpret_cast<const char*>(block + 48);
    return a;
  }
  void Keys(std::initializer_list<int> keys) {
    for (int k : keys) term_.keys.push_back(k);
  }

  FakeTerminal::Shared term_;
  Runtime runtime_;
};

TEST_F(TerminalWithRuntime, PortDialogFetchesGiveTheEditedValuesAndTheDeviceName) {
  Call("OUVRE,SERIE.WDW");
  Call("AFFICHE, ACTIVE1,=N");
  Call("AFFICHE, PORT1,=1");
  Call("AFFICHE, VITESSE1,=1");
  Call("AFFICHE, DONNEES1,=2");
  Keys({' ', kKeyTab, '4', kKeyTab, kKeyLeft, kKeyTab, '1', kKeyF10});
  EXPECT_EQ(Call("ECRAN, SAISIE").status, "*V*");
  EXPECT_EQ(Call("ECRAN,RECUPERE,ACTIVE1").value, "O");
  EXPECT_EQ(Call("ECRAN,RECUPERE,PORT1").value, "COM4");
  EXPECT_EQ(Call("ECRAN,RECUPERE,VITESSE1").value, "8");
  EXPECT_EQ(Call("ECRAN,RECUPERE,DONNEES1").value, "1");
  // Our own title, with its accents, rather than the library's default one.
  EXPECT_TRUE(term_.Shows("Paramètres des ports série"));
}

TEST_F(TerminalWithRuntime, FileOptionsAndScheduleFetchesGiveTheEditedValues) {
  Call("OUVRE,FICHIERS.WDW");
  Call("AFFICHE, SUP_FIC=N");
  Call("AFFICHE, DOS=N");
  Keys({' ', kKeyEnter});  // SUP_FIC on, then Enter moves on
  Keys({kKeyF10});
  EXPECT_EQ(Call("ECRAN, SAISIE").status, "*V*");
  EXPECT_EQ(Call("ECRAN,RECUPERE,SUP_FIC").value, "O");
  EXPECT_EQ(Call("ECRAN,RECUPERE,DOS").value, "N");
  Call("FERME");

  Call("OUVRE,DECONEX.WDW");
  Call("AFFICHE, HEUREC,=00:00");
  Call("AFFICHE, HEURED,=00:00");
  Call("AFFICHE, HEUREAC,=08:00:00");
  EXPECT_EQ(Call("ECRAN,SAISIE,/NONBLOCANTE").status, "*N*");
  Keys({kKeyTab, 21, '0', '7', '4', '5', kKeyF10});
  EXPECT_EQ(Call("ECRAN,SAISIE,/NONBLOCANTE").status, "*V*");
  EXPECT_EQ(Call("ECRAN,RECUPERE,HEUREC").value, "07:45");
  EXPECT_TRUE(term_.Shows("08:00:00"));
}

TEST_F(TerminalWithRuntime, TitleSetByTheStationIsShown) {
  Call("OUVRE,SELREP.WDW");
  Call("WINDOWS,TCOURANT,Access paths to the tables");
  Keys({kKeyEscape});
  EXPECT_EQ(Call("ECRAN, SAISIE").status, "*A*");
  EXPECT_TRUE(term_.Shows("Access paths to the tables"));
  EXPECT_EQ(Call("ECRAN,RECUPERE,REPERTOIRE").value, "");
}

TEST_F(TerminalWithRuntime, MenuCodeComesBackAsTheReplyText) {
  Call("NATION,3");
  Call("OUVRE,MENU.WDW");
  term_.Type("r");
  Answer a = Call("ECRAN, SAISIE");
  EXPECT_EQ(a.status, "*M*");
  EXPECT_EQ(a.value, "RR");
  EXPECT_TRUE(term_.Shows("Main menu"));
  term_.Type("n");
  EXPECT_EQ(Call("OUINON, Delete of the result file?").value, "0");
  term_.Type("y");
  EXPECT_EQ(Call("OUINON, Delete of the result file?").value, "1");
}

}  // namespace
}  // namespace kavelin2::uirt::term
