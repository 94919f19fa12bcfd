// The ncurses front end of the UI runtime: the station's windows drawn in a
// character terminal and driven from the keyboard.
#include "ui/runtime/terminal_front_end.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "ui/runtime/terminal_boxes.h"
#include "ui/runtime/terminal_curses.h"
#include "ui/runtime/terminal_draw.h"
#include "ui/runtime/terminal_view.h"

namespace kavelin2::uirt {
namespace term {
namespace {

constexpr int kModalWaitMs = 250;
constexpr int64_t kNever = -(int64_t{1} << 40);

class TerminalFrontEnd : public FrontEnd {
 public:
  explicit TerminalFrontEnd(std::unique_ptr<Terminal> terminal) : t_(std::move(terminal)) {}

  void WindowOpened(Screen& s) override {
    // The window on top is new even when it bears the name of the one that
    // was there before.
    if (!s.windows.empty() && views_.size() >= s.windows.size()) {
      views_.resize(s.windows.size() - 1);
    }
    SyncViews(s);
    dirty_ = true;
    last_draw_ = kNever;
  }
  void WindowClosed(Screen& s, const Window&) override {
    SyncViews(s);
    dirty_ = true;
    last_draw_ = kNever;
  }
  void FieldShown(Screen&, const std::string&, const std::string&) override { dirty_ = true; }
  void LanguageChanged(Screen&) override { dirty_ = true; }

  InputResult Input(Screen& s, InputKind kind) override {
    SyncViews(s);
    Window* w = s.current();
    if (!w) return {"ESC", ""};
    View& view = *views_.back().view;
    Lang lang = LangOfNation(s.nation);
    if (kind == InputKind::kNonBlocking) {
      return w->name == "KAVELIN2.WDW" ? PollOnline(s, *w, view, lang)
                                       : PollDialog(s, *w, view, lang);
    }
    for (;;) {
      if (t_->TerminationRequested()) return Leave(*w, view);
      if (dirty_) Draw(s);
      int key = t_->ReadKey(kModalWaitMs);
      if (key == kNoKey) continue;
      if (auto r = Key(key, *w, view, lang)) return *r;
    }
  }

  bool Question(Screen& s, const std::string& text) override {
    // Once the process is asked to end, only the quit question that follows
    // the menu's escape is answered yes.
    bool yes_on_termination = quit_on_termination_;
    quit_on_termination_ = false;
    bool yes = RunQuestionBox(*t_, Backdrop(s), text, LangOfNation(s.nation), yes_on_termination);
    Touch();
    return yes;
  }

  void Message(Screen& s, MessageKind kind, const std::string& text) override {
    RunMessageBox(*t_, Backdrop(s), kind, text, LangOfNation(s.nation));
    Touch();
  }

  void ShowTextFile(Screen& s, const std::string& path) override {
    RunTextViewer(*t_, Backdrop(s), path, LangOfNation(s.nation));
    Touch();
  }

 private:
  struct OpenView {
    std::string name;
    std::unique_ptr<View> view;
  };

  // One view per open window, in the same order as the window stack.
  void SyncViews(Screen& s) {
    size_t keep = 0;
    while (keep < views_.size() && keep < s.windows.size() &&
           views_[keep].name == s.windows[keep].name) {
      ++keep;
    }
    views_.resize(keep);
    for (size_t i = keep; i < s.windows.size(); ++i) {
      views_.push_back({s.windows[i].name, NewViewFor(s.windows[i].name)});
    }
  }

  InputResult Leave(Window& w, View& view) {
    InputResult r = view.LeaveResult();
    if (w.name == "MENU.WDW" && r.status == "ESC") quit_on_termination_ = true;
    return r;
  }

  // A key for the current window; a result ends the input.
  std::optional<InputResult> Key(int key, Window& w, View& view, Lang lang) {
    if (key == kKeyResize || key == kCtrlL || key == kKeyRedraw) {
      full_repaint_ = true;
      Touch();
      return std::nullopt;
    }
    auto r = view.HandleKey(key, w, lang);
    dirty_ = true;
    return r;
  }

  InputResult PollOnline(Screen& s, Window& w, View& view, Lang lang) {
    if (t_->TerminationRequested()) return Leave(w, view);
    int64_t now = t_->NowMs();
    if (now - last_key_check_ >= kOnlineKeyCheckMs) {
      last_key_check_ = now;
      for (int key = t_->ReadKey(0); key != kNoKey; key = t_->ReadKey(0)) {
        if (auto r = Key(key, w, view, lang)) {
          last_draw_ = kNever;  // show at once what the station does with it
          return *r;
        }
        last_draw_ = kNever;
      }
    }
    if (dirty_ && now - last_draw_ >= kOnlineRedrawMs) Draw(s);
    return {"*N*", ""};
  }

  InputResult PollDialog(Screen& s, Window& w, View& view, Lang lang) {
    if (t_->TerminationRequested()) return Leave(w, view);
    if (dirty_) Draw(s);
    for (int key = t_->ReadKey(kDialogPollWaitMs); key != kNoKey; key = t_->ReadKey(0)) {
      if (auto r = Key(key, w, view, lang)) return *r;
    }
    if (dirty_) Draw(s);
    return {"*N*", ""};
  }

  void DrawWindow(Screen& s) {
    Window* w = s.current();
    if (!w || views_.empty()) {
      DrawTitleBar(*t_, "KAVELIN2", "");
      t_->SetCursor(-1, -1);
      return;
    }
    views_.back().view->Draw(*t_, *w, LangOfNation(s.nation));
  }

  void Draw(Screen& s) {
    SyncViews(s);
    t_->Clear();
    DrawWindow(s);
    t_->Flush(full_repaint_);
    full_repaint_ = false;
    dirty_ = false;
    last_draw_ = t_->NowMs();
  }

  term::Backdrop Backdrop(Screen& s) {
    return [this, &s] {
      SyncViews(s);
      DrawWindow(s);
    };
  }

  void Touch() {
    dirty_ = true;
    last_draw_ = kNever;
  }

  std::unique_ptr<Terminal> t_;
  std::vector<OpenView> views_;
  bool dirty_ = true;
  bool full_repaint_ = false;
  int64_t last_draw_ = kNever;
  int64_t last_key_check_ = kNever;
  bool quit_on_termination_ = false;
};

}  // namespace

std::unique_ptr<FrontEnd> NewTerminalFrontEndOn(std::unique_ptr<Terminal> terminal) {
  return std::make_unique<TerminalFrontEnd>(std::move(terminal));
}

}  // namespace term

std::unique_ptr<FrontEnd> NewTerminalFrontEnd() {
  auto terminal = term::OpenSystemTerminal();
  if (!terminal) {
    // KAVELIN2_UI=terminal without a usable terminal: the station still
    // needs a runtime that answers.
    std::fprintf(stderr, "kavelin2ui: no usable terminal (TERM=%s); using headless\n",
                 std::getenv("TERM") ? std::getenv("TERM") : "");
    return NewHeadlessFrontEnd();
  }
  return term::NewTerminalFrontEndOn(std::move(terminal));
}

}  // namespace kavelin2::uirt
