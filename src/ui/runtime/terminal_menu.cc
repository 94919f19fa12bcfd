#include "ui/runtime/terminal_menu.h"

#include <cwctype>

#include "ui/runtime/terminal_draw.h"
#include "ui/runtime/terminal_text.h"
#include "ui/runtime/terminal_view.h"

namespace kavelin2::uirt::term {

const std::vector<MenuEntry>& MenuEntries() {
  static const std::vector<MenuEntry> entries = {
      {{"En ligne (connexion)", "Go on line", "Conectar (en línea)"},
       {"E", "O", "C"},
       "*B*",
       "",
       1,
       0},
      {{"Ports série", "Serial ports", "Puertos serie"}, {"P", "P", "P"}, "*M*", "PP", 4, 0},
      {{"Modems", "Modems", "Módems"}, {"M", "M", "M"}, "*M*", "PM", 5, 0},
      {{"Chemins d'accès", "Directories", "Rutas de acceso"}, {"C", "D", "R"}, "*M*", "PE", 6, 0},
      {{"Options des fichiers", "File options", "Opciones de ficheros"},
       {"F", "F", "F"},
       "*M*",
       "PF",
       7,
       0},
      {{"Programmation horaire", "Schedule", "Horario"}, {"H", "S", "H"}, "*M*", "PD", 8, 0},
      {{"Langue", "Language", "Idioma"}, {"L", "L", "I"}, "*M*", "PA", 9, 0},
      {{"Lancer le programme C", "Run program C", "Ejecutar el programa C"},
       {"1", "1", "1"},
       "*M*",
       "UA",
       1,
       36},
      {{"Lancer le programme D", "Run program D", "Ejecutar el programa D"},
       {"2", "2", "2"},
       "*M*",
       "UD",
       2,
       36},
      {{"Lancer le programme de fin", "Run the end program", "Ejecutar el programa de fin"},
       {"3", "3", "3"},
       "*M*",
       "UT",
       3,
       36},
      {{"Lancer PROG.BAT", "Run PROG.BAT", "Ejecutar PROG.BAT"},
       {"4", "4", "4"},
       "*M*",
       "UP",
       4,
       36},
      {{"Voir les résultats", "View the results", "Ver los resultados"},
       {"V", "V", "V"},
       "*M*",
       "RV",
       7,
       36},
      {{"Supprimer les résultats", "Remove the results", "Borrar los resultados"},
       {"S", "R", "B"},
       "*M*",
       "RR",
       8,
       36},
      {{"À propos", "About", "Acerca de"}, {"A", "A", "A"}, "*M*", "A", 10, 36},
      {{"Quitter", "Quit", "Salir"}, {"Q", "Q", "S"}, "*M*", "PI", 11, 36},
  };
  return entries;
}

const std::vector<MenuHeader>& MenuHeaders() {
  static const std::vector<MenuHeader> headers = {
      {{"Connexion", "Connection", "Conexión"}, 0, 0},
      {{"Paramètres", "Settings", "Parámetros"}, 3, 0},
      {{"Programmes", "Programs", "Programas"}, 0, 36},
      {{"Résultats", "Results", "Resultados"}, 6, 36},
  };
  return headers;
}

namespace {

constexpr int kMenuRows = 12;
constexpr int kMenuCols = 70;

class MenuView : public View {
 public:
  void Draw(Terminal& t, Window& w, Lang lang) override {
    const Text3 title{"Menu principal", "Main menu", "Menú principal"};
    std::string shown_title = WindowTitle(w, title, lang);
    DrawTitleBar(t, "KAVELIN2 - " + shown_title, "");
    Frame f = CenteredFrame(t, kMenuRows, kMenuCols);
    DrawFrame(t, f, shown_title);
    for (const MenuHeader& h : MenuHeaders()) {
      if (h.row < f.content_height()) {
        PutText(t, f.content_row(h.row), f.content_col(h.col), h.label.in(lang), 34,
                kBold | kUnderline);
      }
    }
    const auto& entries = MenuEntries();
    for (size_t i = 0; i < entries.size(); ++i) {
      const MenuEntry& e = entries[i];
      if (e.row >= f.content_height()) continue;
      bool selected = static_cast<int>(i) == selected_;
      int row = f.content_row(e.row);
      int col = f.content_col(e.col);
      PutText(t, row, col, std::string(" ") + e.accel.in(lang) + " ", 3,
              selected ? kReverse | kBold : kBold);
      PutText(t, row, col + 3, std::string(" ") + e.label.in(lang) + " ", 31,
              selected ? kReverse : kPlain);
    }
    DrawKeyLine(t, Text3{"Lettre ou flèches + Entrée : choisir   Échap : quitter",
                         "Letter or arrows + Enter: choose   Esc: quit",
                         "Letra o flechas + Intro: elegir   Esc: salir"}
                       .in(lang));
    t.SetCursor(-1, -1);
  }

  std::optional<InputResult> HandleKey(int key, Window&, Lang lang) override {
    const auto& entries = MenuEntries();
    int n = static_cast<int>(entries.size());
    switch (key) {
      case kKeyEscape:
        return InputResult{"ESC", ""};
      case kKeyDown:
      case kKeyTab:
        selected_ = (selected_ + 1) % n;
        return std::nullopt;
      case kKeyUp:
      case kKeyBackTab:
        selected_ = (selected_ + n - 1) % n;
        return std::nullopt;
      case kKeyLeft:
      case kKeyRight:
        selected_ = OtherColumn();
        return std::nullopt;
      case kKeyHome:
        selected_ = 0;
        return std::nullopt;
      case kKeyEnd:
        selected_ = n - 1;
        return std::nullopt;
      case kKeyEnter:
        return Choose(entries[static_cast<size_t>(selected_)]);
      default:
        break;
    }
    if (key > 0 && key < 0x80) {
      char32_t upper = static_cast<char32_t>(std::towupper(static_cast<wint_t>(key)));
      for (int i = 0; i < n; ++i) {
        std::u32string accel = DecodeUtf8(entries[static_cast<size_t>(i)].accel.in(lang));
        if (!accel.empty() && accel[0] == upper) {
          selected_ = i;
          return Choose(entries[static_cast<size_t>(i)]);
        }
      }
    }
    return std::nullopt;
  }

  InputResult LeaveResult() const override { return {"ESC", ""}; }

 private:
  static InputResult Choose(const MenuEntry& e) { return {e.status, e.code}; }

  // The entry of the other column nearest to the selected row.
  int OtherColumn() const {
    const auto& entries = MenuEntries();
    const MenuEntry& cur = entries[static_cast<size_t>(selected_)];
    int best = selected_, best_distance = 1 << 20;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].col == cur.col) continue;
      int d = entries[i].row > cur.row ? entries[i].row - cur.row : cur.row - entries[i].row;
      if (d < best_distance) {
        best_distance = d;
        best = static_cast<int>(i);
      }
    }
    return best;
  }

  int selected_ = 0;
};

}  // namespace

std::unique_ptr<View> NewMenuView() { return std::make_unique<MenuView>(); }

}  // namespace kavelin2::uirt::term
