// A UI runtime in the test process: records every command and answers with
// scripted replies encoded into the real exchange block, so the station's
// decoder is exercised by every test that talks to the screen.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/ui_channel.h"

namespace kavelin2 {

struct FakeReply {
  std::optional<std::string> status;  // nullopt: the reply carries no status
  std::optional<std::string> text;    // nullopt: no value
  // The value is sent as an integer value (ValueType 1), so intValue is the
  // decimal value of |text|; set |int_value| to send the text and a separate
  // number (ValueType 8).
  std::optional<int> int_value;
};

class FakeUiRuntime : public UiRuntimeLink {
 public:
  // Replies to give, in order: a command that starts with the first
  // unconsumed prefix takes that reply; other commands get the default.
  void Script(const std::string& prefix, FakeReply reply);
  // Shorthand: a status-only reply.
  void ScriptStatus(const std::string& prefix, const std::string& status);
  // Called for commands the script does not answer, before the default.
  std::function<std::optional<FakeReply>(const std::string& command)> responder;

  // Every command received, in order.
  std::vector<std::string> commands;
  // Commands with a given prefix.
  std::vector<std::string> CommandsStartingWith(const std::string& prefix) const;
  // The window stack from OUVRE and FERME.
  std::vector<std::string> windows;
  // Field values shown with AFFICHE ("PHASE,1" -> "INIT"), per window name.
  std::map<std::string, std::map<std::string, std::string>> fields;
  bool script_done() const { return script_.empty(); }

  bool fail_init = false;
  int init_calls = 0;
  int fin_calls = 0;
  bool loaded = false;
  int loads = 0;
  LoadResult load_result = LoadResult::kOk;

  LoadResult Load() override;
  bool IsLoaded() const override { return loaded; }
  int32_t InitInstance(uint8_t* block) override;
  void FinInstance(uint8_t* block) override;
  void Call(uint8_t* block) override;
  void Unload() override { loaded = false; }

  // The default answer, like the headless runtime: modal input answers the
  // window's cancel status ("*A*" in "CHEMIN.WDW", "ESC" elsewhere);
  // non-blocking input "*N*" in "KAVELIN2.WDW", the cancel status elsewhere;
  // "OUINON" yes; "ECRAN,RECUPERE,F" the value last shown in field F.
  FakeReply DefaultReply(const std::string& command);

 private:
  std::deque<std::pair<std::string, FakeReply>> script_;
};

}  // namespace kavelin2
