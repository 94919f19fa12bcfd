// The station program as an operator starts it: a first run with no settings
// at all, and the two ways its UI runtime can be missing.
#include <gtest/gtest.h>

#include <map>
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

// A whole menu session of `kavelin2 P` driven by the script front end: the
// settings file it leaves and the exact commands it sent.
struct Session {
  WorkDir dir;
  std::string transcript;
  std::string output;
  int status = -1;

  Session(const std::string& language, const std::string& script,
          const std::map<std::string, std::string>& files = {}) {
    for (const auto& [name, bytes] : files) WriteFile(dir / name, bytes);
    std::string lang = language;
    lang.resize(9, '\0');
    WriteFile(dir / "LANGUE.CFG", lang);
    WriteFile(dir / "script.txt", script);
    Child station(BuildDir() + "/kavelin2", {"P"}, dir.path(),
                  {{"KAVELIN2_UI", "script:" + (dir / "script.txt")},
                   {"KAVELIN2_UI_TRANSCRIPT", dir / "ui.txt"}},
                  dir / "out.txt");
    status = station.Wait(20000);
    output = station.Output();
    transcript = ReadFile(dir / "ui.txt");
  }
  bool Sent(const std::string& command) const {
    return transcript.find(command + "\n") != std::string::npos;
  }
};

TEST(ProgramMenu, PortDialogValidatedFromTheMenuWritesTheFetchedValues) {
  Session s("Anglais",
            "ECRAN, SAISIE\t*M*\tPP\n"
            "ECRAN, SAISIE\t*V*\n"
            "ECRAN,RECUPERE,ACTIVE1\t\tO\n"
            "ECRAN,RECUPERE,PORT1\t\tCOM3\n"
            "ECRAN,RECUPERE,VITESSE1\t\t2\n");
  ASSERT_EQ(0, s.status) << s.output;
  std::string line1 = "O";
  line1 += std::string("COM3") + '\0';
  line1 += Bytes({2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
  line1 += "N";
  EXPECT_EQ(line1 + PortEntryImage("COM2"), ReadFile(s.dir / "CONF_COM.CFG"));
  // The dialog's fill commands, its fetches in order and its close.
  EXPECT_NE(std::string::npos,
            s.transcript.find("OUVRE,SERIE.WDW\nAFFICHE, ACTIVE1,=N\nAFFICHE, PORT1,=1\n"
                              "AFFICHE, VITESSE1,=1\nAFFICHE, DONNEES1,=2\n"
                              "AFFICHE, PARITE1,=1\nAFFICHE, STOPBIT1,=1\nAFFICHE, IRDA1,=N\n"))
      << s.transcript;
  EXPECT_NE(std::string::npos,
            s.transcript.find("ECRAN, SAISIE\nECRAN,RECUPERE,ACTIVE1\nECRAN,RECUPERE,PORT1\n"
                              "ECRAN,RECUPERE,VITESSE1\nECRAN,RECUPERE,DONNEES1\n"))
      << s.transcript;
  EXPECT_TRUE(s.Sent("OUINON, Are you sure to quit KAVELIN2 ?"));
}

TEST(ProgramMenu, DeleteQuestionAnsweredNoKeepsTheResultFile) {
  const std::string record = "OK 001 1 06/12/26 09:15:02 00.03'25\r\n";
  Session s("Francais",
            "ECRAN, SAISIE\t*M*\tRR\n"
            "OUINON\t\t0\t0\n",
            {{"STAT.TXT", record}});
  ASSERT_EQ(0, s.status) << s.output;
  EXPECT_TRUE(s.Sent("OUINON, Effacement du fichier resultats?"));
  EXPECT_EQ(record, ReadFile(s.dir / "STAT.TXT"));
}

TEST(ProgramMenu, ResultFileMissingOnlyShowsTheEmptyFileMessage) {
  Session s("Francais", "ECRAN, SAISIE\t*M*\tRR\n");
  ASSERT_EQ(0, s.status) << s.output;
  EXPECT_TRUE(s.Sent("INFO, Fichier resultats vide."));
  EXPECT_FALSE(s.Sent("OUINON, Effacement du fichier resultats?"));
}

TEST(ProgramMenu, FileOptionsAndResultMessagesInSpanish) {
  Session s("Espagnol",
            "ECRAN, SAISIE\t*M*\tPF\n"
            "ECRAN, SAISIE\t*V*\n"
            "ECRAN,RECUPERE,SUP_FIC\t\tO\n"
            "ECRAN, SAISIE\t*M*\tRV\n");
  ASSERT_EQ(0, s.status) << s.output;
  // SUP_FIC is byte 3 of the file; the others were fetched as shown.
  EXPECT_EQ("NNNONN", ReadFile(s.dir / "CONF_FIC.CFG"));
  EXPECT_TRUE(s.Sent("AFFICHE, SUP_FIC=N"));
  EXPECT_TRUE(s.Sent("INFO, Fichero de resultados vasillo."));
  EXPECT_TRUE(s.Sent("OUINON, Esta seguro de querer salir de KAVELIN2 ?"));
  EXPECT_TRUE(s.Sent("NATION,7"));
}

}  // namespace
}  // namespace kavelin2::e2e
