// The end of every exchange: the result record, the line back to idle, the
// end-of-exchange program requested, the input that came after dropped.

#include <cstring>

#include "link/link.h"
#include "station/station.h"
#include "supervision/exchange_log.h"
#include "supervision/records.h"
#include "supervision/supervision.h"

namespace kavelin2 {

void LogResult(Station& st, int result) {
  LineEntry& line = st.Line();
  const int n = st.LineNumber();
  long elapsed = static_cast<long>(st.clock.NowSeconds() - line.ExchangeStart);
  char elapsed_text[9];
  FormatElapsed(elapsed, elapsed_text);
  st.ui.UiCall("AFFICHE, TEMPS,%d=%s", n, elapsed_text + 3);  // the screen shows MM'SS

  char record[kStatRecordSize];
  BuildStatRecord(result, line, n, elapsed, record);
  AppendRecord(kStatFileName, record, sizeof record);  // a lost record is not shown

  // Files of the exchange still open are of no further use.
  line.CloseExchangeFiles();

  LogExchangeSummary(st, result, elapsed);
  // Shown until the next exchange starts; a failure shows its reason.
  if (line.LastReason[0] != 0) {
    st.ui.UiCall("AFFICHE, RESULTAT,%d=%s %s", n, line.LastResult, line.LastReason);
  } else {
    st.ui.UiCall("AFFICHE, RESULTAT,%d=%s", n, line.LastResult);
  }

  std::memset(line.ExchangeDate, 0, sizeof line.ExchangeDate);
  std::memset(line.ExchangeTime, 0, sizeof line.ExchangeTime);
  std::memcpy(line.HandheldId, "???", 4);
  std::memset(line.RecvFilePath, 0, sizeof line.RecvFilePath);
  line.LinePhase = kPhaseNone;
  line.LineState = kStateIdle;
  line.EnqCount = 0;
  // The refusals of this exchange must not shorten the retries of the next:
  // its first NAK may come before any ACK clears the count.
  line.NakCount = 0;
  line.ReachedDownloadStart = false;

  if (st.Schedule.SELFIN == 'O') st.PendingProgram = 1;
  PurgeLine(st, st.CurrentLine);

  // A failed exchange keeps the state that says how it failed (ERROR,
  // TIMEOUT, disconnected): "END" over it would read as a success.
  const char* state = Localized(st, "FIN", "END", "FINAL");
  const char* phase = Localized(st, "ATTENTE", "WAITING", "ESPERA");
  if (state != nullptr && phase != nullptr) {
    if (result == kResultOk) st.ui.UiCall("AFFICHE, ETAT,%d=%s", n, state);
    st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, phase);
  }
}

}  // namespace kavelin2
