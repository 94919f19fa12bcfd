// The directory picker "SELREP.WDW": walks the file system and returns the
// chosen directory, with its trailing separator, in field REPERTOIRE.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "ui/runtime/terminal_draw.h"
#include "ui/runtime/terminal_text.h"
#include "ui/runtime/terminal_view.h"

namespace kavelin2::uirt::term {
namespace {

namespace fs = std::filesystem;

// A directory field of "CHEMIN.CFG" holds at most 80 characters.
constexpr size_t kMaxPath = 80;
// Bounds the memory a huge directory can take.
constexpr size_t kMaxEntries = 10000;

class DirectoryPickerView : public View {
 public:
  DirectoryPickerView() {
    std::error_code ec;
    fs::path start = fs::current_path(ec);
    if (ec) start = "/";
    Enter(start);
  }

  void Draw(Terminal& t, Window& w, Lang lang) override {
    const Text3 title{"Choisir un répertoire", "Choose a directory", "Elegir un directorio"};
    std::string shown_title = WindowTitle(w, title, lang);
    DrawTitleBar(t, "KAVELIN2 - " + shown_title, "");
    int content_rows = std::max(6, std::min(18, t.rows() - 4));
    Frame f = CenteredFrame(t, content_rows, 70);
    DrawFrame(t, f, shown_title);
    int width = f.content_width();
    // The end of a long path says more than its beginning.
    std::string path = dir_.string();
    std::u32string cps = DecodeUtf8(path);
    int room = width - 2;
    if (TextWidth(path) > room && room > 3) {
      while (!cps.empty() && TextWidth(EncodeUtf8(cps)) > room - 3) cps.erase(cps.begin());
      path = "..." + EncodeUtf8(cps);
    }
    PutText(t, f.content_row(0), f.content_col(0), path, width, kBold);
    int list_rows = f.content_height() - 2;
    if (list_rows < 1) list_rows = 1;
    if (selected_ < top_) top_ = selected_;
    if (selected_ >= top_ + list_rows) top_ = selected_ - list_rows + 1;
    for (int i = 0; i < list_rows; ++i) {
      int index = top_ + i;
      if (index >= static_cast<int>(rows_.size())) break;
      std::string label = rows_[static_cast<size_t>(index)].label;
      if (rows_[static_cast<size_t>(index)].kind == kChoose) {
        label = Text3{"./  (choisir ce répertoire)", "./  (choose this directory)",
                      "./  (elegir este directorio)"}
                    .in(lang);
      }
      bool sel = index == selected_;
      PutText(t, f.content_row(2 + i), f.content_col(0),
              sel ? PadText(" " + label, width) : " " + label, width, sel ? kReverse : kPlain);
    }
    if (notice_) {
      PutText(t, t.rows() - 1, 1, notice_->in(lang), t.cols() - 2, kBold);
    } else {
      DrawKeyLine(t, Text3{"Entrée : ouvrir   ← : remonter   F10 : choisir ce répertoire   "
                           "Échap : annuler",
                           "Enter: open   Left: up   F10: choose this directory   Esc: cancel",
                           "Intro: abrir   ←: subir   F10: elegir este directorio   Esc: "
                           "cancelar"}
                         .in(lang));
    }
    t.SetCursor(-1, -1);
  }

  std::optional<InputResult> HandleKey(int key, Window& w, Lang) override {
    notice_ = nullptr;
    int n = static_cast<int>(rows_.size());
    switch (key) {
      case kKeyEscape:
        return InputResult{"*A*", ""};
      case kKeyF10:
        return Choose(w);
      case kKeyUp:
        selected_ = std::max(0, selected_ - 1);
        return std::nullopt;
      case kKeyDown:
      case kKeyTab:
        selected_ = std::min(n - 1, selected_ + 1);
        return std::nullopt;
      case kKeyPageUp:
        selected_ = std::max(0, selected_ - 10);
        return std::nullopt;
      case kKeyPageDown:
        selected_ = std::min(n - 1, selected_ + 10);
        return std::nullopt;
      case kKeyHome:
        selected_ = 0;
        return std::nullopt;
      case kKeyEnd:
        selected_ = n - 1;
        return std::nullopt;
      case kKeyLeft:
      case kKeyBackspace:
      case 127:
      case 8:
        Up();
        return std::nullopt;
      case kKeyRight:
      case kKeyEnter: {
        const Row& row = rows_[static_cast<size_t>(selected_)];
        if (row.kind == kChoose) {
          if (key == kKeyEnter) return Choose(w);
        } else if (row.kind == kParent) {
          Up();
        } else {
          Enter(dir_ / row.name);
        }
        return std::nullopt;
      }
      default:
        break;
    }
    // A letter jumps to the next directory starting with it.
    if (key > ' ' && key < 0x80) {
      for (int k = 1; k <= n; ++k) {
        int i = (selected_ + k) % n;
        const Row& row = rows_[static_cast<size_t>(i)];
        if (row.kind == kDirectory && !row.name.empty() &&
            std::tolower(static_cast<unsigned char>(row.name[0])) == std::tolower(key)) {
          selected_ = i;
          break;
        }
      }
    }
    return std::nullopt;
  }

  InputResult LeaveResult() const override { return {"*A*", ""}; }

 private:
  enum Kind { kChoose, kParent, kDirectory };
  struct Row {
    Kind kind;
    std::string name;
    std::string label;
  };

  std::optional<InputResult> Choose(Window& w) {
    std::string path = dir_.string();
    if (path.empty() || path.back() != '/') path += '/';
    if (path.size() > kMaxPath) {
      static const Text3 too_long{"Chemin trop long : 80 caractères au plus",
                                  "Path too long: 80 characters at most",
                                  "Camino demasiado largo: 80 caracteres como máximo"};
      notice_ = &too_long;
      return std::nullopt;
    }
    StoreField(w, "REPERTOIRE", "REPERTOIRE,", path);
    return InputResult{"*V*", ""};
  }

  void Up() {
    fs::path parent = dir_.parent_path();
    if (parent == dir_ || parent.empty()) return;
    std::string from = dir_.filename().string();
    if (Enter(parent)) {
      for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].kind == kDirectory && rows_[i].name == from) {
          selected_ = static_cast<int>(i);
        }
      }
    }
  }

  // Lists |dir|; on failure stays where it was and says so.
  bool Enter(const fs::path& dir) {
    std::error_code ec;
    fs::path target = fs::weakly_canonical(dir, ec);
    if (ec) target = dir;
    std::vector<std::string> names;
    fs::directory_iterator it(target, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
      static const Text3 unreadable{"Répertoire illisible", "Directory cannot be read",
                                    "Directorio ilegible"};
      notice_ = &unreadable;
      if (rows_.empty()) Fill(target, {});
      return false;
    }
    for (; it != fs::directory_iterator() && names.size() < kMaxEntries; it.increment(ec)) {
      if (ec) break;
      std::error_code type_ec;
      if (it->is_directory(type_ec)) names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    Fill(target, names);
    return true;
  }

  void Fill(const fs::path& dir, const std::vector<std::string>& names) {
    dir_ = dir;
    rows_.clear();
    rows_.push_back({kChoose, "", ""});
    if (dir_.has_parent_path() && dir_.parent_path() != dir_) rows_.push_back({kParent, "", "../"});
    for (const std::string& name : names) rows_.push_back({kDirectory, name, name + "/"});
    selected_ = 0;
    top_ = 0;
  }

  fs::path dir_;
  std::vector<Row> rows_;
  int selected_ = 0;
  int top_ = 0;
  const Text3* notice_ = nullptr;
};

}  // namespace

std::unique_ptr<View> NewDirectoryPickerView() { return std::make_unique<DirectoryPickerView>(); }

}  // namespace kavelin2::uirt::term
