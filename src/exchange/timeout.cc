// Time-outs, refusals and the end of a running exchange.
#include <cerrno>
#include <cstring>

#include "display/station_text.h"
#include "exchange/supervision.h"
#include "line/line.h"
#include "platform/clock.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

constexpr int kToleratedInARow = 10;
constexpr int32_t kDeleteRetryMs = 2000;
constexpr int32_t kDeleteRetryPauseMs = 50;

// Ends the exchange with a failure. The table file goes with a failed
// exchange only when the options say so and this exchange named it itself:
// TablePath may still name the table of an earlier exchange on the line.
void EndFailedExchange(Station& st, LineEntry& line, ExchangeResult result, FailWhy why,
                       const std::string& detail) {
  SendByte(st, line, EOT);  // a courtesy: the exchange ends whatever becomes of it
  line.CloseExchangeFiles();
  DiscardReceivedFile(st, line);
  // The table goes before the result is written: whoever reads STAT.TXT
  // finds the exchange's files already as they will stay.
  if (line.ReachedDownloadStart && st.Options.SUP_TAB == 'O' && st.Options.PORTABLE == 'O') {
    st.fs.Remove(line.TablePath);
  }
  EndExchange(st, line, result, why, detail);
}

}  // namespace

Io EndOfRead(Station& st, LineEntry& line, Io io) {
  return io == Io::kTimeout ? HandleTimeout(st, line) : io == Io::kReadFailed ? Io::kOk : io;
}

Io HandleTimeout(Station& st, LineEntry& line) {
  const int n = line.Number();
  line.LineDeadline = Deadline::After(st.clock.NowMs(), kSilenceMs);
  ++line.TimeoutCount;
  if (line.TimeoutCount <= kToleratedInARow) {
    st.ui.UiCall("AFFICHE, timeout,%d=%d", n, line.TimeoutCount);
    // In the upload states the handheld is the sender and retries by itself.
    char s = line.LineState;
    if (s != kStateReceiving && s != kStateUploadOpen && s != kStateHeaderAccepted) {
      return SendByte(st, line, ENQ);
    }
    return Io::kOk;
  }
  if (const char* phase = Text(st, Msg::kWaiting)) {
    st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, phase);
  }
  st.ui.UiCall("AFFICHE, ETAT,%d=%s", n, Text(st, Msg::kTimeoutState));
  EndFailedExchange(st, line, ExchangeResult::kTimeout, FailWhy::kTimeouts, {});
  return Io::kOk;
}

Io HandleNak(Station& st, LineEntry& line) {
  ++line.NakCount;
  if (line.NakCount <= kToleratedInARow)
    return SendFrame(st, line);  // the frame still in the buffer
  AbortWithError(st, line, FailWhy::kNaks);
  return Io::kOk;
}

void AbortWithError(Station& st, LineEntry& line, FailWhy why, const std::string& detail) {
  const int n = line.Number();
  const char* state = Text(st, Msg::kErrorState);
  const char* phase = Text(st, Msg::kWaiting);
  if (state != nullptr && phase != nullptr) {
    st.ui.UiCall("AFFICHE, ETAT,%d=%s", n, state);
    st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, phase);
  }
  EndFailedExchange(st, line, ExchangeResult::kError, why, detail);
}

void EndLostExchange(Station& st, LineEntry& line, const std::string& reason) {
  EndFailedExchange(st, line, ExchangeResult::kError, FailWhy::kDeviceLost, reason);
}

void DiscardReceivedFile(Station& st, LineEntry& line) {
  if (line.RecvFilePath[0] == 0) return;
  const Deadline deadline = Deadline::After(st.clock.NowMs(), kDeleteRetryMs);
  for (;;) {
    // A file that is already gone needs no deleting and no record.
    FsStatus removed = st.fs.Remove(line.RecvFilePath);
    if (removed.ok() || removed.code() == ENOENT) return;
    if (deadline.PassedAt(st.clock.NowMs())) break;
    // Whatever holds the file may let go: try again shortly, without spinning.
    st.clock.SleepMs(kDeleteRetryPauseMs);
  }
  st.Report(line.index, event::UploadLeftOnDisk{line.RecvFilePath, line.UploadName});
}

void EndExchange(Station& st, LineEntry& line, ExchangeResult result, FailWhy why,
                 const std::string& detail) {
  const int64_t elapsed = st.clock.NowSeconds() - line.ExchangeStart;
  // Files of the exchange still open are of no further use.
  line.CloseExchangeFiles();
  st.Report(line.index, event::ExchangeEnded{result, why, detail, elapsed});

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
  line.EndOfFileAccepted = false;

  if (st.Schedule.SELFIN == 'O') st.PendingProgram = 1;
  PurgeLine(st, line.index);
}

}  // namespace kavelin2
