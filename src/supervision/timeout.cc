// Time-outs, refusals and aborts of a running exchange.
#include <unistd.h>

#include <cerrno>

#include "link/link.h"
#include "station/clock.h"
#include "station/station.h"
#include "supervision/exchange_log.h"
#include "supervision/records.h"
#include "supervision/supervision.h"

namespace kavelin2 {
namespace {

constexpr int kToleratedInARow = 10;
constexpr int32_t kSilenceMs = 3000;
constexpr int32_t kDeleteRetryMs = 2000;
constexpr int32_t kDeleteRetryPauseMs = 50;

// Ends the exchange with |result|. The table file goes with a failed
// exchange only when the options say so and this exchange named it itself:
// TablePath may still name the table of an earlier exchange on the line.
void EndFailedExchange(Station& st, int result) {
  LineEntry& line = st.Line();
  SendByte(st, EOT);
  line.WriteFailed = false;  // the EOT is a courtesy: the exchange ends anyway
  line.CloseExchangeFiles();
  DiscardReceivedFile(st);
  // The table goes before the result is written: whoever reads STAT.TXT
  // finds the exchange's files already as they will stay.
  if (line.ReachedDownloadStart && st.Options.SUP_TAB == 'O' && st.Options.PORTABLE == 'O') {
    ::unlink(line.TablePath);
  }
  LogResult(st, result);
}

}  // namespace

void HandleTimeout(Station& st) {
  LineEntry& line = st.Line();
  const int n = st.LineNumber();
  line.TimedOut = 1;
  line.LineDeadline = AddMs(st.clock.NowMs(), kSilenceMs);
  ++line.TimeoutCount;
  if (line.TimeoutCount <= kToleratedInARow) {
    st.ui.UiCall("AFFICHE, timeout,%d=%d", n, line.TimeoutCount);
    // In the upload states the handheld is the sender and retries by itself.
    char s = line.LineState;
    if (s != kStateReceiving && s != kStateUploadOpen && s != kStateHeaderAccepted) {
      SendByte(st, ENQ);
    }
    return;
  }
  if (const char* phase = Localized(st, "ATTENTE", "WAITING", "ESPERA")) {
    st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, phase);
  }
  st.ui.UiCall("AFFICHE, ETAT,%d=TIMEOUT", n);
  SetFailReason(st, "11 time-out de suite", "11 time-outs in a row", "11 time-out seguidos");
  EndFailedExchange(st, kResultTimeout);
}

void HandleNak(Station& st) {
  LineEntry& line = st.Line();
  ++line.NakCount;
  if (line.NakCount <= kToleratedInARow) {
    SendFrame(st);  // the frame still in the buffer, unchanged
  } else {
    SetFailReason(st, "11 NAK de suite", "11 NAKs in a row", "11 NAK seguidos");
    AbortWithError(st);
  }
}

void AbortWithError(Station& st) {
  const int n = st.LineNumber();
  // The one failure that comes without a reason of its own: an uploaded file
  // whose size disagrees with its header, or that could not be stored.
  SetFailReason(st, "fichier recu rejete (taille ou disque)",
                "received file rejected (size or disk)",
                "fichero recibido rechazado (tamano o disco)");
  const char* state = Localized(st, "ERREUR", "ERROR", "ERROR");
  const char* phase = Localized(st, "ATTENTE", "WAITING", "ESPERA");
  if (state != nullptr && phase != nullptr) {
    st.ui.UiCall("AFFICHE, ETAT,%d=%s", n, state);
    st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, phase);
  }
  EndFailedExchange(st, kResultError);
}

void DiscardReceivedFile(Station& st) {
  LineEntry& line = st.Line();
  if (line.RecvFilePath[0] == 0) return;
  const int32_t deadline = AddMs(st.clock.NowMs(), kDeleteRetryMs);
  for (;;) {
    // A file that is already gone needs no deleting and no record.
    if (::unlink(line.RecvFilePath) == 0 || errno == ENOENT) return;
    // Retries go on while the clock is still below the deadline.
    if (!DeadlinePassed(st.clock.NowMs(), deadline)) break;
    // Whatever holds the file may let go: try again shortly, without spinning.
    st.clock.SleepMs(kDeleteRetryPauseMs);
  }
  char record[kUnlinkRecordSize];
  BuildUnlinkRecord(line, st.LineNumber(), record);
  AppendRecord(kUnlinkFileName, record, sizeof record);
}

void EndLostExchange(Station& st, const char* reason) {
  SetFailReason(st, "appareil perdu", "device lost", "dispositivo perdido", reason);
  EndFailedExchange(st, kResultError);
}

void EndExchangeOnWriteFailure(Station& st) {
  SetFailReason(st, "echec d'ecriture", "write failure", "fallo de escritura");
  AbortWithError(st);
}

}  // namespace kavelin2
