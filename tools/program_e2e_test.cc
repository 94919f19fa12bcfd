// The station program as an operator starts it: a first run with no settings
// at all, and the two ways its UI runtime can be missing.
#include <gtest/gtest.h>

#include <string>

#include "e2e_support.h"

namespace kavelin2::e2e {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

std::string Zeros(size_t n) { return std::string(n, '\0'); }

std::string PortEntryImage(const char* port) {
  // ACTIVE, PORT (5), VITESSE 1, DONNEES 2, PARITE 1, STOPBIT 1 (little-endian
  // at odd offsets), IRDA.
  std::string e = "N";
  std::string p(port);
  p.resize(5, '\0');
  e += p;
  e += Bytes({1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
  e += "N";
  return e;
}

// Runs build/kavelin2 with no argument (on line at once), headless, in a
// directory with no settings file.
TEST(Program, FirstRunCreatesTheDefaultSettingsAndEndsCleanly) {
  WorkDir dir;
  Child station(BuildDir() + "/kavelin2", {}, dir.path(),
                {{"KAVELIN2_UI", "headless"}, {"KAVELIN2_UI_TRANSCRIPT", dir / "ui.txt"}},
                dir / "out.txt");
  // The default paths are empty and cannot be created: the station comes back
  // to the menu, whose headless answer leaves the program.
  ASSERT_EQ(0, station.Wait(20000)) << station.Output();

  EXPECT_EQ(PortEntryImage("COM1") + PortEntryImage("COM2"), ReadFile(dir / "CONF_COM.CFG"));
  std::string modem = Zeros(64);
  modem[31] = modem[63] = 'N';
  EXPECT_EQ(modem, ReadFile(dir / "CONF_MOD.CFG"));
  EXPECT_EQ(Zeros(324), ReadFile(dir / "CHEMIN.CFG"));
  EXPECT_EQ("NNNNNN", ReadFile(dir / "CONF_FIC.CFG"));
  std::string schedule = Zeros(401);
  schedule[0] = 'O';
  schedule.replace(1, 5, "00:00");
  schedule[6] = 'N';
  schedule.replace(136, 5, "00:00");
  schedule[141] = 'N';
  schedule[271] = 'N';
  EXPECT_EQ(schedule, ReadFile(dir / "HEURE.CFG"));
  EXPECT_EQ(std::string("Francais") + '\0', ReadFile(dir / "LANGUE.CFG"));

  // The windows open in this order: the language before the menu, then at
  // going on line the port, modem, paths, file options and schedule dialogs.
  std::string ui = ReadFile(dir / "ui.txt");
  size_t at = 0;
  for (const char* window : {"OUVRE,LANGUE.WDW", "OUVRE,MENU.WDW", "OUVRE,KAVELIN2.WDW",
                             "OUVRE,SERIE.WDW", "OUVRE,MODEM.WDW", "OUVRE,CHEMIN.WDW",
                             "OUVRE,FICHIERS.WDW", "OUVRE,DECONEX.WDW", "OUVRE,MENU.WDW"}) {
    size_t found = ui.find(std::string(window) + "\n", at);
    ASSERT_NE(std::string::npos, found) << window << " missing after offset " << at << ":\n" << ui;
    at = found + 1;
  }
  EXPECT_NE(std::string::npos, ui.find("OUINON, Etes vous sur de vouloir quitter KAVELIN2 ?"));
}

TEST(Program, MissingUiRuntimeStopsWithItsMessageAndStatus3) {
  WorkDir dir;
  Child station(BuildDir() + "/kavelin2", {"P"}, dir.path(),
                {{"KAVELIN2_UI_LIBRARY", dir / "no-such-runtime.so"}}, dir / "out.txt");
  EXPECT_EQ(3, station.Wait(10000));
  std::string out = station.Output();
  EXPECT_NE(std::string::npos, out.find("Erreur")) << out;
  EXPECT_NE(std::string::npos,
            out.find("La fonction loadlibrary sur la DLL WDEXE a échoué.\nProgramme arrêté!"))
      << out;
  // Nothing else happened: not even the language file was created.
  EXPECT_FALSE(FileExists(dir / "LANGUE.CFG"));
}

TEST(Program, UiRuntimeWithoutAnEntryPointStopsWithStatus3) {
  WorkDir dir;
  Child station(BuildDir() + "/kavelin2", {"P"}, dir.path(),
                {{"KAVELIN2_UI_LIBRARY", BuildDir() + "/libkavelin2ui_partial.so"}},
                dir / "out.txt");
  EXPECT_EQ(3, station.Wait(10000));
  std::string out = station.Output();
  EXPECT_NE(std::string::npos,
            out.find("La résolution des liens avec la DLL WDEXE a échoué.\nProgramme arrêté!"))
      << out;
}

}  // namespace
}  // namespace kavelin2::e2e
