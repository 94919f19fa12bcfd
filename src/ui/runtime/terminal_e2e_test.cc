// The station program in a real terminal: `kavelin2 P` runs inside tmux,
// keys go in with send-keys and the screen comes back with capture-pane.
//
// Set KAVELIN2_UPDATE_DOCS=1 to save the screens under docs/.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Runs |argv| and returns its standard output; |status| gets the exit status.
std::string RunCommand(const std::vector<std::string>& argv, int* status = nullptr) {
  int fds[2];
  if (pipe(fds) != 0) return "";
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int st = 0;
  waitpid(pid, &st, 0);
  if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return out;
}

bool TmuxAvailable() {
  int status = -1;
  RunCommand({"tmux", "-V"}, &status);
  return status == 0;
}

std::string Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

// Settings file images, built field by field.
void PutText(std::string& image, size_t offset, const std::string& text) {
  image.replace(offset, text.size(), text);
}
void PutInt(std::string& image, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) image[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

struct PortLine {
  char active = 'N';
  std::string port;
  uint32_t speed = 1, data = 2, parity = 1, stop = 1;
  char irda = 'N';
};
std::string PortsImage(const PortLine& l1, const PortLine& l2) {
  std::string image(46, '\0');
  size_t at = 0;
  for (const PortLine* l : {&l1, &l2}) {
    image[at] = l->active;
    PutText(image, at + 1, l->port);
    PutInt(image, at + 6, l->speed);
    PutInt(image, at + 10, l->data);
    PutInt(image, at + 14, l->parity);
    PutInt(image, at + 18, l->stop);
    image[at + 22] = l->irda;
    at += 23;
  }
  return image;
}
std::string DefaultPorts() {
  PortLine l1, l2;
  l1.port = "COM1";
  l2.port = "COM2";
  return PortsImage(l1, l2);
}

std::string ModemImage(const std::string& m1, char p1, const std::string& m2, char p2) {
  std::string image(64, '\0');
  PutText(image, 0, m1);
  image[31] = p1;
  PutText(image, 32, m2);
  image[63] = p2;
  return image;
}

std::string PathsImage(const std::string& table, const std::string& recu, const std::string& trans,
                       const std::string& log) {
  std::string image(324, '\0');
  PutText(image, 0, table);
  PutText(image, 81, recu);
  PutText(image, 162, trans);
  PutText(image, 243, log);
  return image;
}

struct Schedule {
  char avant = 'O';
  std::string heurec = "00:00";
  char selc = 'N';
  std::string progc;
  std::string heured = "00:00";
  char seld = 'N';
  std::string progd;
  char selfin = 'N';
  std::string progfin;
};
std::string ScheduleImage(const Schedule& s) {
  std::string image(401, '\0');
  image[0] = s.avant;
  PutText(image, 1, s.heurec);
  image[6] = s.selc;
  PutText(image, 7, s.progc);
  PutText(image, 136, s.heured);
  image[141] = s.seld;
  PutText(image, 142, s.progd);
  image[271] = s.selfin;
  PutText(image, 272, s.progfin);
  return image;
}

std::string LanguageImage(const std::string& name) {
  std::string image(9, '\0');
  PutText(image, 0, name);
  return image;
}

class TerminalEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TmuxAvailable()) GTEST_SKIP() << "tmux is not installed";
    static int counter = 0;
    std::string name =
        "kavelin2-term-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    socket_base_ = name;
    dir_ = fs::temp_directory_path() / name;
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    dir_ = fs::canonical(dir_);
    WriteBytes(dir_ / "LANGUE.CFG", LanguageImage("Francais"));
    WriteBytes(dir_ / "HEURE.CFG", ScheduleImage(Schedule{}));
  }

  void TearDown() override {
    for (const std::string& socket : sockets_) RunCommand({"tmux", "-L", socket, "kill-server"});
    if (!dir_.empty()) fs::remove_all(dir_);
    if (pty_master_ >= 0) close(pty_master_);
  }

  // Starts `kavelin2 P` in an 80x24 terminal. After the program the shell
  // reports its exit status and whether the terminal is back in its normal
  // modes, then waits.
  void Start(const std::string& environment = "") {
    // A server of its own for each start.
    socket_ = socket_base_ + "-" + std::to_string(sockets_.size());
    sockets_.push_back(socket_);
    std::string program = std::string(KAVELIN2_BUILD_DIR) + "/kavelin2";
    std::string command = "env LC_ALL=C.UTF-8 KAVELIN2_UI=terminal " + environment + " '" +
                          program +
                          "' P; echo \"EXIT=$?\"; "
                          "stty -a | tr ' ;' '\\n\\n' | grep -x -e icanon -e echo -e -icanon "
                          "-e -echo | tr '\\n' ' '; echo MODES; sleep 600";
    int status = -1;
    RunCommand({"tmux", "-L", socket_, "-f", "/dev/null", "new-session", "-d", "-x", "80", "-y",
                "24", "-c", dir_.string(), command},
               &status);
    ASSERT_EQ(status, 0);
  }

  std::string Screen() { return RunCommand({"tmux", "-L", socket_, "capture-pane", "-p"}); }

  // Polls the screen until |pred| holds; the last screen goes into the
  // failure message.
  ::testing::AssertionResult WaitFor(const std::function<bool(const std::string&)>& pred,
                                     const std::string& what, int timeout_ms = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::string screen;
    for (;;) {
      screen = Screen();
      if (pred(screen)) return ::testing::AssertionSuccess();
      if (std::chrono::steady_clock::now() > end) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return ::testing::AssertionFailure() << "no " << what << " on screen:\n" << screen;
  }
  ::testing::AssertionResult WaitForText(const std::string& text, int timeout_ms = 10000) {
    return WaitFor([&](const std::string& s) { return s.find(text) != std::string::npos; },
                   "\"" + text + "\"", timeout_ms);
  }
  ::testing::AssertionResult WaitForTitle(const std::string& title) {
    return WaitFor([&](const std::string& s) { return s.rfind(" KAVELIN2 - " + title, 0) == 0; },
                   "title \"" + title + "\"");
  }

  void Keys(const std::vector<std::string>& keys) {
    std::vector<std::string> argv = {"tmux", "-L", socket_, "send-keys"};
    argv.insert(argv.end(), keys.begin(), keys.end());
    RunCommand(argv);
  }
  void Type(const std::string& text) {
    RunCommand({"tmux", "-L", socket_, "send-keys", "-l", text});
  }

  // The quit question from the menu, answered yes; the program ends with 0
  // and leaves the terminal as it found it.
  void Quit(const std::string& yes_key = "o") {
    Keys({"Escape"});
    ASSERT_TRUE(WaitForText("KAVELIN2 ?"));
    Keys({yes_key});
    ASSERT_TRUE(WaitForText("MODES"));
    std::string s = Screen();
    EXPECT_NE(s.find("EXIT=0"), std::string::npos) << s;
    EXPECT_NE(s.find("icanon echo MODES"), std::string::npos) << s;
  }

  void SaveDoc(const std::string& name, const std::string& screen) {
    const char* update = std::getenv("KAVELIN2_UPDATE_DOCS");
    if (update == nullptr || std::string(update) != "1") return;
    std::ofstream(fs::path(KAVELIN2_SOURCE_DIR) / "docs" / name) << screen;
  }

  // The station's process, child of the pane's shell.
  pid_t StationPid() {
    std::string pane = RunCommand({"tmux", "-L", socket_, "display-message", "-p", "#{pane_pid}"});
    std::ifstream children("/proc/" + std::to_string(std::atoi(pane.c_str())) + "/task/" +
                           std::to_string(std::atoi(pane.c_str())) + "/children");
    pid_t pid = 0;
    children >> pid;
    return pid;
  }

  // A pseudo-terminal standing for a serial line; its device path.
  std::string OpenLinePty() {
    pty_master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (pty_master_ < 0 || grantpt(pty_master_) != 0 || unlockpt(pty_master_) != 0) return "";
    return ptsname(pty_master_);
  }

  std::string socket_base_;
  std::string socket_;
  std::vector<std::string> sockets_;
  fs::path dir_;
  int pty_master_ = -1;
};

TEST_F(TerminalEndToEnd, MenuIsShownInEachLanguageAndQuitLeavesTheTerminalUsable) {
  struct Case {
    const char* language;
    const char* title;
    const char* item;
    const char* yes;
  };
  for (const Case& c : {Case{"Francais", "Menu principal", "Options des fichiers", "o"},
                        Case{"Anglais", "Main menu", "File options", "y"},
                        Case{"Espagnol", "Menú principal", "Opciones de ficheros", "s"}}) {
    SCOPED_TRACE(c.language);
    WriteBytes(dir_ / "LANGUE.CFG", LanguageImage(c.language));
    Start();
    ASSERT_TRUE(WaitForTitle(c.title));
    EXPECT_TRUE(WaitForText(c.item));
    if (std::string(c.language) == "Anglais") SaveDoc("screen-menu.txt", Screen());
    Quit(c.yes);
  }
}

TEST_F(TerminalEndToEnd, PortDialogStoresItsEditsExactlyAndCancelStoresNothing) {
  WriteBytes(dir_ / "CONF_COM.CFG", DefaultPorts());
  Start();
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  Keys({"p"});
  ASSERT_TRUE(WaitForTitle("Paramètres des ports série"));
  SaveDoc("screen-ports.txt", Screen());
  // Line 1: in use, COM3, 115200, 7 bits, even parity, 2 stop bits, IrDA.
  Keys({"Space", "Tab", "3", "Tab", "Right", "Tab", "1", "Tab", "Right", "Tab", "3", "Tab", "o"});
  ASSERT_TRUE(WaitForText("COM3"));
  Keys({"F10"});
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  PortLine l1, l2;
  l1 = {'O', "COM3", 2, 1, 2, 3, 'O'};
  l2.port = "COM2";
  std::string validated = PortsImage(l1, l2);
  EXPECT_EQ(Bytes(dir_ / "CONF_COM.CFG"), validated);

  Keys({"p"});
  ASSERT_TRUE(WaitForTitle("Paramètres des ports série"));
  Keys({"Space", "Tab", "5"});
  ASSERT_TRUE(WaitForText("COM5"));
  Keys({"Escape"});
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  EXPECT_EQ(Bytes(dir_ / "CONF_COM.CFG"), validated);
  Quit();
}

TEST_F(TerminalEndToEnd, ModemDialogStoresItsEditsExactlyAndCancelStoresNothing) {
  Start();
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  Keys({"m"});
  ASSERT_TRUE(WaitForTitle("Modems"));
  // The dialog created the file with its defaults before the window opened.
  EXPECT_EQ(Bytes(dir_ / "CONF_MOD.CFG"), ModemImage("", 'N', "", 'N'));
  Keys({"Space", "Tab"});
  Type("AT&F");
  Keys({"Tab", "Tab"});
  Type("ATS0=2");
  ASSERT_TRUE(WaitForText("ATS0=2"));
  Keys({"F10"});
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  std::string validated = ModemImage("AT&F", 'O', "ATS0=2", 'N');
  EXPECT_EQ(Bytes(dir_ / "CONF_MOD.CFG"), validated);

  Keys({"m"});
  ASSERT_TRUE(WaitForTitle("Modems"));
  Keys({"Tab"});
  Type("X");
  Keys({"Escape"});
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  EXPECT_EQ(Bytes(dir_ / "CONF_MOD.CFG"), validated);
  Quit();
}

TEST_F(TerminalEndToEnd, DirectoryPickerFillsAPathThatTheDialogStores) {
  for (const char* d : {"log", "recu", "tables", "trans"}) fs::create_directory(dir_ / d);
  WriteBytes(dir_ / "CHEMIN.CFG", PathsImage("", "", "", ""));
  Start();
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  Keys({"c"});
  ASSERT_TRUE(WaitForTitle("Chemins d'accès"));
  Keys({"F2"});
  ASSERT_TRUE(WaitForTitle("Chemin d'acces aux tables"));
  ASSERT_TRUE(WaitForText("tables/"));
  // 't' goes to "tables/", Enter opens it, F10 chooses it.
  Keys({"t", "Enter"});
  ASSERT_TRUE(WaitForText(dir_.string() + "/tables"));
  Keys({"F10"});
  ASSERT_TRUE(WaitForTitle("Chemins d'accès"));
  ASSERT_TRUE(WaitForText(dir_.string() + "/tables/"));
  // A path typed by hand in the second field.
  Keys({"Tab", "Tab"});
  Type("recu/");
  Keys({"F10"});
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  std::string validated = PathsImage(dir_.string() + "/tables/", "recu/", "", "");
  EXPECT_EQ(Bytes(dir_ / "CHEMIN.CFG"), validated);

  // Picked, then the whole dialog cancelled: nothing stored.
  Keys({"c"});
  ASSERT_TRUE(WaitForTitle("Chemins d'accès"));
  Keys({"Tab", "Tab", "Tab", "Tab", "F2"});
  ASSERT_TRUE(WaitForTitle("Chemin d'acces aux fichiers a transmettre"));
  ASSERT_TRUE(WaitForText("trans/"));
  Keys({"t", "t", "Enter"});
  ASSERT_TRUE(WaitForText(dir_.string() + "/trans"));
  Keys({"F10"});
  ASSERT_TRUE(WaitForText(dir_.string() + "/trans/"));
  Keys({"Escape"});
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  EXPECT_EQ(Bytes(dir_ / "CHEMIN.CFG"), validated);
  Quit();
}

TEST_F(TerminalEndToEnd, FileOptionsStoreTheirFlagsExactlyAndCancelStoresNothing) {
  WriteBytes(dir_ / "CONF_FIC.CFG", "NNNNNN");
  Start();
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  Keys({"f"});
  ASSERT_TRUE(WaitForTitle("Options des fichiers"));
  // SUP_FIC (shown first) and ADD_CRLF (fifth).
  Keys({"Space", "Down", "Down", "Down", "Down", "o"});
  Keys({"F10"});
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  // In the file: SUP_TAB, APPEND, PORTABLE, SUP_FIC, ADD_CRLF, DOS.
  EXPECT_EQ(Bytes(dir_ / "CONF_FIC.CFG"), "NNNOON");

  Keys({"f"});
  ASSERT_TRUE(WaitForTitle("Options des fichiers"));
  Keys({"Space", "Escape"});
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  EXPECT_EQ(Bytes(dir_ / "CONF_FIC.CFG"), "NNNOON");
  Quit();
}

TEST_F(TerminalEndToEnd, ScheduleStoresItsEditsExactlyAndCancelStoresNothing) {
  Start();
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  Keys({"h"});
  ASSERT_TRUE(WaitForTitle("Programmation horaire"));
  // The live clock.
  ASSERT_TRUE(WaitFor(
      [](const std::string& s) {
        return std::regex_search(s, std::regex("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]"));
      },
      "clock"));
  Keys({"Space", "Tab", "C-u"});
  Type("0930");
  Keys({"Tab"});
  Type("echo C");
  Keys({"Tab", "Tab", "Tab", "Tab", "Space", "Tab"});
  Type("echo fin");
  Keys({"Tab", "Space"});
  ASSERT_TRUE(WaitForText("echo fin"));
  Keys({"F10"});
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  Schedule s;
  s.avant = 'N';
  s.selc = 'O';
  s.heurec = "09:30";
  s.progc = "echo C";
  s.selfin = 'O';
  s.progfin = "echo fin";
  std::string validated = ScheduleImage(s);
  EXPECT_EQ(Bytes(dir_ / "HEURE.CFG"), validated);

  Keys({"h"});
  ASSERT_TRUE(WaitForTitle("Programmation horaire"));
  Keys({"Space", "Escape"});
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  EXPECT_EQ(Bytes(dir_ / "HEURE.CFG"), validated);
  Quit();
}

TEST_F(TerminalEndToEnd, LanguageDialogSwitchesTheMenuAndCancelKeepsTheFile) {
  Start();
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  Keys({"l"});
  ASSERT_TRUE(WaitForTitle("Langue"));
  Keys({"Escape"});
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  EXPECT_EQ(Bytes(dir_ / "LANGUE.CFG"), LanguageImage("Francais"));
  Keys({"l"});
  ASSERT_TRUE(WaitForTitle("Langue"));
  Keys({"Down", "Down", "Enter"});  // Español
  ASSERT_TRUE(WaitForTitle("Menú principal"));
  EXPECT_EQ(Bytes(dir_ / "LANGUE.CFG"), LanguageImage("Espagnol"));
  Keys({"i"});
  ASSERT_TRUE(WaitForTitle("Idioma"));
  Keys({"Down", "Enter"});  // English
  ASSERT_TRUE(WaitForTitle("Main menu"));
  EXPECT_EQ(Bytes(dir_ / "LANGUE.CFG"), LanguageImage("Anglais"));
  Quit("y");
}

TEST_F(TerminalEndToEnd, GoingOnLineShowsBothLinesAndTheClockAndTheStopKeyBringsTheMenuBack) {
  for (const char* d : {"tables", "recu", "trans", "log"}) fs::create_directory(dir_ / d);
  // Line 1 on a pseudo-terminal, line 2 unused.
  std::string line = OpenLinePty();
  ASSERT_FALSE(line.empty());
  PortLine l1, l2;
  l1.active = 'O';
  l1.port = "COM1";
  l2.port = "COM2";
  WriteBytes(dir_ / "CONF_COM.CFG", PortsImage(l1, l2));
  WriteBytes(dir_ / "CONF_MOD.CFG", ModemImage("", 'N', "", 'N'));
  WriteBytes(dir_ / "CHEMIN.CFG", PathsImage(dir_.string() + "/tables/", dir_.string() + "/recu/",
                                             dir_.string() + "/trans/", dir_.string() + "/log/"));
  WriteBytes(dir_ / "CONF_FIC.CFG", "NNNNNN");
  WriteBytes(dir_ / "LANGUE.CFG", LanguageImage("Anglais"));
  Start("KAVELIN2_PORT_COM1=" + line);
  ASSERT_TRUE(WaitForTitle("Main menu"));
  Keys({"o"});
  const std::regex online("KAVELIN2 - On line +[0-2][0-9]:[0-5][0-9]:[0-5][0-9]");
  ASSERT_TRUE(WaitFor([&](const std::string& s) { return std::regex_search(s, online); },
                      "on-line window with its clock"));
  // The clock runs.
  std::string first = Screen();
  ASSERT_TRUE(WaitFor([&](const std::string& s) { return s.substr(0, 80) != first.substr(0, 80); },
                      "clock change", 3000));
  std::string s = Screen();
  EXPECT_TRUE(std::regex_search(s, std::regex("Line 1 +Line 2"))) << s;
  EXPECT_TRUE(std::regex_search(s, std::regex("Link +Direct line"))) << s;
  EXPECT_TRUE(std::regex_search(s, std::regex("Phase +[A-Z]+.* +OFF LINE"))) << s;
  Keys({"Escape"});
  ASSERT_TRUE(WaitForTitle("Main menu"));
  Quit("y");
}

// Starts the handheld simulator in |dir| with |args|; its output goes to
// "handheld.out". Returns its process id, or 0.
pid_t StartHandheld(const fs::path& dir, const std::vector<std::string>& args) {
  std::string program = std::string(KAVELIN2_BUILD_DIR) + "/kavelin2-handheld";
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    int out = open("handheld.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid < 0 ? 0 : pid;
}

TEST_F(TerminalEndToEnd, TransferIsFollowedOnTheOnLineDisplay) {
  if (!fs::exists(fs::path(KAVELIN2_BUILD_DIR) / "kavelin2-handheld")) {
    GTEST_SKIP() << "the handheld simulator is not built";
  }
  for (const char* d : {"tables", "recu", "trans", "log"}) fs::create_directory(dir_ / d);
  PortLine l1, l2;
  l1.active = 'O';
  l1.port = "COM1";
  l2.port = "COM2";
  WriteBytes(dir_ / "CONF_COM.CFG", PortsImage(l1, l2));
  WriteBytes(dir_ / "CONF_MOD.CFG", ModemImage("", 'N', "", 'N'));
  WriteBytes(dir_ / "CHEMIN.CFG", PathsImage(dir_.string() + "/tables/", dir_.string() + "/recu/",
                                             dir_.string() + "/trans/", dir_.string() + "/log/"));
  WriteBytes(dir_ / "CONF_FIC.CFG", "NNNNNN");
  WriteBytes(dir_ / "LANGUE.CFG", LanguageImage("Anglais"));
  // 150 records of 16 bytes, one every 20 ms: about three seconds on show.
  fs::create_directory(dir_ / "handheld");
  std::string data;
  for (int i = 0; i < 150; ++i) {
    char record[17];
    std::snprintf(record, sizeof record, "ART%07d qty%02d", i, i % 100);
    data += record;
  }
  WriteBytes(dir_ / "handheld" / "ORDERS.001", data);
  pid_t handheld = StartHandheld(
      dir_, {"--pty", (dir_ / "com1").string(), "--upload", "handheld/ORDERS.001:16", "--pace",
             "20", "--download", "001", "--connect-timeout", "20000", "--quiet"});
  ASSERT_GT(handheld, 0);
  for (int i = 0; i < 200 && !fs::is_symlink(dir_ / "com1"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ASSERT_TRUE(fs::is_symlink(dir_ / "com1"));

  Start("KAVELIN2_PORT_COM1=" + (dir_ / "com1").string());
  ASSERT_TRUE(WaitForTitle("Main menu"));
  Keys({"o"});
  const std::regex in_progress("Transfer +\\[#*\\.+\\] [2-8][0-9] %");
  ASSERT_TRUE(WaitFor([&](const std::string& s) { return std::regex_search(s, in_progress); },
                      "transfer in progress", 15000));
  std::string s = Screen();
  EXPECT_TRUE(std::regex_search(s, std::regex("Phase +PORTABLE -> PC"))) << s;
  EXPECT_TRUE(std::regex_search(s, std::regex("File +ORDERS.001"))) << s;
  EXPECT_TRUE(std::regex_search(s, std::regex("Handheld +\\?\\?\\?|Handheld +001"))) << s;
  SaveDoc("screen-online.txt", s);

  int status = -1;
  ASSERT_EQ(waitpid(handheld, &status, 0), handheld);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // The exchange is over and logged; the received file is the one sent.
  ASSERT_TRUE(
      WaitFor([&](const std::string&) { return fs::exists(dir_ / "STAT.TXT"); }, "result log"));
  EXPECT_EQ(Bytes(dir_ / "recu" / "ORDERS.001"), data);
  Keys({"Escape"});
  ASSERT_TRUE(WaitForTitle("Main menu"));
  Quit("y");
}

TEST_F(TerminalEndToEnd, ResultsAreReadInTheViewerAndTheScreenFollowsAResize) {
  {
    std::ofstream out(dir_ / "STAT.TXT", std::ios::binary);
    for (int i = 1; i <= 60; ++i)
      out << "01/02/26 10:00:" << (i < 10 ? "0" : "") << i << " OK exchange " << i << "\r\n";
  }
  Start();
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  Keys({"v"});
  ASSERT_TRUE(WaitForText("OK exchange 60"));
  EXPECT_TRUE(WaitForText("STAT.TXT"));
  Keys({"Home"});
  ASSERT_TRUE(WaitForText("OK exchange 1\n"));
  Keys({"Escape"});
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  RunCommand({"tmux", "-L", socket_, "resize-window", "-x", "100", "-y", "30"});
  // The menu frame (74 columns) centred in 100.
  ASSERT_TRUE(WaitFor(
      [](const std::string& s) { return s.find("\n             +---") != std::string::npos; },
      "menu centred in 100 columns"));
  Quit();
}

TEST_F(TerminalEndToEnd, FatalSignalStillGivesTheTerminalBack) {
  Start();
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  pid_t pid = StationPid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGHUP), 0);
  ASSERT_TRUE(WaitForText("MODES"));
  std::string s = Screen();
  EXPECT_NE(s.find("EXIT=129"), std::string::npos) << s;  // ended by the signal
  EXPECT_NE(s.find("icanon echo MODES"), std::string::npos) << s;
  // Out of the full-screen mode: the menu is gone from the screen.
  EXPECT_EQ(s.find("Menu principal"), std::string::npos) << s;
}

TEST_F(TerminalEndToEnd, SigtermInTheMenuEndsTheProgramWithTheTerminalRestored) {
  Start();
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  Keys({"p"});
  ASSERT_TRUE(WaitForTitle("Paramètres des ports série"));
  pid_t pid = StationPid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  ASSERT_TRUE(WaitForText("MODES"));
  std::string s = Screen();
  EXPECT_NE(s.find("EXIT=0"), std::string::npos) << s;
  EXPECT_NE(s.find("icanon echo MODES"), std::string::npos) << s;
  // Cancelled, not validated: the ports file holds the defaults.
  EXPECT_EQ(Bytes(dir_ / "CONF_COM.CFG"), DefaultPorts());
}

}  // namespace

namespace {

TEST_F(TerminalEndToEnd, SigtermOnLineStopsTheStationAndEndsTheProgram) {
  for (const char* d : {"tables", "recu", "trans", "log"}) fs::create_directory(dir_ / d);
  std::string line = OpenLinePty();
  ASSERT_FALSE(line.empty());
  PortLine l1, l2;
  l1.active = 'O';
  l1.port = "COM1";
  l2.port = "COM2";
  WriteBytes(dir_ / "CONF_COM.CFG", PortsImage(l1, l2));
  WriteBytes(dir_ / "CONF_MOD.CFG", ModemImage("", 'N', "", 'N'));
  WriteBytes(dir_ / "CHEMIN.CFG", PathsImage(dir_.string() + "/tables/", dir_.string() + "/recu/",
                                             dir_.string() + "/trans/", dir_.string() + "/log/"));
  WriteBytes(dir_ / "CONF_FIC.CFG", "NNNNNN");
  Start("KAVELIN2_PORT_COM1=" + line);
  ASSERT_TRUE(WaitForTitle("Menu principal"));
  Keys({"e"});
  ASSERT_TRUE(WaitForTitle("En ligne"));
  pid_t pid = StationPid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  ASSERT_TRUE(WaitForText("MODES"));
  std::string s = Screen();
  EXPECT_NE(s.find("EXIT=0"), std::string::npos) << s;
  EXPECT_NE(s.find("icanon echo MODES"), std::string::npos) << s;
}

}  // namespace
