// The on-line display "KAVELIN2.WDW": both lines side by side, redrawn from
// the fields the station shows.
#include <algorithm>
#include <string>

#include "ui/runtime/terminal_draw.h"
#include "ui/runtime/terminal_text.h"
#include "ui/runtime/terminal_view.h"

namespace kavelin2::uirt::term {
namespace {

constexpr int kRows = 12;
constexpr int kCols = 72;
constexpr int kLabelWidth = 16;
constexpr int kColumn[2] = {18, 46};
constexpr int kColumnWidth = 26;
constexpr int kBarWidth = 16;

// "45 %" -> 45; "" -> -1 (nothing to show).
int Percent(const std::string& value) {
  size_t i = value.find_first_not_of(' ');
  if (i == std::string::npos || value[i] < '0' || value[i] > '9') return -1;
  int p = 0;
  while (i < value.size() && value[i] >= '0' && value[i] <= '9' && p <= 100) {
    p = p * 10 + (value[i] - '0');
    ++i;
  }
  return std::min(p, 100);
}

std::string ProgressBar(const std::string& value) {
  int p = Percent(value);
  if (p < 0) return "";
  int filled = p * kBarWidth / 100;
  return "[" + std::string(static_cast<size_t>(filled), '#') +
         std::string(static_cast<size_t>(kBarWidth - filled), '.') + "] " + std::to_string(p) +
         " %";
}

std::string LinkKind(const std::string& image, Lang lang) {
  if (image.find("MODEM") != std::string::npos) return "Modem";
  if (image.find("CONNECT") != std::string::npos) {
    return Text3{"Liaison directe", "Direct line", "Línea directa"}.in(lang);
  }
  return image;
}

// The state is always in bold; the last exchange's result stands out when
// it failed ("TO" or "ER"), so that a failure never reads like a success.
unsigned AttributeOf(const std::string& field, const std::string& text) {
  if (field == "ETAT") return kBold;
  if (field != "RESULTAT") return kPlain;
  size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos || text.compare(i, 2, "OK") == 0) return kPlain;
  return kBold | kReverse;
}

class OnlineView : public View {
 public:
  void Draw(Terminal& t, Window& w, Lang lang) override {
    if (stop_asked_) {
      // The window is still open after a stop request: the station refused
      // it because a line is in an exchange.
      stop_asked_ = false;
      refused_at_ = t.NowMs();
    }
    const Text3 title{"En ligne", "On line", "En línea"};
    std::string shown_title = WindowTitle(w, title, lang);
    DrawTitleBar(t, "KAVELIN2 - " + shown_title, FieldValue(w, "HEURE"));
    Frame f = CenteredFrame(t, kRows, kCols);
    DrawFrame(t, f, shown_title);
    auto put = [&](int row, int col, const std::string& text, int width, unsigned attr) {
      if (row < f.content_height()) {
        PutText(t, f.content_row(row), f.content_col(col), text,
                std::min(width, f.content_width() - col), attr);
      }
    };
    put(0, kColumn[0], labels::kLine1.in(lang), kColumnWidth, kBold);
    put(0, kColumn[1], labels::kLine2.in(lang), kColumnWidth, kBold);
    struct Row {
      Text3 label;
      const char* field;
    };
    static const Row rows[] = {
        {{"Liaison", "Link", "Enlace"}, "ETATIMG"},
        {{"Phase", "Phase", "Fase"}, "PHASE"},
        {{"État", "State", "Estado"}, "ETAT"},
        {{"Portable", "Handheld", "Portátil"}, "PORTABLE"},
        {{"Fichier", "File", "Fichero"}, "FICHIER"},
        {{"Blocs", "Blocks", "Bloques"}, "BLOCS"},
        {{"Transfert", "Transfer", "Transferencia"}, "TRANS"},
        {{"Temps", "Time", "Tiempo"}, "TEMPS"},
        {{"Time-out", "Time-outs", "Time-out"}, "timeout"},
        {{"Dernier échange", "Last exchange", "Último intercambio"}, "RESULTAT"},
    };
    int r = 1;
    for (const Row& row : rows) {
      put(r, 0, row.label.in(lang), kLabelWidth, kPlain);
      for (int line = 0; line < 2; ++line) {
        std::string n = std::to_string(line + 1);
        std::string field = row.field;
        std::string text;
        if (field == "ETATIMG") {
          text = LinkKind(FieldValue(w, "ETATIMG" + n), lang);
        } else if (field == "TRANS") {
          text = ProgressBar(FieldValue(w, "TRANS," + n));
        } else {
          text = FieldValue(w, field + "," + n);
        }
        put(r, kColumn[line], text, kColumnWidth, AttributeOf(field, text));
      }
      ++r;
    }
    if (refused_at_ >= 0 && t.NowMs() - refused_at_ < 3000) {
      PutText(t, t.rows() - 1, 1,
              Text3{"Arrêt impossible pendant un échange : réessayer quand les lignes sont libres",
                    "Cannot stop during an exchange: try again when both lines are idle",
                    "Imposible parar durante un intercambio: reintente con las líneas libres"}
                  .in(lang),
              t.cols() - 2, kBold);
    } else {
      DrawKeyLine(
          t, Text3{"Échap ou F10 : arrêter et revenir au menu",
                   "Esc or F10: stop and return to the menu", "Esc o F10: parar y volver al menú"}
                 .in(lang));
    }
    t.SetCursor(-1, -1);
  }

  std::optional<InputResult> HandleKey(int key, Window&, Lang) override {
    if (key == kKeyEscape || key == kKeyF10 || key == 'q' || key == 'Q' || key == 'a' ||
        key == 'A' || key == 's' || key == 'S' || key == 'p' || key == 'P') {
      stop_asked_ = true;
      return InputResult{"*P*", ""};
    }
    return std::nullopt;
  }

  InputResult LeaveResult() const override { return {"*P*", ""}; }

 private:
  bool stop_asked_ = false;
  int64_t refused_at_ = -1;
};

}  // namespace

std::unique_ptr<View> NewOnlineView() { return std::make_unique<OnlineView>(); }

}  // namespace kavelin2::uirt::term
