#include <algorithm>

#include "ui/runtime/terminal_draw.h"
#include "ui/runtime/terminal_form.h"
#include "ui/runtime/terminal_text.h"
#include "ui/runtime/terminal_view.h"
#include "ui/runtime/window_library.h"

namespace kavelin2::uirt::term {
namespace {

const std::string* FindField(const Window& w, const std::string& name) {
  auto it = w.fields.find(name + ",");
  if (it != w.fields.end()) return &it->second;
  it = w.fields.find(name);
  if (it != w.fields.end()) return &it->second;
  return nullptr;
}

// A window the terminal has no layout for: its fields as a list, Enter to
// accept and Escape to leave.
class GenericView : public View {
 public:
  void Draw(Terminal& t, Window& w, Lang lang) override {
    int rows = std::max<int>(3, static_cast<int>(w.fields.size()) + 2);
    Frame f = CenteredFrame(t, rows, 70);
    std::string title = w.title.empty() ? w.name : w.title;
    DrawTitleBar(t, "KAVELIN2 - " + title, "");
    DrawFrame(t, f, title);
    int r = 0;
    for (const auto& [key, value] : w.fields) {
      if (r >= f.content_height()) break;
      PutText(t, f.content_row(r), f.content_col(0), key, 24);
      PutText(t, f.content_row(r), f.content_col(26), value, f.content_width() - 26);
      ++r;
    }
    DrawKeyLine(t, Text3{"Entrée : valider   Échap : fermer", "Enter: OK   Esc: close",
                         "Intro: aceptar   Esc: cerrar"}
                       .in(lang));
    t.SetCursor(-1, -1);
  }
  std::optional<InputResult> HandleKey(int key, Window&, Lang) override {
    if (key == kKeyEnter || key == kKeyF10) return InputResult{"*V*", ""};
    if (key == kKeyEscape) return InputResult{"ESC", ""};
    return std::nullopt;
  }
  InputResult LeaveResult() const override { return {"ESC", ""}; }
};

}  // namespace

std::string FieldValue(const Window& w, const std::string& name) {
  const std::string* v = FindField(w, name);
  return v ? *v : std::string();
}

void StoreField(Window& w, const std::string& name, const std::string& fallback_key,
                const std::string& value) {
  auto it = w.fields.find(name + ",");
  if (it == w.fields.end()) it = w.fields.find(name);
  if (it != w.fields.end()) {
    it->second = value;
  } else {
    w.fields[fallback_key.empty() ? name + "," : fallback_key] = value;
  }
}

std::string WindowTitle(const Window& w, const Text3& own, Lang lang) {
  if (w.title.empty()) return own.in(lang);
  // The runtime gives every window its library title when it opens; only a
  // title the station set itself replaces ours.
  if (const WindowSpec* desc = FindWindowSpec(w.name)) {
    for (int nation : {5, 3, 7}) {
      if (w.title == desc->title.For(nation)) return own.in(lang);
    }
  }
  return w.title;
}

std::unique_ptr<View> NewViewFor(const std::string& window_name) {
  if (window_name == "MENU.WDW") return NewMenuView();
  if (window_name == "KAVELIN2.WDW") return NewOnlineView();
  if (window_name == "SELREP.WDW") return NewDirectoryPickerView();
  if (const FormSpec* desc = FindFormSpec(window_name)) return std::make_unique<FormView>(*desc);
  return std::make_unique<GenericView>();
}

}  // namespace kavelin2::uirt::term
