#include "ui/runtime/terminal_boxes.h"

#include <algorithm>
#include <fstream>

#include "ui/runtime/terminal_draw.h"
#include "ui/runtime/terminal_text.h"

namespace kavelin2::uirt::term {
namespace {

constexpr int kBoxTextWidth = 60;
constexpr int kModalWaitMs = 250;
constexpr size_t kViewerMaxBytes = 8u << 20;

bool IsRepaint(int key) { return key == kKeyResize || key == kCtrlL || key == kKeyRedraw; }

// Draws a box with |lines| and the buttons; returns the frame.
void DrawBox(Terminal& t, const Backdrop& backdrop, const std::string& title,
             const std::vector<std::string>& lines, const std::vector<std::string>& buttons,
             int focus, bool repaint) {
  t.Clear();
  if (backdrop) backdrop();
  int text_width = 0;
  for (const std::string& l : lines) text_width = std::max(text_width, TextWidth(l));
  int buttons_width = 0;
  for (const std::string& b : buttons) buttons_width += TextWidth(b) + 6;
  int cols = std::max({text_width, buttons_width, 24});
  int rows = static_cast<int>(lines.size()) + 3;
  Frame f = CenteredFrame(t, rows, cols);
  FillBlank(t, f.top, f.left, f.height, f.width);
  DrawFrame(t, f, title);
  for (size_t i = 0; i < lines.size(); ++i) {
    int r = static_cast<int>(i) + 1;
    if (r >= f.content_height() - 1) break;
    PutText(t, f.content_row(r), f.content_col(0), lines[i], f.content_width());
  }
  int col = f.content_col(std::max(0, (f.content_width() - buttons_width) / 2));
  int row = f.content_row(f.content_height() - 1);
  for (size_t i = 0; i < buttons.size(); ++i) {
    std::string b = "[ " + buttons[i] + " ]";
    PutText(t, row, col, b, -1, static_cast<int>(i) == focus ? kReverse | kBold : kPlain);
    col += TextWidth(b) + 2;
  }
  t.SetCursor(-1, -1);
  t.Flush(repaint);
}

}  // namespace

std::vector<std::string> WrapText(const std::string& text, int width) {
  std::vector<std::string> out;
  if (width < 1) width = 1;
  size_t start = 0;
  while (start <= text.size()) {
    size_t nl = text.find('\n', start);
    std::string para = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (!para.empty() && para.back() == '\r') para.pop_back();
    std::u32string rest = DecodeUtf8(para);
    do {
      // Take as many code points as fit, then back up to a blank.
      int used = 0;
      size_t n = 0;
      while (n < rest.size() && used + CodePointWidth(rest[n]) <= width) {
        used += CodePointWidth(rest[n]);
        ++n;
      }
      if (n < rest.size()) {
        size_t blank = rest.rfind(U' ', n);
        if (blank != std::u32string::npos && blank > 0) n = blank;
      }
      std::u32string piece = rest.substr(0, n);
      while (!piece.empty() && piece.back() == U' ') piece.pop_back();
      out.push_back(EncodeUtf8(piece));
      rest.erase(0, n);
      while (!rest.empty() && rest.front() == U' ') rest.erase(rest.begin());
    } while (!rest.empty());
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return out;
}

bool RunQuestionBox(Terminal& t, const Backdrop& backdrop, const std::string& text, Lang lang,
                    bool on_termination) {
  std::vector<std::string> lines = WrapText(text, kBoxTextWidth);
  std::vector<std::string> buttons = {labels::kYes.in(lang), labels::kNo.in(lang)};
  int focus = 0;
  bool repaint = false;
  for (;;) {
    if (t.TerminationRequested()) return on_termination;
    DrawBox(t, backdrop, labels::kQuestion.in(lang), lines, buttons, focus, repaint);
    repaint = false;
    int key = t.ReadKey(kModalWaitMs);
    switch (key) {
      case kNoKey:
        break;
      case kKeyLeft:
      case kKeyRight:
      case kKeyTab:
      case kKeyBackTab:
        focus = 1 - focus;
        break;
      case kKeyEnter:
      case ' ':
        return focus == 0;
      case kKeyEscape:
      case 'n':
      case 'N':
        return false;
      case 'o':
      case 'O':
      case 'y':
      case 'Y':
      case 's':
      case 'S':
        return true;
      default:
        if (IsRepaint(key)) repaint = true;
        break;
    }
  }
}

void RunMessageBox(Terminal& t, const Backdrop& backdrop, MessageKind kind, const std::string& text,
                   Lang lang) {
  std::vector<std::string> lines = WrapText(text, kBoxTextWidth);
  std::string title =
      kind == MessageKind::kError ? labels::kError.in(lang) : labels::kInformation.in(lang);
  bool repaint = false;
  for (;;) {
    if (t.TerminationRequested()) return;
    DrawBox(t, backdrop, title, lines, {labels::kOk.in(lang)}, 0, repaint);
    repaint = false;
    int key = t.ReadKey(kModalWaitMs);
    if (key == kKeyEnter || key == kKeyEscape || key == ' ' || key == kKeyF10) return;
    if (IsRepaint(key)) repaint = true;
  }
}

bool ReadTextLines(const std::string& path, size_t max_bytes, std::vector<std::string>* lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0) return false;
  bool cut = static_cast<size_t>(size) > max_bytes;
  std::streamoff start = cut ? size - static_cast<std::streamoff>(max_bytes) : 0;
  in.seekg(start);
  std::string data(static_cast<size_t>(size - start), '\0');
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<size_t>(in.gcount()));
  size_t pos = 0;
  if (cut) {
    // Drop the partial first line.
    size_t nl = data.find('\n');
    pos = nl == std::string::npos ? data.size() : nl + 1;
  }
  lines->clear();
  while (pos < data.size()) {
    size_t nl = data.find('\n', pos);
    size_t end = nl == std::string::npos ? data.size() : nl;
    std::string line = data.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines->push_back(std::move(line));
    pos = end + 1;
  }
  return true;
}

void RunTextViewer(Terminal& t, const Backdrop& backdrop, const std::string& path, Lang lang) {
  std::vector<std::string> lines;
  if (!ReadTextLines(path, kViewerMaxBytes, &lines)) {
    RunMessageBox(t, backdrop, MessageKind::kError,
                  std::string(Text3{"Lecture impossible du fichier ", "Cannot read the file ",
                                    "No se puede leer el fichero "}
                                  .in(lang)) +
                      path,
                  lang);
    return;
  }
  int top = -1;  // -1: start at the end
  int shift = 0;
  bool repaint = false;
  for (;;) {
    if (t.TerminationRequested()) return;
    int page = std::max(1, t.rows() - 2);
    int count = static_cast<int>(lines.size());
    int last_top = std::max(0, count - page);
    if (top < 0 || top > last_top) top = top < 0 ? last_top : last_top;
    t.Clear();
    std::string where = std::to_string(count == 0 ? 0 : top + 1) + "-" +
                        std::to_string(std::min(count, top + page)) + " / " + std::to_string(count);
    DrawTitleBar(t, "KAVELIN2 - " + path, where);
    for (int i = 0; i < page && top + i < count; ++i) {
      std::u32string cps = DecodeUtf8(lines[static_cast<size_t>(top + i)]);
      if (shift > 0) cps.erase(0, std::min(cps.size(), static_cast<size_t>(shift)));
      PutText(t, 1 + i, 0, EncodeUtf8(cps), t.cols());
    }
    DrawKeyLine(t, Text3{"Flèches, Page préc./suiv., Début/Fin : défiler   Échap : fermer",
                         "Arrows, PgUp/PgDn, Home/End: scroll   Esc: close",
                         "Flechas, RePág/AvPág, Inicio/Fin: desplazar   Esc: cerrar"}
                       .in(lang));
    t.SetCursor(-1, -1);
    t.Flush(repaint);
    repaint = false;
    int key = t.ReadKey(kModalWaitMs);
    switch (key) {
      case kNoKey:
        break;
      case kKeyUp:
        top = std::max(0, top - 1);
        break;
      case kKeyDown:
        top = std::min(last_top, top + 1);
        break;
      case kKeyPageUp:
        top = std::max(0, top - page);
        break;
      case kKeyPageDown:
      case ' ':
        top = std::min(last_top, top + page);
        break;
      case kKeyHome:
        top = 0;
        break;
      case kKeyEnd:
        top = last_top;
        break;
      case kKeyLeft:
        shift = std::max(0, shift - 8);
        break;
      case kKeyRight:
        shift += 8;
        break;
      case kKeyEscape:
      case kKeyEnter:
      case kKeyF10:
      case 'q':
      case 'Q':
        return;
      default:
        if (IsRepaint(key)) repaint = true;
        break;
    }
  }
}

}  // namespace kavelin2::uirt::term
