#include "online/online_display.h"

#include <cstdio>
#include <cstring>
#include <variant>

#include "display/station_text.h"
#include "journal/exchange_log.h"
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
      warnings_[e.line] = 0;
      return;
    }
    if (IsWarning(e.body)) {
      ++warnings_[e.line];
      return;
    }
    const auto* ended = std::get_if<event::ExchangeEnded>(&e.body);
    if (ended == nullptr) return;
    // "OK, 2 warnings": a skipped entry must not hide behind a plain OK.
    char result[sizeof line.LastResult + sizeof line.LastReason + 48] = {};
    std::snprintf(result, sizeof result, line.LastReason[0] != 0 ? "%s %s" : "%s", line.LastResult,
                  line.LastReason);
    const int64_t warnings = warnings_[e.line];
    warnings_[e.line] = 0;
    const Language language = LanguageOf(st_);
    if (warnings > 0 && language != Language::kUnknown) {
      std::strncat(result, ", ", sizeof result - std::strlen(result) - 1);
      AppendWarningCount(language, warnings, result, sizeof result);
    }
    char elapsed_text[9];
    FormatElapsed(static_cast<long>(ended->elapsed_seconds), elapsed_text);
    st_.ui.UiCall("AFFICHE, TEMPS,%d=%s", n, elapsed_text + 3);  // the screen shows MM'SS
    // Shown until the next exchange starts; a failure shows its reason.
    st_.ui.UiCall("AFFICHE, RESULTAT,%d=%s", n, result);
    // A failed exchange keeps the state that says how it failed (ERROR,
    // TIMEOUT, disconnected): "END" over it would read as a success.
    const char* state = Text(st_, Msg::kEnd);
    const char* phase = Text(st_, Msg::kWaiting);
    if (state != nullptr && phase != nullptr) {
      if (ended->result == ExchangeResult::kOk) st_.ui.UiCall("AFFICHE, ETAT,%d=%s", n, state);
      st_.ui.UiCall("AFFICHE, PHASE,%d=%s", n, phase);
    }
  }

 private:
  Station& st_;
  int64_t warnings_[kLineCount] = {};  // of the exchange running on each line
};

}  // namespace

std::unique_ptr<EventSink> NewOnlineDisplay(Station& st) {
  return std::make_unique<OnlineDisplay>(st);
}

}  // namespace kavelin2
