// The station program as an operator starts it: a first run with no settings
// at all, a service that cannot go on line, the command line's own options,
// a language file it cannot read, and the two ways its UI runtime can be
// missing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "testing/pty.h"

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

// A fresh, empty working directory inside the test's WorkDir (which holds
// RECU/, TABLE/... of its own).
std::string EmptySite(const WorkDir& dir) {
  std::string site = dir / "site";
  mkdir(site.c_str(), 0777);
  return site;
}

size_t Count(const std::string& haystack, const std::string& needle) {
  size_t n = 0;
  for (size_t p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + 1))
    ++n;
  return n;
}

// A first run: build/kavelin2 with no argument (on line at once), headless,
// in a directory with no file at all. The default settings name no
// directory, which is the working directory: the station goes on line
// without a question, a SIGTERM stops it with status 0. Then line 1 is made
// active (as the port dialog would) and a handheld's upload lands in the
// working directory under its plain name, and the table "TABLE.001" there is
// served.
TEST(Program, FirstRunGoesOnLineWithoutAQuestionAndStoresUploadsInTheWorkingDirectory) {
  WorkDir dir;
  const std::string site = EmptySite(dir);
  {
    Child station(BuildDir() + "/kavelin2", {}, site,
                  {{"KAVELIN2_UI", "headless"}, {"KAVELIN2_UI_TRANSCRIPT", dir / "ui.txt"}},
                  dir / "out.txt", dir / "err.txt");
    ASSERT_TRUE(WaitFor(
        [&] { return ReadFile(dir / "ui.txt").find("PHASE,2=INACTIF") != std::string::npos; },
        20000))
        << station.Output() << station.Errors();
    station.Signal(SIGTERM);
    ASSERT_EQ(0, station.Wait(20000)) << station.Output();
    EXPECT_EQ("", station.Errors());
    // No question but the quit question that follows the stop (which the
    // log shows as the stop itself): no directory to create.
    std::string ui = ReadFile(dir / "ui.txt");
    EXPECT_EQ(1u, Count(ui, "OUINON")) << ui;
    EXPECT_EQ(1u, Count(ui, "OUINON, Etes vous sur de vouloir quitter KAVELIN2 ?\n")) << ui;
    EXPECT_EQ(std::string::npos, station.Output().find("OUINON")) << station.Output();
    EXPECT_NE(std::string::npos, station.Output().find(" arrêté sur SIGTERM\n"))
        << station.Output();

    EXPECT_EQ(PortEntryImage("COM1") + PortEntryImage("COM2"), ReadFile(site + "/CONF_COM.CFG"));
    std::string modem = Zeros(64);
    modem[31] = modem[63] = 'N';
    EXPECT_EQ(modem, ReadFile(site + "/CONF_MOD.CFG"));
    EXPECT_EQ(Zeros(324), ReadFile(site + "/CHEMIN.CFG"));
    EXPECT_EQ("NNNNNN", ReadFile(site + "/CONF_FIC.CFG"));
    std::string schedule = Zeros(401);
    schedule[0] = 'O';
    schedule.replace(1, 5, "00:00");
    schedule[6] = 'N';
    schedule.replace(136, 5, "00:00");
    schedule[141] = 'N';
    schedule[271] = 'N';
    EXPECT_EQ(schedule, ReadFile(site + "/HEURE.CFG"));
    EXPECT_EQ(std::string("Francais") + '\0', ReadFile(site + "/LANGUE.CFG"));
    // Nothing but the six settings files and the lock the station held
    // there while on line: no directory was created.
    EXPECT_EQ((std::vector<std::string>{"CHEMIN.CFG", "CONF_COM.CFG", "CONF_FIC.CFG",
                                        "CONF_MOD.CFG", "HEURE.CFG", "LANGUE.CFG"}),
              ListDir(site));
    EXPECT_EQ("", ReadFile(site + "/.kavelin2.lock"));
    EXPECT_TRUE(FileExists(site + "/.kavelin2.lock"));

    // The windows open in this order: the language before the menu, then at
    // going on line the port, modem, paths, file options and schedule dialogs.
    size_t at = 0;
    for (const char* window :
         {"OUVRE,LANGUE.WDW", "OUVRE,MENU.WDW", "OUVRE,KAVELIN2.WDW", "OUVRE,SERIE.WDW",
          "OUVRE,MODEM.WDW", "OUVRE,CHEMIN.WDW", "OUVRE,FICHIERS.WDW", "OUVRE,DECONEX.WDW"}) {
      size_t found = ui.find(std::string(window) + "\n", at);
      ASSERT_NE(std::string::npos, found) << window << " missing after offset " << at << ":\n"
                                          << ui;
      at = found + 1;
    }
  }

  // Line 1 active; everything else as the first run left it.
  std::string com = ReadFile(site + "/CONF_COM.CFG");
  com[0] = 'O';
  WriteFile(site + "/CONF_COM.CFG", com);
  const std::string record = "LINE ONE OF THE ARTICLES FILE, SIXTY-FOUR CHARACTERS WIDE.......";
  ASSERT_EQ(64u, record.size());
  WriteFile(site + "/ARTICLES.DAT", record + "\r\n");
  WriteFile(site + "/TABLE.001", "ARTICLES.DAT 64\r\n");
  WriteFile(dir / "CDE.001", "AAAABBBBCCCC");
  SimulatorProcess sim(
      dir, "sim",
      {"--pty", dir / "com1", "--upload", "CDE.001:4", "--download", "001", "--receive-dir", "rx"});
  ASSERT_TRUE(WaitFor([&] { return FileExists(dir / "com1"); }, 5000));
  Child station(BuildDir() + "/kavelin2", {}, site,
                {{"KAVELIN2_UI", "headless"}, {"KAVELIN2_PORT_COM1", dir / "com1"}},
                dir / "out2.txt", dir / "err2.txt");
  ASSERT_EQ(0, sim.Finish()) << sim.Output() << station.Output();
  EXPECT_EQ("AAAABBBBCCCC", ReadFile(site + "/CDE.001"));
  EXPECT_EQ(record, ReadFile(dir / "rx/ARTICLES.DAT")) << sim.Output() << station.Output();
  ASSERT_TRUE(WaitFor([&] { return ReadFile(site + "/STAT.TXT").size() == 37; }, 10000));
  EXPECT_EQ("OK 001 1 ", ReadFile(site + "/STAT.TXT").substr(0, 9));
  station.Signal(SIGTERM);
  EXPECT_EQ(0, station.Wait(20000)) << station.Output();
  EXPECT_EQ(std::string::npos, station.Output().find("OUINON")) << station.Output();
}

// A station run as a service that cannot go on line ends with the status the
// README documents and one line on standard error that says which port (and
// device) or directory, and why; the log says it too, and no quit question
// is asked.
struct CannotGoOnLine {
  const char* what;
  int status;
  std::string device;     // KAVELIN2_PORT_COM1, relative to the WorkDir; "" none
  std::string table_dir;  // the TABLE directory text; "" keeps TABLE/
  std::string stderr_line;
  std::string log_line;
};

class ProgramCannotGoOnLine : public ::testing::TestWithParam<CannotGoOnLine> {};

TEST_P(ProgramCannotGoOnLine, ExitsWithItsStatusAndOneLineOnStandardError) {
  const CannotGoOnLine& c = GetParam();
  WorkDir dir;
  dir.WriteSettings(Settings{});  // line 1 active, English
  if (!c.table_dir.empty()) {
    std::string paths = ReadFile(dir / "CHEMIN.CFG");
    paths.replace(0, 81, c.table_dir + std::string(81 - c.table_dir.size(), '\0'));
    WriteFile(dir / "CHEMIN.CFG", paths);
  }
  WriteFile(dir / "plain-file", "not a serial device");
  // A device another program holds (locked as stations lock their ports).
  TestPty held;
  ASSERT_TRUE(held.ok());
  int holder = open(held.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(0, flock(holder, LOCK_EX | LOCK_NB));
  // A port on 127.0.0.1 that is bound and never listens: connections to
  // it are refused.
  int reserved = -1;
  const std::string port = std::to_string(ReservedLoopbackPort(&reserved));
  std::string device = c.device == "held"      ? held.path()
                       : c.device == "refused" ? "tcp://127.0.0.1:" + port
                       : c.device.empty()      ? std::string()
                       : c.device[0] == '/' || c.device.find("://") != std::string::npos
                           ? c.device
                           : dir / c.device;
  std::map<std::string, std::string> env{{"KAVELIN2_UI", "headless"},
                                         {"KAVELIN2_UI_TRANSCRIPT", dir / "ui.txt"}};
  if (!device.empty()) env["KAVELIN2_PORT_COM1"] = device;
  Child station(BuildDir() + "/kavelin2", {}, dir.path(), env, dir / "out.txt", dir / "err.txt");
  EXPECT_EQ(c.status, station.Wait(20000)) << station.Output() << station.Errors();
  close(holder);
  close(reserved);

  auto expand = [&](std::string text) {
    for (size_t p; (p = text.find("$DEV")) != std::string::npos;) text.replace(p, 4, device);
    for (size_t p; (p = text.find("$PORT")) != std::string::npos;) text.replace(p, 5, port);
    return text;
  };
  EXPECT_EQ(expand(c.stderr_line) + "\n", station.Errors());
  std::string log = station.Output();
  EXPECT_NE(std::string::npos, log.find(" " + expand(c.log_line) + "\n")) << log;
  EXPECT_EQ(std::string::npos, log.find("quit")) << log;
  std::string ui = ReadFile(dir / "ui.txt");
  EXPECT_EQ(0u, Count(ui, "OUINON, Are you sure to quit")) << ui;
  // The program ended from the on-line window, without a menu after it.
  EXPECT_EQ(1u, Count(ui, "OUVRE,MENU.WDW\n")) << ui;
  EXPECT_EQ("FERME\n", ui.substr(ui.size() - 6)) << ui;
}

INSTANTIATE_TEST_SUITE_P(
    Program, ProgramCannotGoOnLine,
    ::testing::Values(
        CannotGoOnLine{"absent device", 4, "/nonexistent", "",
                       "kavelin2: port COM1 unavailable: /nonexistent: No such file or directory",
                       "Unavailable port COM1: /nonexistent: No such file or directory"},
        CannotGoOnLine{"not a terminal", 4, "plain-file", "",
                       "kavelin2: port COM1 unavailable: $DEV: not a terminal device",
                       "Unavailable port COM1: $DEV: not a terminal device"},
        CannotGoOnLine{"held by another program", 4, "held", "",
                       "kavelin2: port COM1 unavailable: $DEV: in use (locked by another program)",
                       "Unavailable port COM1: $DEV: in use (locked by another program)"},
        CannotGoOnLine{"refused connection", 4, "refused", "",
                       "kavelin2: port COM1 unavailable: $DEV: 127.0.0.1 port $PORT: Connection "
                       "refused",
                       "Unavailable port COM1: $DEV: 127.0.0.1 port $PORT: Connection refused"},
        CannotGoOnLine{"network port without its port", 4, "rfc2217://127.0.0.1", "",
                       "kavelin2: port COM1 unavailable: $DEV: no :PORT after the host",
                       "Unavailable port COM1: $DEV: no :PORT after the host"},
        CannotGoOnLine{"uncreatable directory", 5, "", "no/such/",
                       "kavelin2: directory no/such/ missing and not created: No such file or "
                       "directory",
                       "Directory no/such/ missing and not created: No such file or directory"}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& ch : name)
        if (ch == ' ') ch = '_';
      return name;
    });

// Answered before anything else: no file is read or created and the UI
// runtime is not even loaded (the one named here does not exist, which would
// end the program with status 3).
TEST(Program, HelpAndVersionAnswerInAnEmptyDirectoryAndCreateNothing) {
  WorkDir dir;
  const std::string site = EmptySite(dir);
  const std::vector<std::vector<std::string>> command_lines = {
      {"--help"}, {"-h"}, {"P", "--help"}, {"--version"}};
  for (const auto& args : command_lines) {
    Child station(BuildDir() + "/kavelin2", args, site,
                  {{"KAVELIN2_UI_LIBRARY", dir / "no-such-runtime.so"},
                   {"KAVELIN2_TRACE", site + "/trace.txt"}},
                  dir / "out.txt", dir / "err.txt");
    ASSERT_EQ(0, station.Wait(10000)) << args[0] << station.Output() << station.Errors();
    EXPECT_EQ("", station.Errors()) << args[0];
    EXPECT_TRUE(ListDir(site).empty()) << args[0];
    std::string out = station.Output();
    if (args[0] == "--version") {
      EXPECT_EQ("kavelin2 1.95\n", out);
      continue;
    }
    for (const char* part :
         {"Usage: kavelin2 [P]", "KAVELIN2_UI ", "KAVELIN2_PORT_<NAME>", "KAVELIN2_TRACE",
          "CONF_COM.CFG", "STAT.TXT", "Exit status:", "  3  the UI runtime",
          "  4  a line's port cannot be opened", "  5  a directory is missing",
          "  6  another station holds the working or the received-files directory",
          "SIGTERM, SIGINT, SIGHUP  stop once a running exchange has ended", "SIGPIPE "})
      EXPECT_NE(std::string::npos, out.find(part)) << part << " in\n" << out;
  }
}

// LANGUE.CFG with a language the station does not know (empty after a full
// disk, a name in another language, a name with no terminator): read as
// French, with a warning, and the station goes on line, answers SIGTERM and
// ends with status 0 instead of spinning in its menu.
TEST(Program, UnknownLanguageGoesOnLineInFrenchAndStopsOnSigterm) {
  for (const std::string& language :
       {std::string(), std::string("English"), std::string("Espagnolx")}) {
    WorkDir dir;
    Settings settings;
    settings.active[0] = false;
    dir.WriteSettings(settings);
    WriteFile(dir / "LANGUE.CFG", language);
    Child station(BuildDir() + "/kavelin2", {}, dir.path(),
                  {{"KAVELIN2_UI", "headless"}, {"KAVELIN2_UI_TRANSCRIPT", dir / "ui.txt"}},
                  dir / "out.txt", dir / "err.txt");
    ASSERT_TRUE(WaitFor(
        [&] { return ReadFile(dir / "ui.txt").find("PHASE,2=INACTIF") != std::string::npos; },
        20000))
        << language << station.Output();
    const double cpu_before = ProcessCpuSeconds(station.pid());
    usleep(500000);
    EXPECT_LT(ProcessCpuSeconds(station.pid()) - cpu_before, 0.1) << language;  // not spinning
    station.Signal(SIGTERM);
    EXPECT_EQ(0, station.Wait(10000)) << language << station.Output();
    std::string ui = ReadFile(dir / "ui.txt");
    EXPECT_EQ(1u, Count(ui, "NATION,5\n")) << language;
    EXPECT_EQ(0u, Count(ui, "NATION,3\n") + Count(ui, "NATION,7\n")) << language;
    EXPECT_NE(std::string::npos, ui.find("AFFICHE, PHASE,1=INACTIF\n")) << language;
    EXPECT_EQ(
        "kavelin2: LANGUE.CFG holds no language the station knows (Francais, Anglais, "
        "Espagnol): using Francais\n",
        station.Errors());
    std::string log = station.Output();
    EXPECT_NE(std::string::npos, log.find(" LANGUE.CFG ne contient aucune langue connue")) << log;
    EXPECT_NE(std::string::npos, log.find(" arrêté sur SIGTERM\n")) << log;
    EXPECT_EQ(std::string::npos, log.find("OUINON")) << log;
    EXPECT_EQ(language, ReadFile(dir / "LANGUE.CFG"));  // left for its owner to see
  }
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

namespace kavelin2::e2e {
namespace {

// A log collector that goes away (standard output a pipe whose reader has
// gone) does not kill the station, and a hang-up stops it as SIGTERM does:
// the stop's log line, written into the broken pipe, fails and is survived,
// and the station ends with status 0.
TEST(Program, BrokenLogPipeIsSurvivedAndSighupStopsTheStation) {
  WorkDir dir;
  Settings settings;
  settings.active[0] = false;
  dir.WriteSettings(settings);
  const std::string script =
      "{ \"$0\" & p=$!; echo $p > pid; wait $p; echo $? > status; } | head -c 1 > /dev/null; wait";
  Child shell("/bin/sh", {"-c", script, BuildDir() + "/kavelin2"}, dir.path(),
              {{"KAVELIN2_UI", "headless"}, {"KAVELIN2_UI_TRANSCRIPT", dir / "ui.txt"}},
              dir / "out.txt", dir / "err.txt");
  ASSERT_TRUE(WaitFor(
      [&] {
        return ReadFile(dir / "ui.txt").find("ECRAN,SAISIE/NONBLOCANTE") != std::string::npos;
      },
      20000))
      << ReadFile(dir / "err.txt");
  const pid_t station = static_cast<pid_t>(std::atoi(ReadFile(dir / "pid").c_str()));
  ASSERT_GT(station, 0);
  // The reader has gone once it took its one byte; the station is still there.
  ASSERT_TRUE(
      WaitFor([&] { return ReadFile(dir / "out.txt").empty() && kill(station, 0) == 0; }, 2000));
  ASSERT_EQ(0, kill(station, SIGHUP));
  ASSERT_TRUE(WaitFor([&] { return !ReadFile(dir / "status").empty(); }, 20000))
      << ReadFile(dir / "err.txt");
  EXPECT_EQ("0\n", ReadFile(dir / "status")) << ReadFile(dir / "err.txt");
  EXPECT_EQ(0, shell.Wait(10000));
}

}  // namespace
}  // namespace kavelin2::e2e
