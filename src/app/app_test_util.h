// Helpers of the application shell's tests: a station whose settings are on
// disk, whole menu sessions, and checks on the recorded command strings.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "platform/serial_port.h"
#include "testing/test_station.h"

namespace kavelin2 {

// Thrown by the UI fake to end a session that would otherwise wait for ever.
struct SessionCut {};

// True when |expected| appear in |actual| in this order (others may come
// between them).
inline ::testing::AssertionResult InOrder(const std::vector<std::string>& actual,
                                          const std::vector<std::string>& expected) {
  size_t next = 0;
  for (const std::string& c : actual) {
    if (next < expected.size() && c == expected[next]) ++next;
  }
  if (next == expected.size()) return ::testing::AssertionSuccess();
  std::string all;
  for (const std::string& c : actual) all += "\n  " + c;
  return ::testing::AssertionFailure()
         << "missing in order: \"" << expected[next] << "\"; commands were:" << all;
}

inline size_t CountOf(const std::vector<std::string>& commands, const std::string& command) {
  size_t n = 0;
  for (const std::string& c : commands) n += c == command;
  return n;
}

class AppTest : public ::testing::Test {
 protected:
  AppTest() {
    // Both lines inactive on COM1 and COM2; nothing scheduled; four paths
    // that exist.
    for (int i = 0; i < 2; ++i) {
      PortEntry& p = t.st.Ports.line[i];
      p.ACTIVE = 'N';
      std::snprintf(p.PORT, sizeof p.PORT, "COM%d", i + 1);
      p.VITESSE = 1;
      p.DONNEES = 2;
      p.PARITE = 1;
      p.STOPBIT = 1;
      p.IRDA = 'N';
      t.st.Modems.line[i].PRESENT = 'N';
    }
    ScheduleSettings& s = t.st.Schedule;
    s.AVANT = 'O';
    std::memcpy(s.HEUREC, "00:00", 5);
    std::memcpy(s.HEURED, "00:00", 5);
    s.SELC = s.SELD = s.SELFIN = 'N';
    std::snprintf(s.PROGC, sizeof s.PROGC, "%s", "progc.sh");
    std::snprintf(s.PROGD, sizeof s.PROGD, "%s", "progd.sh --daily");
    std::snprintf(s.PROGFIN, sizeof s.PROGFIN, "%s", "progfin.sh");
    FileOptions& o = t.st.Options;
    o.SUP_TAB = o.APPEND = o.PORTABLE = o.SUP_FIC = o.ADD_CRLF = o.DOS = 'N';
    SetPaths("tables/", "recu/", "trans/", "log/");
    for (const char* d : {"tables", "recu", "trans", "log"}) mkdir(d, 0777);
    UseLanguage("Francais");
    InstallResponder();
  }

  void SetPaths(const char* table, const char* recu, const char* trans, const char* ficlog) {
    PathSettings& p = t.st.Paths;
    std::snprintf(p.TABLE, sizeof p.TABLE, "%s", table);
    std::snprintf(p.RECU, sizeof p.RECU, "%s", recu);
    std::snprintf(p.TRANS, sizeof p.TRANS, "%s", trans);
    std::snprintf(p.FICLOG, sizeof p.FICLOG, "%s", ficlog);
  }

  // The language in memory and in "LANGUE.CFG".
  void UseLanguage(const char* name) {
    std::memset(t.st.CurrentLanguage, 0, sizeof t.st.CurrentLanguage);
    std::snprintf(t.st.CurrentLanguage, sizeof t.st.CurrentLanguage, "%s", name);
    StoreSettingsFiles();
  }

  // Writes every record in memory to its file, so that the loaders find the
  // same values (and run no dialog).
  void StoreSettingsFiles() {
    uint8_t buf[kScheduleSettingsSize] = {};
    auto store = [&](SettingsFile f) {
      WriteFile(SettingsFileName(f),
                std::string(reinterpret_cast<const char*>(buf), SettingsFileSize(f)));
    };
    EncodePortSettings(t.st.Ports, buf);
    store(SettingsFile::kPorts);
    EncodeModemSettings(t.st.Modems, buf);
    store(SettingsFile::kModems);
    EncodePathSettings(t.st.Paths, buf);
    store(SettingsFile::kPaths);
    EncodeFileOptions(t.st.Options, buf);
    store(SettingsFile::kFileOptions);
    EncodeScheduleSettings(t.st.Schedule, buf);
    store(SettingsFile::kSchedule);
    std::memcpy(buf, t.st.CurrentLanguage, kLanguageSize);
    store(SettingsFile::kLanguage);
  }

  // Menu inputs, in order: they answer "ECRAN, SAISIE" while the menu window
  // is the current one (dialogs and the about box get the runtime's default).
  // Once they are used up the menu answers "ESC" and the quit question yes,
  // which ends the session.
  void MenuInput(const std::string& status, const std::string& code = "") {
    menu_replies_.push_back(FakeReply{
        status, code.empty() ? std::nullopt : std::optional<std::string>(code), std::nullopt});
  }
  void AnswerNext(const std::string& question_prefix, bool yes) {
    t.ui->Script(question_prefix, FakeReply{std::nullopt, yes ? "1" : "0", std::nullopt});
  }

  // The user stops on-line mode at the first stop check of the poll loop.
  void StopOnLineModeAtOnce() { stop_on_line_ = true; }

  // Sees every command the scripted replies do not answer.
  std::function<void(const std::string&)> observe_;

  void InstallResponder() {
    t.ui->responder = [this](const std::string& command) -> std::optional<FakeReply> {
      if (observe_) observe_(command);
      std::string window = t.ui->windows.empty() ? std::string() : t.ui->windows.back();
      if (command == "ECRAN, SAISIE" && window == "MENU.WDW") {
        // A session that asks for more menu inputs than any test scripts is cut.
        if (++menu_inputs_ > max_menu_inputs_) throw SessionCut{};
        if (!menu_replies_.empty()) {
          FakeReply reply = menu_replies_.front();
          menu_replies_.pop_front();
          return reply;
        }
      }
      if (command.find("NONBLOCANTE") != std::string::npos && window == "KAVELIN2.WDW" &&
          stop_on_line_) {
        return FakeReply{"*P*", std::nullopt, std::nullopt};
      }
      return std::nullopt;
    };
  }

  const std::vector<std::string>& commands() const { return t.ui->commands; }

  TestStation t;
  int max_menu_inputs_ = 20;

 private:
  std::deque<FakeReply> menu_replies_;
  int menu_inputs_ = 0;
  bool stop_on_line_ = false;
};

}  // namespace kavelin2
