#include "testing/fake_ui.h"

#include <cstring>

#include "ui/exchange_block.h"

namespace kavelin2 {

void FakeUiRuntime::Script(const std::string& prefix, FakeReply reply) {
  script_.emplace_back(prefix, std::move(reply));
}

void FakeUiRuntime::ScriptStatus(const std::string& prefix, const std::string& status) {
  Script(prefix, FakeReply{status, std::nullopt, std::nullopt});
}

std::vector<std::string> FakeUiRuntime::CommandsStartingWith(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const auto& c : commands)
    if (c.rfind(prefix, 0) == 0) out.push_back(c);
  return out;
}

UiRuntimeLink::LoadResult FakeUiRuntime::Load() {
  ++loads;
  loaded = load_result == LoadResult::kOk;
  return load_result;
}

int32_t FakeUiRuntime::InitInstance(uint8_t*) {
  ++init_calls;
  return fail_init ? 0 : 1;
}

void FakeUiRuntime::FinInstance(uint8_t*) { ++fin_calls; }

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b);
}

std::string CurrentWindow(const std::vector<std::string>& windows) {
  return windows.empty() ? std::string() : windows.back();
}

std::string CancelStatus(const std::string& window) {
  return window == "CHEMIN.WDW" ? "*A*" : "ESC";
}

}  // namespace

FakeReply FakeUiRuntime::DefaultReply(const std::string& command) {
  std::string window = CurrentWindow(windows);
  if (command.rfind("ECRAN,", 0) == 0) {
    std::string rest = Trim(command.substr(6));
    if (rest.rfind("RECUPERE,", 0) == 0) {
      std::string field = rest.substr(9);
      auto& shown = fields[window];
      // Fields shown as "NAME,=v" or "NAME=v" are fetched as "NAME".
      std::string value;
      for (const auto& key : {field + ",", field}) {
        auto it = shown.find(key);
        if (it != shown.end()) value = it->second;
      }
      // The port field of the port window takes a number and gives back the
      // device name, as the real runtime does.
      if (window == "SERIE.WDW" && field.rfind("PORT", 0) == 0 && !value.empty() &&
          value.find_first_not_of("0123456789") == std::string::npos) {
        value = "COM" + value;
      }
      return FakeReply{std::nullopt, value, std::nullopt};
    }
    if (rest.find("NONBLOCANTE") != std::string::npos) {
      return FakeReply{window == "KAVELIN2.WDW" ? std::string("*N*") : CancelStatus(window),
                       std::nullopt, std::nullopt};
    }
    return FakeReply{CancelStatus(window), std::nullopt, std::nullopt};
  }
  if (command.rfind("OUINON", 0) == 0) return FakeReply{std::nullopt, "1", std::nullopt};
  return FakeReply{};
}

void FakeUiRuntime::Call(uint8_t* block) {
  std::string command(reinterpret_cast<const char*>(block), strnlen(reinterpret_cast<const char*>(block), kExchangeBlockSize));
  commands.push_back(command);

  if (command.rfind("OUVRE,", 0) == 0) {
    windows.push_back(command.substr(6));
    fields[windows.back()].clear();
  } else if (command == "FERME") {
    if (!windows.empty()) windows.pop_back();
  } else if (command.rfind("AFFICHE,", 0) == 0) {
    std::string rest = Trim(command.substr(8));
    size_t eq = rest.find('=');
    if (eq != std::string::npos) fields[CurrentWindow(windows)][rest.substr(0, eq)] = rest.substr(eq + 1);
  }

  std::optional<FakeReply> reply;
  if (!script_.empty() && command.rfind(script_.front().first, 0) == 0) {
    reply = script_.front().second;
    script_.pop_front();
  }
  if (!reply && responder) reply = responder(command);
  if (!reply) reply = DefaultReply(command);

  ClearReply(block);
  if (reply->status) PutStatus(block, *reply->status);
  if (reply->int_value) {
    PutNumberAndText(block, std::to_string(*reply->int_value), reply->text.value_or(""));
  } else if (reply->text) {
    PutValue(block, kValueInteger, *reply->text);
  }
}

}  // namespace kavelin2
