// Settings files on disk: loaders, ReloadOrCreate and StoreSettings.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "config/settings.h"
#include "config/settings_test_util.h"
#include "dialogs/dialogs.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

std::vector<std::string> DirectoryEntries() {
  std::vector<std::string> out;
  if (DIR* d = opendir(".")) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") out.push_back(name);
    }
    closedir(d);
  }
  return out;
}

bool IsDirectory(const std::string& path) {
  struct stat sb;
  return ::lstat(path.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode);
}

// Every settings file but |except|, with its default image.
void WriteDefaultsExcept(const std::string& except) {
  std::map<std::string, std::string> files = {
      {"CONF_COM.CFG", DefaultPortImage()},   {"CONF_MOD.CFG", DefaultModemImage()},
      {"CHEMIN.CFG", std::string(324, '\0')}, {"CONF_FIC.CFG", "NNNNNN"},
      {"HEURE.CFG", DefaultScheduleImage()},  {"LANGUE.CFG", Field("Francais", 9)},
  };
  for (const auto& [name, bytes] : files)
    if (name != except) WriteFile(name, bytes);
}

TEST(ReloadOrCreate, AMissingFileGetsItsExactDefaultImage) {
  TestStation ts;
  const std::map<SettingsFile, std::string> expected = {
      {SettingsFile::kPorts, DefaultPortImage()},
      {SettingsFile::kModems, DefaultModemImage()},
      {SettingsFile::kPaths, std::string(324, '\0')},
      {SettingsFile::kFileOptions, "NNNNNN"},
      {SettingsFile::kSchedule, DefaultScheduleImage()},
      {SettingsFile::kLanguage, std::string("Francais\0", 9)},
  };
  for (const auto& [file, bytes] : expected) {
    ReloadOrCreate(ts.st, file);
    EXPECT_EQ(bytes, ReadFile(SettingsFileName(file))) << SettingsFileName(file);
  }
  EXPECT_EQ('N', ts.st.Modems.line[1].PRESENT);
  EXPECT_EQ('O', ts.st.Schedule.AVANT);
  EXPECT_STREQ("COM2", ts.st.Ports.line[1].PORT);
  EXPECT_STREQ("Francais", ts.st.CurrentLanguage);
  // The image goes through a temporary file that does not stay behind.
  EXPECT_EQ(6u, DirectoryEntries().size());
}

TEST(ReloadOrCreate, AnExistingFileIsReadAndLeftUntouched) {
  TestStation ts;
  std::string image = PortEntryImage('O', "COM3", 6, 1, 2, 3, 'O') + DefaultPortImage().substr(23);
  WriteFile("CONF_COM.CFG", image);
  ReloadOrCreate(ts.st, SettingsFile::kPorts);
  EXPECT_EQ(image, ReadFile("CONF_COM.CFG"));
  EXPECT_EQ('O', ts.st.Ports.line[0].ACTIVE);
  EXPECT_STREQ("COM3", ts.st.Ports.line[0].PORT);
  EXPECT_EQ(6, ts.st.Ports.line[0].VITESSE);
  EXPECT_EQ(3, ts.st.Ports.line[0].STOPBIT);
}

TEST(ReloadOrCreate, AShortFileKeepsTheRestOfTheRecordAndALongOneIsCut) {
  TestStation ts;
  ts.UseDefaultSettings();
  WriteFile("HEURE.CFG", "N12:00O");  // AVANT, HEUREC, SELC only
  std::memcpy(ts.st.Schedule.PROGC, "OLD", 4);
  ReloadOrCreate(ts.st, SettingsFile::kSchedule);
  EXPECT_EQ('N', ts.st.Schedule.AVANT);
  EXPECT_EQ(0, std::memcmp(ts.st.Schedule.HEUREC, "12:00", 5));
  EXPECT_EQ('O', ts.st.Schedule.SELC);
  EXPECT_STREQ("OLD", ts.st.Schedule.PROGC);
  EXPECT_EQ(0, std::memcmp(ts.st.Schedule.HEURED, "00:00", 5));
  EXPECT_EQ("N12:00O", ReadFile("HEURE.CFG"));

  WriteFile("CONF_FIC.CFG", "OONNOOXXXXXXXXXX");
  ReloadOrCreate(ts.st, SettingsFile::kFileOptions);
  EXPECT_EQ('O', ts.st.Options.SUP_TAB);
  EXPECT_EQ('O', ts.st.Options.DOS);
}

TEST(StoreSettings, WritesTheWholeRecordOverTheOldFile) {
  TestStation ts;
  ts.UseDefaultSettings();
  WriteFile("CONF_FIC.CFG", "OOOOOOOOOOOOOOOOOOOO");
  ts.st.Options = FileOptions{'N', 'O', 'N', 'O', 'N', 'O'};
  StoreSettings(ts.st, SettingsFile::kFileOptions);
  EXPECT_EQ("NONONO", ReadFile("CONF_FIC.CFG"));
  EXPECT_EQ(1u, DirectoryEntries().size());
}

TEST(StoreSettings, AFailedWriteKeepsTheValuesInMemoryAndLeavesNoTemporaryFile) {
  TestStation ts;
  ts.UseDefaultSettings();
  ASSERT_EQ(0, ::mkdir("CONF_FIC.CFG", 0755));  // cannot be replaced by a file
  ts.st.Options = FileOptions{'O', 'O', 'O', 'O', 'O', 'O'};
  StoreSettings(ts.st, SettingsFile::kFileOptions);
  EXPECT_EQ('O', ts.st.Options.SUP_FIC);
  EXPECT_TRUE(IsDirectory("CONF_FIC.CFG"));
  EXPECT_EQ(std::vector<std::string>{"CONF_FIC.CFG"}, DirectoryEntries());
}

TEST(StoreSettings, ALinkNamedLikeTheFileIsReplacedNotWrittenThrough) {
  TestStation ts;
  ts.UseDefaultSettings();
  ASSERT_EQ(0, ::mkdir("elsewhere", 0755));
  WriteFile("elsewhere/target", "keep");
  ASSERT_EQ(0, ::symlink("elsewhere/target", "CONF_COM.CFG"));
  StoreSettings(ts.st, SettingsFile::kPorts);
  EXPECT_EQ("keep", ReadFile("elsewhere/target"));
  EXPECT_EQ(DefaultPortImage(), ReadFile("CONF_COM.CFG"));
}

TEST(LoadSettings, FirstRunOpensTheFiveDialogsInOrderWithDefaultsAlreadyOnDisk) {
  TestStation ts;
  std::vector<std::string> opened;
  std::vector<size_t> on_disk;  // size of the window's file when it opens
  const std::map<std::string, std::string> file_of = {
      {"SERIE.WDW", "CONF_COM.CFG"},    {"MODEM.WDW", "CONF_MOD.CFG"}, {"CHEMIN.WDW", "CHEMIN.CFG"},
      {"FICHIERS.WDW", "CONF_FIC.CFG"}, {"DECONEX.WDW", "HEURE.CFG"},
  };
  ts.ui->responder = [&](const std::string& c) -> std::optional<FakeReply> {
    if (c.rfind("OUVRE,", 0) == 0) {
      opened.push_back(c.substr(6));
      on_disk.push_back(ReadFile(file_of.at(c.substr(6))).size());
    }
    return std::nullopt;
  };
  LoadSettings(ts.st);
  EXPECT_EQ((std::vector<std::string>{"SERIE.WDW", "MODEM.WDW", "CHEMIN.WDW", "FICHIERS.WDW",
                                      "DECONEX.WDW"}),
            opened);
  EXPECT_EQ((std::vector<size_t>{46, 64, 324, 6, 401}), on_disk);
  EXPECT_EQ(DefaultPortImage(), ReadFile("CONF_COM.CFG"));
  EXPECT_EQ(DefaultScheduleImage(), ReadFile("HEURE.CFG"));
  EXPECT_FALSE(FileExists("LANGUE.CFG"));  // loaded separately, at start-up
  EXPECT_EQ('N', ts.st.Ports.line[0].ACTIVE);
}

TEST(LoadSettings, ReadsEveryFileWithoutAnyDialogWhenAllOpen) {
  TestStation ts;
  WriteDefaultsExcept("");
  WriteFile("CHEMIN.CFG", Field("T\\", 81) + Field("R\\", 81) + Field("X\\", 81) + Field("", 81));
  LoadSettings(ts.st);
  EXPECT_TRUE(ts.ui->commands.empty());
  EXPECT_STREQ("R\\", ts.st.Paths.RECU);
  EXPECT_STREQ("COM1", ts.st.Ports.line[0].PORT);
  EXPECT_EQ('O', ts.st.Schedule.AVANT);
}

TEST(LoadSettings, AnEmptyPortFileLeavesBothLinesInactive) {
  TestStation ts;
  WriteDefaultsExcept("CONF_COM.CFG");
  WriteFile("CONF_COM.CFG", "");
  LoadSettings(ts.st);
  EXPECT_TRUE(ts.ui->commands.empty());
  EXPECT_EQ(0, ts.st.Ports.line[0].ACTIVE);
  EXPECT_EQ(0, ts.st.Ports.line[1].ACTIVE);
  EXPECT_EQ("", ReadFile("CONF_COM.CFG"));
}

TEST(LoadSettings, OnlyTheUnopenableFileRunsItsDialog) {
  TestStation ts;
  WriteDefaultsExcept("CONF_FIC.CFG");
  LoadSettings(ts.st);
  EXPECT_EQ(std::vector<std::string>{"OUVRE,FICHIERS.WDW"}, ts.ui->CommandsStartingWith("OUVRE,"));
  EXPECT_EQ("NNNNNN", ReadFile("CONF_FIC.CFG"));
}

TEST(LoadSettings, ADirectoryInPlaceOfAFileRunsTheDialogAndIsNotRemoved) {
  TestStation ts;
  WriteDefaultsExcept("CONF_MOD.CFG");
  ASSERT_EQ(0, ::mkdir("CONF_MOD.CFG", 0755));
  std::string z(64, 'Z');
  DecodeModemSettings(reinterpret_cast<const uint8_t*>(z.data()), z.size(), &ts.st.Modems);
  LoadSettings(ts.st);
  EXPECT_EQ(std::vector<std::string>{"OUVRE,MODEM.WDW"}, ts.ui->CommandsStartingWith("OUVRE,"));
  EXPECT_TRUE(IsDirectory("CONF_MOD.CFG"));
  // The file could not be written: the defaults are in force in memory.
  EXPECT_EQ('N', ts.st.Modems.line[0].PRESENT);
  EXPECT_STREQ("", ts.st.Modems.line[1].MODEM);
}

TEST(LoadSettings, APipeInPlaceOfAFileIsReplacedInsteadOfBlockingTheRead) {
  TestStation ts;
  WriteDefaultsExcept("CONF_COM.CFG");
  ASSERT_EQ(0, ::mkfifo("CONF_COM.CFG", 0600));
  LoadSettings(ts.st);
  EXPECT_EQ(std::vector<std::string>{"OUVRE,SERIE.WDW"}, ts.ui->CommandsStartingWith("OUVRE,"));
  EXPECT_EQ(DefaultPortImage(), ReadFile("CONF_COM.CFG"));
}

TEST(LoadSettings, AFileThatCannotBeOpenedForWritingIsReplacedByItsDefaults) {
  TestStation ts;
  WriteDefaultsExcept("");
  // Every other file stays openable by the ordinary user below.
  for (const char* name :
       {"CONF_COM.CFG", "CONF_MOD.CFG", "CHEMIN.CFG", "HEURE.CFG", "LANGUE.CFG"}) {
    ASSERT_EQ(0, ::chmod(name, 0666));
  }
  WriteFile("CONF_FIC.CFG", "OOOOOO");
  ASSERT_EQ(0, ::chmod("CONF_FIC.CFG", 0444));
  // Root opens read-only files for writing, so the check runs in a child
  // process as an ordinary user when the tests run as root.
  EXPECT_EXIT(
      {
        if (::geteuid() == 0 &&
            (::chmod(".", 0777) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
          ::_exit(2);
        }
        LoadSettings(ts.st);
        bool dialog =
            ts.ui->CommandsStartingWith("OUVRE,") == std::vector<std::string>{"OUVRE,FICHIERS.WDW"};
        bool replaced = ReadFile("CONF_FIC.CFG") == "NNNNNN";
        ::_exit(dialog && replaced ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(LoadSchedule, RunsTheScheduleDialogOnlyForAMissingFile) {
  TestStation ts;
  LoadSchedule(ts.st);
  EXPECT_EQ(std::vector<std::string>{"OUVRE,DECONEX.WDW"}, ts.ui->CommandsStartingWith("OUVRE,"));
  EXPECT_EQ(DefaultScheduleImage(), ReadFile("HEURE.CFG"));

  TestStation again;
  WriteFile("HEURE.CFG", ScheduleImage('N', "23:59", 'O', "C.BAT", "00:00", 'N', "", 'N', ""));
  LoadSchedule(again.st);
  EXPECT_TRUE(again.ui->commands.empty());
  EXPECT_EQ(0, std::memcmp(again.st.Schedule.HEUREC, "23:59", 5));
  EXPECT_STREQ("C.BAT", again.st.Schedule.PROGC);
}

TEST(LoadLanguage, ReadsTheNameOrRunsTheLanguageDialog) {
  TestStation ts;
  WriteFile("LANGUE.CFG", Field("Anglais", 9));
  LoadLanguage(ts.st);
  EXPECT_TRUE(ts.ui->commands.empty());
  EXPECT_STREQ("Anglais", ts.st.CurrentLanguage);

  TestStation first;
  first.ui->ScriptStatus("ECRAN, SAISIE", "*E*");
  LoadLanguage(first.st);
  EXPECT_EQ((std::vector<std::string>{"OUVRE,LANGUE.WDW", "ECRAN, SAISIE", "NATION,7", "FERME"}),
            first.ui->commands);
  EXPECT_EQ(Field("Espagnol", 9), ReadFile("LANGUE.CFG"));
}

// A name the station does not know would leave every message and question
// unsent: it is read as the default, French, with a warning in the log; the
// file stays as it is.
TEST(LoadLanguage, AnUnknownNameIsReadAsFrancaisWithAWarning) {
  for (const std::string& file :
       {std::string(), std::string("English"), std::string("Espagnolx"),  // no terminator
        std::string("\xff\x01garbage\0", 10), std::string("francais\0", 9)}) {
    TestStation ts;
    WriteFile("LANGUE.CFG", file);
    LoadLanguage(ts.st);
    EXPECT_EQ(std::string("Francais\0", 9), std::string(ts.st.CurrentLanguage, 9)) << file;
    EXPECT_EQ(1u,
              ts.ui->CommandsStartingWith("JOURNAL,LANGUE.CFG ne contient aucune langue").size())
        << file;
    EXPECT_TRUE(ts.ui->CommandsStartingWith("OUVRE").empty()) << file;  // no dialog
    EXPECT_EQ(file, ReadFile("LANGUE.CFG"));
  }
  TestStation ts;
  WriteFile("LANGUE.CFG", std::string("Anglais", 7));  // short: the rest is zero
  LoadLanguage(ts.st);
  EXPECT_STREQ("Anglais", ts.st.CurrentLanguage);
  EXPECT_TRUE(ts.ui->commands.empty());
}

}  // namespace
}  // namespace kavelin2
