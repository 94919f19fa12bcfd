#include "ui/runtime/script_front_end.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <sstream>

namespace kavelin2::uirt {
namespace {

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == 'n' || s[i + 1] == '\\')) {
      out += s[i + 1] == 'n' ? '\n' : '\\';
      ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

bool ParseInt(const std::string& s, int* out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (errno != 0 || *end != 0 || v < INT_MIN || v > INT_MAX) return false;
  *out = static_cast<int>(v);
  return true;
}

bool IsBlank(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }

class ScriptFrontEnd : public FrontEnd {
 public:
  ScriptFrontEnd(std::vector<ScriptLine> lines, HeadlessOptions fallback)
      : lines_(lines.begin(), lines.end()), headless_(NewHeadlessFrontEnd(std::move(fallback))) {}

  std::optional<Reply> Intercept(Screen&, const std::string& command) override {
    if (lines_.empty() ||
        command.compare(0, lines_.front().prefix.size(), lines_.front().prefix) != 0)
      return std::nullopt;
    Reply reply = std::move(lines_.front().reply);
    lines_.pop_front();
    return reply;
  }

  void WindowOpened(Screen& s) override { headless_->WindowOpened(s); }
  void WindowClosed(Screen& s, const Window& closed) override {
    headless_->WindowClosed(s, closed);
  }
  void FieldShown(Screen& s, const std::string& key, const std::string& value) override {
    headless_->FieldShown(s, key, value);
  }
  void LanguageChanged(Screen& s) override { headless_->LanguageChanged(s); }
  InputResult Input(Screen& s, InputKind kind) override { return headless_->Input(s, kind); }
  bool Question(Screen& s, const std::string& text) override {
    return headless_->Question(s, text);
  }
  void Message(Screen& s, MessageKind kind, const std::string& text) override {
    headless_->Message(s, kind, text);
  }
  void Journal(Screen& s, const std::string& text) override { headless_->Journal(s, text); }
  void ShowTextFile(Screen& s, const std::string& path) override {
    headless_->ShowTextFile(s, path);
  }

 private:
  std::deque<ScriptLine> lines_;
  std::unique_ptr<FrontEnd> headless_;
};

}  // namespace

std::vector<ScriptLine> ParseScript(const std::string& text, std::vector<std::string>* errors) {
  std::vector<ScriptLine> lines;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (IsBlank(line) || line[0] == '#') continue;
    std::vector<std::string> f = SplitTabs(line);
    auto error = [&](const std::string& why) {
      if (errors) errors->push_back("line " + std::to_string(number) + ": " + why);
    };
    if (f.size() > 4) {
      error("more than four fields");
      continue;
    }
    if (f[0].empty()) {
      error("empty command prefix");
      continue;
    }
    ScriptLine s;
    s.prefix = Unescape(f[0]);
    if (f.size() > 1 && !f[1].empty()) {
      if (f[1].size() != 3) {
        error("status \"" + f[1] + "\" is not 3 characters");
        continue;
      }
      s.reply.status = f[1];
    }
    if (f.size() > 2) s.reply.text = Unescape(f[2]);
    if (f.size() > 3 && !f[3].empty()) {
      int v = 0;
      if (!ParseInt(f[3], &v)) {
        error("value \"" + f[3] + "\" is not an integer");
        continue;
      }
      s.reply.int_value = v;
    }
    lines.push_back(std::move(s));
  }
  return lines;
}

std::unique_ptr<FrontEnd> NewScriptFrontEnd(std::vector<ScriptLine> lines,
                                            HeadlessOptions fallback) {
  return std::make_unique<ScriptFrontEnd>(std::move(lines), std::move(fallback));
}

std::unique_ptr<FrontEnd> NewScriptFrontEnd(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> errors;
  std::vector<ScriptLine> lines;
  if (!in) {
    errors.push_back("cannot be read; every command gets the headless answer");
  } else {
    std::ostringstream text;
    text << in.rdbuf();
    lines = ParseScript(text.str(), &errors);
  }
  for (const auto& e : errors)
    std::fprintf(stderr, "kavelin2ui: script %s: %s\n", path.c_str(), e.c_str());
  return NewScriptFrontEnd(std::move(lines), HeadlessOptions{});
}

}  // namespace kavelin2::uirt
