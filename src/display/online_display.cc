#include "display/online_display.h"

#include <variant>

#include "journal/records.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

class OnlineDisplay : public EventSink {
 public:
  explicit OnlineDisplay(Station& st) : st_(st) {}

  void OnEvent(const Event& e) override {
    const LineEntry& line = st_.LineTable[e.line];
    const int n = e.line + 1;
    if (std::holds_alternative<event::ExchangeStarted>(e.body)) {
      // A new exchange: the last one's result is no longer what the line shows.
      if (line.LastResult[0] != 0) st_.ui.UiCall("AFFICHE, RESULTAT,%d= ", n);
      return;
    }
    const auto* ended = std::get_if<event::ExchangeEnded>(&e.body);
    if (ended == nullptr) return;
    char elapsed_text[9];
    FormatElapsed(static_cast<long>(ended->elapsed_seconds), elapsed_text);
    st_.ui.UiCall("AFFICHE, TEMPS,%d=%s", n, elapsed_text + 3);  // the screen shows MM'SS
    // Shown until the next exchange starts; a failure shows its reason.
    if (line.LastReason[0] != 0) {
      st_.ui.UiCall("AFFICHE, RESULTAT,%d=%s %s", n, line.LastResult, line.LastReason);
    } else {
      st_.ui.UiCall("AFFICHE, RESULTAT,%d=%s", n, line.LastResult);
    }
    // A failed exchange keeps the state that says how it failed (ERROR,
    // TIMEOUT, disconnected): "END" over it would read as a success.
    const char* state = Localized(st_, "FIN", "END", "FINAL");
    const char* phase = Localized(st_, "ATTENTE", "WAITING", "ESPERA");
    if (state != nullptr && phase != nullptr) {
      if (ended->result == ExchangeResult::kOk) st_.ui.UiCall("AFFICHE, ETAT,%d=%s", n, state);
      st_.ui.UiCall("AFFICHE, PHASE,%d=%s", n, phase);
    }
  }

 private:
  Station& st_;
};

}  // namespace

std::unique_ptr<EventSink> NewOnlineDisplay(Station& st) {
  return std::make_unique<OnlineDisplay>(st);
}

}  // namespace kavelin2
