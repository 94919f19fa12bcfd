// The on-line loop. Each pass polls the UI runtime for a stop request, serves
// the schedule and the clock display, then reads at most one byte from each
// served line. Instead of sleeping or spinning it blocks on the served lines
// until a byte comes or the next thing that can happen is due.
#include <algorithm>
#include <cstring>
#include <string>

#include "display/station_text.h"
#include "exchange/exchange.h"
#include "exchange/supervision.h"
#include "line/line.h"
#include "online/online.h"
#include "online/service_notify.h"
#include "platform/clock.h"
#include "platform/device_path.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

// Idle lines are looked at this often even when nothing arrives.
constexpr int32_t kIdleWaitMs = 100;
// The displayed second changes about once a second; when it is late, look again after this.
constexpr int32_t kClockRecheckMs = 10;
// A lost device is looked for again after this, then after twice as long
// each time it is still missing, up to every kReopenMaxMs.
constexpr int32_t kReopenFirstMs = 1000;
constexpr int32_t kReopenMaxMs = 10000;

bool BothLinesIdle(const Station& st) {
  return st.LineTable[0].LinePhase == kPhaseNone && st.LineTable[1].LinePhase == kPhaseNone;
}

// Loop-wide values kept across passes.
struct LoopState {
  int first = 0;  // served lines: [first, end)
  int end = 0;
  char shown_time[9] = {};  // last clock text shown; nothing shown at entry
  Deadline next_second;     // when the shown second is due to change
  int due_kind = 0;         // 0 none, 2 program D, 3 program C
};

// Refreshes the clock in the station window when its text changed.
void ShowClock(Station& st, LoopState& loop, const char now_text[9]) {
  if (std::memcmp(now_text, loop.shown_time, 8) == 0) return;
  st.ui.UiCall("AFFICHE, HEURE,=%s", now_text);
  std::memcpy(loop.shown_time, now_text, sizeof loop.shown_time);
  loop.next_second = Deadline::After(st.clock.NowMs(), 1000);
}

// One daily entry: clears its launched flag outside its minute, makes |kind|
// due inside it unless it was already launched in that minute.
void CheckEntry(const char now_text[9], char enabled, const char (&time)[5], int32_t* launched,
                int kind, int* due_kind) {
  if (enabled != 'O') return;
  if (std::memcmp(now_text, time, 5) != 0) {
    *launched = 0;
  } else if (*launched == 0) {
    *due_kind = kind;
  }
}

// "COM1 (/dev/ttyUSB0)": the line's port name and the device it names.
std::string DeviceText(const Station& st, int i) {
  const std::string name = PortName(st.Ports.line[i]);
  return name + " (" + DevicePathForPort(name) + ")";
}

// The device of the current line went away: says so once, ends the exchange
// running on it as a failed one, lets the device go (so that its exclusive
// hold ends with it) and plans the first attempt to open it again.
void LoseDevice(Station& st, LineEntry& line) {
  const int n = line.Number();
  std::string reason = line.PortHandle->LostReason();
  if (reason.empty()) reason = "?";
  st.Report(line.index, event::DeviceLost{DeviceText(st, line.index), reason});
  if (line.LinePhase != kPhaseNone) EndLostExchange(st, line, reason);
  line.CloseExchangeFiles();
  line.PortHandle.reset();
  line.ModemStep = 0;
  line.Disconnected = true;
  line.ReopenDelayMs = kReopenFirstMs;
  line.ReopenAt = Deadline::After(st.clock.NowMs(), kReopenFirstMs);
  if (const char* state = Text(st, Msg::kDisconnected)) {
    st.ui.UiCall("AFFICHE, ETAT,%d=%s", n, state);
  }
}

// One attempt to open the lost device of the current line again; the next
// comes later each time, up to kReopenMaxMs.
void TryReopen(Station& st, LineEntry& line) {
  const int n = line.Number();
  if (ReopenLine(st, line.index) == 0) {
    line.ReopenDelayMs = std::min(kReopenMaxMs, std::max(kReopenFirstMs, line.ReopenDelayMs * 2));
    line.ReopenAt = Deadline::After(st.clock.NowMs(), line.ReopenDelayMs);
    return;
  }
  line.Disconnected = false;
  st.Report(line.index, event::DeviceBack{DeviceText(st, line.index)});
  st.ui.UiCall("AFFICHE, ETAT,%d= ", n);
  if (st.Modems.line[line.index].PRESENT == 'O') {
    StartModemInit(st, line);
  } else if (const char* phase = Text(st, Msg::kWaiting)) {
    st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, phase);
  }
}

// Looks after the device of the current line. True when the line has an
// open, initialised port to serve now.
bool DeviceReady(Station& st, LineEntry& line) {
  if (line.PortHandle && line.PortHandle->Lost()) LoseDevice(st, line);
  if (line.Disconnected) {
    if (line.ReopenAt.MsLeft(st.clock.NowMs()) > 0) return false;
    TryReopen(st, line);
    if (line.Disconnected) return false;
  }
  return ContinueModemInit(st, line) != 0;
}

// Blocks until a byte is queued on a served line or the next event is due:
// with both lines idle at most kIdleWaitMs; with a line in an exchange, until
// the nearest deadline of such a line has passed or the displayed second
// is due to change.
void WaitForNextEvent(Station& st, const LoopState& loop) {
  SerialPort* ports[kLineCount] = {};
  size_t count = 0;
  for (int i = loop.first; i < loop.end; ++i) {
    // A modem still being initialised is not read: its answers wait for the
    // purge that ends the initialisation, and must not wake the loop meanwhile.
    if (st.LineTable[i].ModemStep == 0) ports[count++] = st.LineTable[i].PortHandle.get();
  }

  int32_t timeout = kIdleWaitMs;
  if (!BothLinesIdle(st)) {
    int32_t now = st.clock.NowMs();
    int32_t to_next_second = loop.next_second.MsLeft(now);
    timeout = to_next_second > 0 ? to_next_second : kClockRecheckMs;
    for (int i = loop.first; i < loop.end; ++i) {
      const LineEntry& line = st.LineTable[i];
      if (line.LinePhase == kPhaseNone) continue;
      timeout = std::min(timeout, line.LineDeadline.WaitMs(now));
    }
  }
  // A lost device's next attempt, or a reopened modem's next step, is kept
  // to the millisecond.
  const int32_t at = st.clock.NowMs();
  for (int i = loop.first; i < loop.end; ++i) {
    const LineEntry& line = st.LineTable[i];
    if (line.Disconnected) timeout = std::min(timeout, line.ReopenAt.MsLeft(at));
    if (line.ModemStep != 0) timeout = std::min(timeout, line.ModemStepAt.MsLeft(at));
    if (line.StepResumes) timeout = 0;  // only a look at the lines, no wait
  }
  st.serial.WaitForInput(std::span<SerialPort* const>(ports, count), timeout);
}

// Reads at most one byte from the current line and dispatches it, or
// supervises the line's silence.
void ServeLine(Station& st, LineEntry& line) {
  uint8_t byte = 0;
  Io io = Io::kOk;
  if (line.StepResumes) {
    // The station, not the handheld, is the one taking its time.
    line.LineDeadline = Deadline::After(st.clock.NowMs(), kSilenceMs);
    io = ResumeStep(st, line);
  } else if (PollByte(line, &byte)) {
    line.LineDeadline = Deadline::After(st.clock.NowMs(), kSilenceMs);
    if (line.TimeoutCount != 0) {
      st.ui.UiCall("AFFICHE, timeout,%d=  ", line.Number());
      line.TimeoutCount = 0;
    }
    io = DispatchControlByte(st, line, byte);
  } else if (line.LinePhase != kPhaseNone && line.LineDeadline.PassedAt(st.clock.NowMs())) {
    io = HandleTimeout(st, line);
  }
  // A frame the line did not take leaves the handheld without its answer.
  // A lost device is dealt with on the next pass, as a whole.
  if (io == Io::kWriteFailed && line.LinePhase != kPhaseNone) {
    AbortWithError(st, line, FailWhy::kWriteFailure);
  }
}

}  // namespace

int PollLines(Station& st) {
  LoopState loop;
  loop.first = st.Ports.line[0].ACTIVE == 'O' ? 0 : 1;
  loop.end = st.Ports.line[1].ACTIVE == 'O' ? 2 : 1;

  for (;;) {
    // A stop asked while a line is in an exchange is not remembered.
    st.ui.UiCall("ECRAN,SAISIE/NONBLOCANTE");
    NotifyServiceManager(st, st.ui.StatusIs("*P*"));
    if (st.ui.StatusIs("*P*") && BothLinesIdle(st)) return 1;

    if (st.PendingProgram != 0 && BothLinesIdle(st)) {
      RunScheduledProgram(st, st.PendingProgram);
      if (st.Schedule.AVANT == 'O') return 0;
    }

    char now_text[9];
    FormatTimeText(st.clock.LocalTime(), now_text);
    ShowClock(st, loop, now_text);

    // When C and D fall due in the same pass, D is kept; C comes again on a
    // later pass of its minute, since its launched flag is still clear.
    CheckEntry(now_text, st.Schedule.SELC, st.Schedule.HEUREC, &st.ProgCLaunched, 3,
               &loop.due_kind);
    CheckEntry(now_text, st.Schedule.SELD, st.Schedule.HEURED, &st.ProgDLaunched, 2,
               &loop.due_kind);

    // A busy line defers the launch from pass to pass.
    if (loop.due_kind != 0 && BothLinesIdle(st)) {
      RunScheduledProgram(st, loop.due_kind);
      loop.due_kind = 0;
      if (st.Schedule.AVANT == 'O') return 0;
    }

    WaitForNextEvent(st, loop);

    for (int i = loop.first; i < loop.end; ++i) {
      LineEntry& line = st.LineTable[i];
      if (DeviceReady(st, line)) ServeLine(st, line);
    }
    st.ReportPass();
  }
}

}  // namespace kavelin2
