// Dialog windows described as data: labels, fields and buttons at fixed
// places, and one engine (FormView) that draws them and edits the fields.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/runtime/terminal_labels.h"
#include "ui/runtime/terminal_text.h"
#include "ui/runtime/terminal_view.h"

namespace kavelin2::uirt::term {

enum class FieldKind {
  kToggle,    // 'O' / 'N'
  kText,      // free text of at most max_bytes bytes
  kTime,      // HH:MM
  kPort,      // a port number 1..9 (the runtime returns "COMn" for it), or a name
  kChoice,    // one code of a list ("1".."n"), returned as its number
  kReadOnly,  // shown, not edited
};

struct Choice {
  const char* code;
  Text3 label;
};

struct FormItem {
  enum Type { kLabel, kField, kButton } type = kLabel;
  int row = 0;
  int col = 0;             // label, or button
  Text3 label;             // label text, button caption
  unsigned attr = kPlain;  // label attribute
  // Fields:
  const char* field = "";  // name as fetched ("ACTIVE1")
  const char* key = "";    // key when the station never showed it ("ACTIVE1,")
  FieldKind kind = FieldKind::kText;
  int value_col = 0;
  int width = 0;  // columns of the value box
  size_t max_bytes = 0;
  std::vector<Choice> choices;
  const char* browse = "";  // status that F2 on this field ends with ("*B*")
  // Buttons:
  const char* status = "";
};

struct FormSpec {
  std::string window;
  Text3 title;
  int rows = 0, cols = 0;  // content size
  std::vector<FormItem> items;
  std::string cancel_status = "*A*";  // Escape
  bool clock = false;                 // HEUREAC in the title bar
  Text3 hint = labels::kFormHint;     // the key line
};

// The description of a known dialog window, or nullptr.
const FormSpec* FindFormSpec(const std::string& window_name);

class FormView : public View {
 public:
  explicit FormView(const FormSpec& desc);
  void Draw(Terminal& t, Window& w, Lang lang) override;
  std::optional<InputResult> HandleKey(int key, Window& w, Lang lang) override;
  InputResult LeaveResult() const override { return {desc_.cancel_status, ""}; }

  // Which item has the focus (index in desc items), for tests.
  int focus() const { return focus_; }

 private:
  const FormItem* Focused() const;
  void MoveFocus(int step);
  void SyncEditor(Window& w);
  std::optional<InputResult> Activate(const FormItem& item, Window& w);
  bool TimesValid(Window& w);
  std::string ShownValue(const FormItem& item, Window& w, Lang lang, bool focused);

  FormSpec desc_;
  int focus_ = -1;
  LineEditor editor_;
  int editor_item_ = -1;
  std::string editor_value_;
  const Text3* notice_ = nullptr;
};

}  // namespace kavelin2::uirt::term
