#include "ui/runtime/terminal_form.h"

#include <algorithm>

#include "ui/runtime/terminal_draw.h"

namespace kavelin2::uirt::term {
namespace {

bool Focusable(const FormItem& item) {
  return item.type == FormItem::kButton ||
         (item.type == FormItem::kField && item.kind != FieldKind::kReadOnly);
}

bool Edited(const FormItem& item) {
  return item.type == FormItem::kField &&
         (item.kind == FieldKind::kText || item.kind == FieldKind::kTime);
}

bool IsYesKey(int key) {
  return key == 'o' || key == 'O' || key == 'y' || key == 'Y' || key == 's' || key == 'S' ||
         key == 'x' || key == 'X' || key == '+';
}

bool IsNoKey(int key) { return key == 'n' || key == 'N' || key == '-'; }

bool ValidTime(const std::string& v) {
  if (v.size() != 5 || v[2] != ':') return false;
  for (int i : {0, 1, 3, 4}) {
    if (v[i] < '0' || v[i] > '9') return false;
  }
  int hours = (v[0] - '0') * 10 + (v[1] - '0');
  int minutes = (v[3] - '0') * 10 + (v[4] - '0');
  return hours <= 23 && minutes <= 59;
}

std::string Trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

bool AllDigitsText(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

FormView::FormView(const FormSpec& desc) : desc_(desc) {
  for (size_t i = 0; i < desc_.items.size(); ++i) {
    if (Focusable(desc_.items[i])) {
      focus_ = static_cast<int>(i);
      break;
    }
  }
}

const FormItem* FormView::Focused() const {
  if (focus_ < 0 || focus_ >= static_cast<int>(desc_.items.size())) return nullptr;
  return &desc_.items[static_cast<size_t>(focus_)];
}

void FormView::MoveFocus(int step) {
  int n = static_cast<int>(desc_.items.size());
  if (n == 0 || focus_ < 0) return;
  int i = focus_;
  for (int k = 0; k < n; ++k) {
    i = (i + step + n) % n;
    if (Focusable(desc_.items[static_cast<size_t>(i)])) {
      focus_ = i;
      return;
    }
  }
}

void FormView::SyncEditor(Window& w) {
  const FormItem* item = Focused();
  if (!item || !Edited(*item)) {
    editor_item_ = -1;
    return;
  }
  std::string current = FieldValue(w, item->field);
  // The station may have shown a new value meanwhile (a picked directory).
  if (editor_item_ != focus_ || current != editor_value_) {
    editor_.Reset(current, item->max_bytes);
    editor_item_ = focus_;
    editor_value_ = current;
  }
}

bool FormView::TimesValid(Window& w) {
  for (size_t i = 0; i < desc_.items.size(); ++i) {
    const FormItem& item = desc_.items[i];
    if (item.type == FormItem::kField && item.kind == FieldKind::kTime &&
        !ValidTime(FieldValue(w, item.field))) {
      focus_ = static_cast<int>(i);
      notice_ = &labels::kBadTime;
      return false;
    }
  }
  return true;
}

std::optional<InputResult> FormView::Activate(const FormItem& item, Window& w) {
  if (std::string(item.status) == "*V*" && !TimesValid(w)) return std::nullopt;
  return InputResult{item.status, ""};
}

std::optional<InputResult> FormView::HandleKey(int key, Window& w, Lang) {
  notice_ = nullptr;
  SyncEditor(w);
  if (key == kKeyEscape) return InputResult{desc_.cancel_status, ""};
  if (key == kKeyF10) {
    for (const FormItem& item : desc_.items) {
      if (item.type == FormItem::kButton && std::string(item.status) == "*V*") {
        return Activate(item, w);
      }
    }
    return std::nullopt;
  }
  const FormItem* item = Focused();
  if (!item) return std::nullopt;
  switch (key) {
    case kKeyTab:
    case kKeyDown:
      MoveFocus(1);
      return std::nullopt;
    case kKeyBackTab:
    case kKeyUp:
      MoveFocus(-1);
      return std::nullopt;
    case kKeyEnter:
      if (item->type == FormItem::kButton) return Activate(*item, w);
      MoveFocus(1);
      return std::nullopt;
    case kKeyF2:
      if (*item->browse) return InputResult{item->browse, ""};
      return std::nullopt;
    default:
      break;
  }

  if (item->type == FormItem::kButton) {
    if (key == kKeyLeft) MoveFocus(-1);
    if (key == kKeyRight) MoveFocus(1);
    if (key == ' ') return Activate(*item, w);
    return std::nullopt;
  }

  std::string value = FieldValue(w, item->field);
  auto store = [&](const std::string& v) { StoreField(w, item->field, item->key, v); };
  switch (item->kind) {
    case FieldKind::kToggle:
      if (key == ' ' || key == kKeyLeft || key == kKeyRight) {
        store(!value.empty() && value[0] == 'O' ? "N" : "O");
      } else if (IsYesKey(key)) {
        store("O");
      } else if (IsNoKey(key)) {
        store("N");
      }
      break;
    case FieldKind::kChoice: {
      if (item->choices.empty()) break;
      int n = static_cast<int>(item->choices.size());
      int at = -1;
      for (int i = 0; i < n; ++i) {
        if (Trimmed(value) == item->choices[static_cast<size_t>(i)].code) at = i;
      }
      if (key == ' ' || key == kKeyRight) {
        at = at < 0 ? 0 : (at + 1) % n;
      } else if (key == kKeyLeft) {
        at = at < 0 ? 0 : (at + n - 1) % n;
      } else if (key >= '1' && key <= '9' && key - '1' < n) {
        at = key - '1';
      } else {
        break;
      }
      store(item->choices[static_cast<size_t>(at)].code);
      break;
    }
    case FieldKind::kPort: {
      // A port number (shown "COMn") or, when the station shows a name that
      // is not "COMn" ("USB0", "COM12"), that name, edited as text: letters,
      // digits and '_', up to the five characters PORT holds.
      std::string t = Trimmed(value);
      bool named = !t.empty() && !AllDigitsText(t);
      bool name_key = (key >= 'A' && key <= 'Z') || (key >= 'a' && key <= 'z') || key == '_' ||
                      (named && key >= '0' && key <= '9');
      if (name_key) {
        std::string name = named ? t : std::string();
        if (name.size() < 5) name += static_cast<char>(key);
        store(name);
        break;
      }
      if (key == kKeyBackspace || key == 8 || key == 127) {
        store(named ? t.substr(0, t.size() - 1) : std::string());
        break;
      }
      if (named) break;
      int number = 0;
      if (t.size() == 1 && t[0] >= '1' && t[0] <= '9') number = t[0] - '0';
      if (key >= '1' && key <= '9') {
        number = key - '0';
      } else if (key == kKeyLeft || key == '-') {
        number = number <= 1 ? 1 : number - 1;
      } else if (key == kKeyRight || key == ' ' || key == '+') {
        number = number >= 9 ? 9 : number + 1;
      } else {
        break;
      }
      store(std::string(1, static_cast<char>('0' + number)));
      break;
    }
    case FieldKind::kText:
    case FieldKind::kTime: {
      bool time = item->kind == FieldKind::kTime;
      if (key == kKeyBackspace || key == 8 || key == 127) {
        editor_.Backspace();
      } else if (key == kKeyDelete) {
        editor_.Delete();
      } else if (key == kKeyLeft) {
        editor_.Left();
      } else if (key == kKeyRight) {
        editor_.Right();
      } else if (key == kKeyHome || key == 1) {
        editor_.Home();
      } else if (key == kKeyEnd || key == 5) {
        editor_.End();
      } else if (key == 21) {  // Ctrl-U: clear the field
        editor_.Reset("", item->max_bytes);
      } else if (key >= 0x20 && key < kKeyUp) {
        if (time) {
          if (!((key >= '0' && key <= '9') || key == ':')) break;
          // The colon comes by itself after the hours.
          if (key != ':' && editor_.cursor() == 2 && editor_.text().size() == 2) {
            editor_.Insert(U':');
          }
        }
        editor_.Insert(static_cast<char32_t>(key));
      } else {
        break;
      }
      editor_value_ = editor_.value();
      store(editor_value_);
      break;
    }
    case FieldKind::kReadOnly:
      break;
  }
  return std::nullopt;
}

std::string FormView::ShownValue(const FormItem& item, Window& w, Lang lang, bool focused) {
  std::string value = FieldValue(w, item.field);
  switch (item.kind) {
    case FieldKind::kToggle:
      if (value.empty() || value[0] == 'N') return "[ ]";
      return value[0] == 'O' ? "[X]" : "[?]";
    case FieldKind::kChoice: {
      std::string shown = value;
      for (const Choice& c : item.choices) {
        if (Trimmed(value) == c.code) shown = c.label.in(lang);
      }
      return "< " + PadText(shown, std::max(1, item.width - 4)) + " >";
    }
    case FieldKind::kPort: {
      std::string t = Trimmed(value);
      return PadText(t.empty() || AllDigitsText(t) ? "COM" + t : t, item.width);
    }
    case FieldKind::kText:
    case FieldKind::kTime:
      if (focused) return PadText(editor_.Visible(item.width, nullptr), item.width);
      return PadText(value, item.width);
    case FieldKind::kReadOnly:
      return PadText(value, item.width);
  }
  return "";
}

void FormView::Draw(Terminal& t, Window& w, Lang lang) {
  SyncEditor(w);
  Frame f = CenteredFrame(t, desc_.rows, desc_.cols);
  std::string title = WindowTitle(w, desc_.title, lang);
  DrawTitleBar(t, "KAVELIN2 - " + title, desc_.clock ? FieldValue(w, "HEUREAC") : "");
  DrawFrame(t, f, title);
  int cursor_row = -1, cursor_col = -1;
  for (size_t i = 0; i < desc_.items.size(); ++i) {
    const FormItem& item = desc_.items[i];
    bool focused = static_cast<int>(i) == focus_;
    int row = f.content_row(item.row);
    if (item.row >= f.content_height()) continue;
    auto room = [&](int col) { return f.content_width() - col; };
    switch (item.type) {
      case FormItem::kLabel:
        PutText(t, row, f.content_col(item.col), item.label.in(lang), room(item.col), item.attr);
        break;
      case FormItem::kButton:
        PutText(t, row, f.content_col(item.col), std::string("[ ") + item.label.in(lang) + " ]",
                room(item.col), focused ? kReverse | kBold : kPlain);
        break;
      case FormItem::kField: {
        if (*item.label.fr) {
          PutText(t, row, f.content_col(item.col), item.label.in(lang), room(item.col), item.attr);
        }
        unsigned attr = focused ? kReverse : Edited(item) ? kUnderline : kPlain;
        PutText(t, row, f.content_col(item.value_col), ShownValue(item, w, lang, focused),
                room(item.value_col), attr);
        if (focused && Edited(item)) {
          int col = 0;
          editor_.Visible(item.width, &col);
          cursor_row = row;
          cursor_col = f.content_col(item.value_col) + col;
        }
        break;
      }
    }
  }
  if (notice_) {
    PutText(t, t.rows() - 1, 1, notice_->in(lang), t.cols() - 2, kBold);
  } else {
    DrawKeyLine(t, desc_.hint.in(lang));
  }
  t.SetCursor(cursor_row, cursor_col);
}

}  // namespace kavelin2::uirt::term
