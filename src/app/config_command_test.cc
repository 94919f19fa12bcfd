// "kavelin2 config": the settings as text, against the dialogs' own images.
#include "app/config_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "config/settings.h"
#include "config/settings_test_util.h"
#include "config/settings_text.h"
#include "dialogs/dialogs.h"
#include "testing/fake_file_system.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

const std::vector<std::string> kFiles = {"CONF_COM.CFG", "CONF_MOD.CFG", "CHEMIN.CFG",
                                         "CONF_FIC.CFG", "HEURE.CFG",    "LANGUE.CFG"};

std::map<std::string, std::string> Snapshot() {
  std::map<std::string, std::string> files;
  for (const std::string& f : kFiles)
    if (FileExists(f)) files[f] = ReadFile(f);
  return files;
}

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome Config(Station& st, const std::vector<std::string>& args) {
  Outcome r;
  r.status = RunConfigCommand(st, args, &r.out, &r.err);
  return r;
}

// "show" and "export" only look: in an empty directory they create nothing,
// show the defaults and mark each file missing; the first "set" then writes
// the six files with the dialogs' defaults.
TEST(ConfigCommand, ShowOnAnEmptyDirectoryCreatesNothingAndListsEveryDefaultMarkedMissing) {
  TestStation ts;
  Outcome r = Config(ts.st, {"show"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);
  EXPECT_TRUE(Snapshot().empty());
  for (const std::string& f : kFiles) {
    EXPECT_NE(std::string::npos,
              r.out.find("\n# " + f + " is missing: these are its defaults, written by none\n"))
        << f << "\n"
        << r.out;
  }
  Outcome exported = Config(ts.st, {"export"});
  EXPECT_EQ(r.out, exported.out);
  EXPECT_TRUE(Snapshot().empty());
  ASSERT_EQ(0, Config(ts.st, {"set", "files.dos=no"}).status);
  // The six files hold the defaults the dialogs would create.
  EXPECT_EQ(DefaultPortImage(), ReadFile("CONF_COM.CFG"));
  EXPECT_EQ(DefaultModemImage(), ReadFile("CONF_MOD.CFG"));
  EXPECT_EQ(std::string(324, '\0'), ReadFile("CHEMIN.CFG"));
  EXPECT_EQ("NNNNNN", ReadFile("CONF_FIC.CFG"));
  EXPECT_EQ(DefaultScheduleImage(), ReadFile("HEURE.CFG"));
  EXPECT_EQ(Field("Francais", 9), ReadFile("LANGUE.CFG"));
  r = Config(ts.st, {"show"});
  EXPECT_EQ(std::string::npos, r.out.find(" is missing: ")) << r.out;
  for (const char* line : {"# CONF_COM.CFG: serial lines\n",
                           "line1.active = no ",
                           "line1.port = COM1 ",
                           "line2.port = COM2 ",
                           "line1.speed = 256000 ",
                           "# 256000 | 115200 | 57600 | 38400 | 19200 | 9600 | 2400 | 1200\n",
                           "line1.format = 8N1 ",
                           "line2.infrared = no ",
                           "line1.modem = no ",
                           "line2.modem_command = \"\" ",
                           "dir.tables = \"\" ",
                           "dir.log = \"\" ",
                           "files.remove_sent = no ",
                           "files.dos = no ",
                           "schedule.c.time = 00:00 ",
                           "# HH:MM, 00:00 to 23:59\n",
                           "schedule.quit_after_launch = yes ",
                           "schedule.after_exchange.command = \"\" ",
                           "language = French ",
                           "# French | English | Spanish\n"}) {
    EXPECT_NE(std::string::npos, r.out.find(line)) << line << "\n" << r.out;
  }
  // Showing again changes nothing and shows the same.
  auto before = Snapshot();
  EXPECT_EQ(r.out, Config(ts.st, {"show"}).out);
  EXPECT_EQ(before, Snapshot());
}

// One kind of value set through the command and through its dialog.
struct DialogCase {
  const char* name;
  std::vector<std::string> set;
  const char* file;
  std::function<void(Station&)> dialog;
  const char* input;   // the dialog's input command
  const char* status;  // the status that validates it
  std::vector<std::pair<std::string, std::string>> fetched;
};

TEST(ConfigCommand, SetOfEachKindOfValueWritesTheBytesOfItsDialog) {
  const std::vector<DialogCase> cases = {
      {"flags, port names, speeds and formats",
       {"line1.active=yes", "line1.port = USB0", "line1.speed=115200", "line1.format=7E1.5",
        "line2.infrared=yes", "line2.format=8M2", "line2.speed=1200"},
       "CONF_COM.CFG",
       EditPortSettings,
       "ECRAN, SAISIE",
       "*V*",
       {{"ACTIVE1", "O"},
        {"PORT1", "USB0"},
        {"VITESSE1", "2"},
        {"DONNEES1", "1"},
        {"PARITE1", "2"},
        {"STOPBIT1", "2"},
        {"IRDA1", "N"},
        {"ACTIVE2", "N"},
        {"PORT2", "COM2"},
        {"VITESSE2", "8"},
        {"DONNEES2", "2"},
        {"PARITE2", "4"},
        {"STOPBIT2", "3"},
        {"IRDA2", "O"}}},
      {"modem texts",
       {"line2.modem=yes", "line2.modem_command=\"AT&F \\\"E0\\\"\""},
       "CONF_MOD.CFG",
       EditModemSettings,
       "ECRAN, SAISIE",
       "*V*",
       {{"MODEM1", ""}, {"PRESENT1", "N"}, {"MODEM2", "AT&F \"E0\""}, {"PRESENT2", "O"}}},
      {"directories",
       {"dir.received=/srv/site one/in/", "dir.tables = TABLE/"},
       "CHEMIN.CFG",
       EditPathSettings,
       "ECRAN, SAISIE",
       "*V*",
       {{"TABLE", "TABLE/"}, {"RECU", "/srv/site one/in/"}, {"TRANS", ""}, {"FICLOG", ""}}},
      {"file options",
       {"files.remove_sent=yes", "files.dos=YES", "files.remove_table=no"},
       "CONF_FIC.CFG",
       EditFileOptions,
       "ECRAN, SAISIE",
       "*V*",
       {{"SUP_FIC", "O"},
        {"APPEND", "N"},
        {"PORTABLE", "N"},
        {"SUP_TAB", "N"},
        {"ADD_CRLF", "N"},
        {"DOS", "O"}}},
      {"times and command lines",
       {"schedule.c.enabled=yes", "schedule.c.time=06:30",
        "schedule.c.command=/usr/local/bin/backup --all", "schedule.quit_after_launch=no",
        "schedule.d.time=23:59"},
       "HEURE.CFG",
       EditSchedule,
       "ECRAN,SAISIE,/NONBLOCANTE",
       "*V*",
       {{"HEUREC", "06:30"},
        {"SELC", "O"},
        {"PROGC", "/usr/local/bin/backup --all"},
        {"HEURED", "23:59"},
        {"SELD", "N"},
        {"PROGD", ""},
        {"SELFIN", "N"},
        {"PROGFIN", ""},
        {"AVANT", "N"}}},
      {"the language",
       {"language=English"},
       "LANGUE.CFG",
       EditLanguage,
       "ECRAN, SAISIE",
       "*A*",
       {}},
  };
  for (const DialogCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string by_dialog;
    {
      TestStation ts;
      ts.ui->ScriptStatus(c.input, c.status);
      for (const auto& [field, value] : c.fetched)
        ts.ui->Script("ECRAN,RECUPERE," + field, Value(value));
      c.dialog(ts.st);
      EXPECT_TRUE(ts.ui->script_done());
      by_dialog = ReadFile(c.file);
    }
    TestStation ts;
    std::vector<std::string> args = {"set"};
    args.insert(args.end(), c.set.begin(), c.set.end());
    Outcome r = Config(ts.st, args);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(by_dialog, ReadFile(c.file));
    // The command never speaks to the UI runtime.
    EXPECT_TRUE(ts.ui->commands.empty());
    // Every other file is there too, with its defaults.
    EXPECT_EQ(kFiles.size(), Snapshot().size());
  }
}

TEST(ConfigCommand, ExportThenImportLeavesEveryFileByteIdenticalEvenWithOddBytes) {
  // Values no dialog choice gives: unknown codes, a flag that is neither yes
  // nor no, a time that never matches, bytes behind a terminator, a path
  // without its separator, an unknown language, control bytes in a text.
  TestStation odd;
  std::map<std::string, std::string> images = {
      {"CONF_COM.CFG",
       PortEntryImage('x', "C M", 9, 7, 2, 5, 'O') + PortEntryImage('O', "USB0", 3, 1, 4, 2, '\0')},
      {"CONF_MOD.CFG",
       Field("AT\x01\"Z\\", 31) + "O" + Field("ATE0", 20) + "junk" + std::string(7, '\0') + "N"},
      {"CHEMIN.CFG", Field("TABLE", 81) + Field("/in/", 81) + Field("", 81) + Field("L/", 81)},
      {"CONF_FIC.CFG", "ONO?NO"},
      {"HEURE.CFG", ScheduleImage('N', "9:30", 'O', "run # x", "12:00", 'N', "", 'O', "end")},
      {"LANGUE.CFG", Field("English", 9)},
  };
  for (const auto& [name, image] : images) WriteFile(name, image);
  Outcome exported = Config(odd.st, {"export", "settings.txt"});
  ASSERT_EQ(0, exported.status) << exported.err;
  std::string text = ReadFile("settings.txt");
  for (const char* shown : {"line1.active = ?\"x\"", "line1.port = ?\"C M\"", "line1.speed = ?9",
                            "line1.format = ?7,2,5", "line2.format = 7M1.5",
                            "line1.modem_command = \"AT\\x01\\\"Z\\\\\"", "dir.tables = \"TABLE\"",
                            "schedule.c.time = ?\"9:30\\x00\"", "language = ?\"English\""})
    EXPECT_NE(std::string::npos, text.find(shown)) << shown << "\n" << text;
  Outcome imported = Config(odd.st, {"import", "settings.txt"});
  ASSERT_EQ(0, imported.status) << imported.err;
  EXPECT_EQ(images, Snapshot());

  // A site's settings carried to a fresh directory arrive byte for byte.
  std::map<std::string, std::string> site;
  {
    TestStation a;
    Outcome set = Config(
        a.st, {"set", "line1.active=yes", "line2.active=yes", "line2.port=ACM0", "line2.speed=9600",
               "line2.format=7O2", "dir.received=RECU", "dir.to_send=\"/srv/out dir/\"",
               "files.append=yes", "schedule.after_exchange.enabled=yes",
               "schedule.after_exchange.command=\"/bin/sh -c 'echo \\\"x\\\"'\"",
               "language=Spanish", "line1.modem_command=ATS0=1"});
    ASSERT_EQ(0, set.status) << set.err;
    EXPECT_EQ(Field("RECU/", 81), ReadFile("CHEMIN.CFG").substr(81, 81));
    ASSERT_EQ(0, Config(a.st, {"export", "site.txt"}).status);
    text = ReadFile("site.txt");
    site = Snapshot();
  }
  TestStation b;
  WriteFile("site.txt", text);
  Outcome moved = Config(b.st, {"import", "site.txt"});
  ASSERT_EQ(0, moved.status) << moved.err;
  EXPECT_EQ(site, Snapshot());
}

struct BadInput {
  const char* name;
  std::vector<std::string> args;
  std::string import_text;  // written to in.txt for "import in.txt"
  std::vector<std::string> message;
};

TEST(ConfigCommand, EveryKindOfBadInputIsRefusedWithItsPlaceAndNothingIsWritten) {
  const std::string long_dir(81, 'd');
  const std::vector<BadInput> cases = {
      {"unknown speed",
       {"set", "line1.active=yes", "line1.speed=9601"},
       "",
       {"argument 2: ", "line1.speed", "\"9601\"", "allowed: 256000 | 115200 |"}},
      {"unknown key",
       {"set", "line1.active=yes", "line3.active=yes"},
       "",
       {"argument 2: ", "unknown key \"line3.active\""}},
      {"no equals sign", {"set", "line1.port"}, "", {"argument 1: ", "\"line1.port\" is not"}},
      {"bad format", {"set", "line2.format=9N1"}, "", {"line2.format", "parity N|E|O|M"}},
      {"port name too long",
       {"set", "line1.port=COM10"},
       "",
       {"line1.port", "1 to 4 letters, digits or _"}},
      {"time out of range", {"set", "schedule.d.time=24:00"}, "", {"schedule.d.time", "HH:MM"}},
      {"time without its zero", {"set", "schedule.c.time=9:30"}, "", {"schedule.c.time"}},
      {"flag in other words", {"set", "files.append=oui"}, "", {"files.append", "yes | no"}},
      {"language", {"set", "language=Klingon"}, "", {"language", "French | English | Spanish"}},
      {"directory too long",
       {"set", "dir.tables=" + long_dir},
       "",
       {"dir.tables", "at most 80 characters"}},
      {"unterminated quote",
       {"set", "line1.modem_command=\"ATZ"},
       "",
       {"line1.modem_command", "no closing quote"}},
      {"text after the quote",
       {"set", "schedule.d.command=\"a\" b"},
       "",
       {"text after the closing quote"}},
      {"bad escape", {"set", "dir.log=\"a\\qb\""}, "", {"bad escape \\q"}},
      {"a NUL in a text", {"set", "dir.log=\"a\\x00b\""}, "", {"dir.log", "bad value"}},
      {"a bad line in a file, after good ones",
       {"import", "in.txt"},
       "# site settings\n\nline2.speed = 2400\nfiles.dos = maybe\n",
       {"in.txt:4: ", "files.dos", "\"maybe\"", "yes | no"}},
      {"a key given twice",
       {"import", "in.txt"},
       "language = English\nlanguage = Spanish\n",
       {"in.txt:2: ", "language: given twice"}},
  };
  for (const BadInput& c : cases) {
    SCOPED_TRACE(c.name);
    // In an empty directory nothing, not even a default, is created; in a
    // set-up one every file keeps its bytes.
    for (bool prepared : {false, true}) {
      TestStation ts;
      if (!c.import_text.empty()) WriteFile("in.txt", c.import_text);
      if (prepared) {
        ASSERT_EQ(0, Config(ts.st, {"set", "line1.speed=9600"}).status);
      }
      auto before = Snapshot();
      Outcome r = Config(ts.st, c.args);
      EXPECT_EQ(2, r.status);
      EXPECT_EQ("", r.out);
      for (const std::string& part : c.message)
        EXPECT_NE(std::string::npos, r.err.find(part)) << part << " in " << r.err;
      EXPECT_NE(std::string::npos, r.err.find("nothing was changed")) << r.err;
      EXPECT_EQ(before, Snapshot());
      EXPECT_EQ(prepared ? 6u : 0u, before.size());
    }
  }
}

TEST(ConfigCommand, AFileThatCannotBeOpenedIsReportedNotReplacedByDefaults) {
  TestStation ts;
  ASSERT_EQ(0, Config(ts.st, {"set", "line1.active=yes"}).status);
  std::string image = ReadFile("CONF_COM.CFG");
  // A directory in the file's place cannot be opened as a settings file.
  ASSERT_EQ(0, std::remove("CONF_MOD.CFG"));
  ASSERT_EQ(0, ::mkdir("CONF_MOD.CFG", 0755));
  Outcome r = Config(ts.st, {"set", "line2.active=yes"});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("CONF_MOD.CFG: cannot be opened")) << r.err;
  EXPECT_EQ(image, ReadFile("CONF_COM.CFG"));
  EXPECT_EQ(2, Config(ts.st, {"frobnicate"}).status);
  EXPECT_EQ(2, Config(ts.st, {}).status);
}

// On a directory where nothing can be written (every create, write,
// rename, remove, truncate and sync fails, as on a read-only disk), "show"
// and "export" still show each file as it stands and a missing one with its
// defaults, and make no call that could change a file; "set" fails there
// and says so.
TEST(ConfigCommand, ShowAndExportWorkWhereNothingCanBeWritten) {
  FakeFileSystem fs;
  TestStation ts(&fs);
  fs.PutDurably("CONF_FIC.CFG", "OOOOOO");
  fs.PutDurably("LANGUE.CFG", Field("Espagnol", 9));
  for (FsOp op : {FsOp::kCreate, FsOp::kWrite, FsOp::kRename, FsOp::kRemove, FsOp::kTruncate,
                  FsOp::kSync, FsOp::kSyncDirectory, FsOp::kMakeDirectory, FsOp::kLock}) {
    fs.FailFrom(op, 1, EROFS);
  }
  const int calls_before = fs.Calls(FsOp::kCreate) + fs.Calls(FsOp::kWrite) +
                           fs.Calls(FsOp::kRename) + fs.Calls(FsOp::kRemove);
  Outcome shown = Config(ts.st, {"show"});
  ASSERT_EQ(0, shown.status) << shown.err;
  EXPECT_NE(std::string::npos, shown.out.find("files.remove_sent = yes ")) << shown.out;
  EXPECT_NE(std::string::npos, shown.out.find("language = Spanish ")) << shown.out;
  EXPECT_NE(std::string::npos, shown.out.find("line1.port = COM1 ")) << shown.out;
  EXPECT_NE(std::string::npos, shown.out.find("# CONF_COM.CFG is missing")) << shown.out;
  EXPECT_EQ(std::string::npos, shown.out.find("# CONF_FIC.CFG is missing")) << shown.out;
  Outcome exported = Config(ts.st, {"export"});
  ASSERT_EQ(0, exported.status) << exported.err;
  EXPECT_EQ(shown.out, exported.out);
  EXPECT_EQ(calls_before, fs.Calls(FsOp::kCreate) + fs.Calls(FsOp::kWrite) +
                              fs.Calls(FsOp::kRename) + fs.Calls(FsOp::kRemove));
  EXPECT_EQ((std::vector<std::string>{"CONF_FIC.CFG", "LANGUE.CFG"}), fs.ListFiles());
  EXPECT_EQ("OOOOOO", fs.Contents("CONF_FIC.CFG"));
  Outcome set = Config(ts.st, {"set", "files.dos=no"});
  EXPECT_EQ(1, set.status);
  EXPECT_NE(std::string::npos, set.err.find("cannot be written")) << set.err;

  // On the real file system: a file shown keeps its bytes and its time.
  TestStation real;
  WriteFile("CONF_FIC.CFG", "OOOOOO");
  struct stat before;
  ASSERT_EQ(0, ::stat("CONF_FIC.CFG", &before));
  ASSERT_EQ(0, Config(real.st, {"show"}).status);
  struct stat after;
  ASSERT_EQ(0, ::stat("CONF_FIC.CFG", &after));
  EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
  EXPECT_EQ(before.st_ino, after.st_ino);  // not replaced either
  EXPECT_EQ((std::map<std::string, std::string>{{"CONF_FIC.CFG", "OOOOOO"}}), Snapshot());
}

}  // namespace
}  // namespace kavelin2
