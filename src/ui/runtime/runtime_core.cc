#include "ui/runtime/runtime_core.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "ui/exchange_block.h"
#include "ui/runtime/window_library.h"

namespace kavelin2::uirt {

std::string TrimBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

void SplitCommand(const std::string& command, std::string* verb, std::string* args) {
  size_t comma = command.find(',');
  *verb = TrimBlanks(std::string_view(command).substr(0, comma));
  for (char& c : *verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (comma == std::string::npos) {
    args->clear();
    return;
  }
  size_t b = comma + 1;
  while (b < command.size() && command[b] == ' ') ++b;
  *args = command.substr(b);
}

namespace {

// The value of a fetch reply: the number becomes intValue, the text is the
// field as shown.
void PutText(uint8_t* block, const std::string& text) { PutValue(block, kValueInteger, text); }

void PutReply(uint8_t* block, const Reply& reply) {
  if (reply.status) PutStatus(block, *reply.status);
  if (reply.text && reply.int_value) {
    PutNumberAndText(block, std::to_string(*reply.int_value), *reply.text);
  } else if (reply.text) {
    PutText(block, *reply.text);
  } else if (reply.int_value) {
    PutText(block, std::to_string(*reply.int_value));
  }
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// "PORT1", "PORT2": the port fields of the port window.
bool IsPortField(const std::string& name) {
  return name.size() > 4 && name.compare(0, 4, "PORT") == 0 && AllDigits(name.substr(4));
}

}  // namespace

Runtime::Runtime(std::unique_ptr<FrontEnd> front_end, std::unique_ptr<Transcript> transcript)
    : front_end_(std::move(front_end)), transcript_(std::move(transcript)) {}

void Runtime::Execute(uint8_t* block) {
  std::string command(reinterpret_cast<const char*>(block),
                      strnlen(reinterpret_cast<const char*>(block), kExchangeBlockSize));
  if (transcript_) transcript_->Record(command);
  std::string verb, args;
  SplitCommand(command, &verb, &args);
  ClearReply(block);
  Run(verb, args, command, block);
}

std::string Runtime::Fetch(const std::string& field) const {
  if (screen_.windows.empty()) return std::string();
  const Window& w = screen_.windows.back();
  std::string value = w.Get(field);
  // The port field takes a port number and gives back the device name. Any
  // other value is a name (the station shows "USB0" as it is) and comes back
  // unchanged; so does a number too long to be a port's.
  if (w.name == kSerialWindow && IsPortField(field)) {
    std::string number = TrimBlanks(value);
    if (AllDigits(number) && number.size() <= 4)
      return "COM" + std::to_string(std::atoi(number.c_str()));
  }
  return value;
}

void Runtime::Run(const std::string& verb, const std::string& args, const std::string& command,
                  uint8_t* block) {
  // Bookkeeping first, whoever answers: the screen always follows the
  // station's commands.
  std::optional<Window> closed;
  bool opened = false, language = false;
  std::string key, value;
  bool shown = false;
  if (verb == "NATION") {
    std::string n = TrimBlanks(args);
    if (AllDigits(n)) {
      screen_.nation = std::atoi(n.c_str());
      language = true;
    }
  } else if (verb == "OUVRE") {
    Window w;
    w.name = TrimBlanks(args);
    if (const WindowSpec* desc = FindWindowSpec(w.name)) w.title = desc->title.For(screen_.nation);
    screen_.windows.push_back(std::move(w));
    opened = true;
  } else if (verb == "FERME") {
    if (!screen_.windows.empty()) {
      closed = std::move(screen_.windows.back());
      screen_.windows.pop_back();
    }
  } else if (verb == "AFFICHE") {
    size_t eq = args.find('=');
    if (eq != std::string::npos && screen_.current() != nullptr) {
      key = TrimBlanks(std::string_view(args).substr(0, eq));
      value = args.substr(eq + 1);
      screen_.current()->Set(key, value);
      shown = true;
    }
  } else if (verb == "WINDOWS") {
    constexpr std::string_view kTitle = "TCOURANT,";
    if (args.compare(0, kTitle.size(), kTitle) == 0 && screen_.current() != nullptr)
      screen_.current()->title = args.substr(kTitle.size());
  }

  if (std::optional<Reply> reply = front_end_->Intercept(screen_, command)) {
    PutReply(block, *reply);
    return;
  }

  if (language) front_end_->LanguageChanged(screen_);
  if (opened) front_end_->WindowOpened(screen_);
  if (closed) front_end_->WindowClosed(screen_, *closed);
  if (shown) front_end_->FieldShown(screen_, key, value);

  if (verb == "ECRAN") {
    RunEcran(args, block);
  } else if (verb == "OUINON") {
    PutText(block, front_end_->Question(screen_, args) ? "1" : "0");
  } else if (verb == "INFO") {
    front_end_->Message(screen_, MessageKind::kInfo, args);
  } else if (verb == "ERREUR") {
    front_end_->Message(screen_, MessageKind::kError, args);
  } else if (verb == "VOIR") {
    front_end_->ShowTextFile(screen_, TrimBlanks(args));
  } else if (verb == "JOURNAL") {
    front_end_->Journal(screen_, args);
  }
}

void Runtime::RunEcran(const std::string& args, uint8_t* block) {
  std::string what = TrimBlanks(args);
  constexpr std::string_view kFetch = "RECUPERE,";
  if (what.compare(0, kFetch.size(), kFetch) == 0) {
    PutText(block, Fetch(TrimBlanks(std::string_view(what).substr(kFetch.size()))));
    return;
  }
  if (what.compare(0, 6, "SAISIE") != 0) return;
  InputKind kind =
      what.find("NONBLOCANTE") != std::string::npos ? InputKind::kNonBlocking : InputKind::kModal;
  InputResult result = front_end_->Input(screen_, kind);
  PutStatus(block, result.status);
  if (!result.text.empty()) PutText(block, result.text);
}

}  // namespace kavelin2::uirt
