// Modem initialisation: a reset and the line's own command, sent blind; the
// answers are dropped by the purge that ends it.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "display/station_text.h"
#include "line/line.h"
#include "platform/clock.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

// Sends |text| as an unchecked frame of the current line.
void SendCommand(Station& st, LineEntry& line, const char* text, size_t length) {
  length = std::min(length, kFrameBufferSize);
  std::memcpy(line.FrameBuffer, text, length);
  line.FrameChecked = 0;
  line.FrameLength = static_cast<int32_t>(length);
  SendFrame(st, line);
}

void ShowWaiting(Station& st, int number) {
  if (const char* phase = Text(st, Msg::kWaiting)) {
    st.ui.UiCall("AFFICHE, PHASE,%d=%s", number, phase);
  }
}

constexpr int32_t kResetPauseMs = 3000;
constexpr int32_t kCommandPauseMs = 1000;

}  // namespace

void StartModemInit(Station& st, LineEntry& line) {
  st.ui.UiCall("AFFICHE, PHASE,%d=%s", line.Number(), Text(st, Msg::kModem));
  SendCommand(st, line, "ATZ\r", 4);
  line.ModemStep = 1;
  line.ModemStepAt = Deadline::After(st.clock.NowMs(), kResetPauseMs);
}

int ContinueModemInit(Station& st, LineEntry& line) {
  if (line.ModemStep == 0) return 1;
  if (line.ModemStepAt.MsLeft(st.clock.NowMs()) > 0) return 0;
  const ModemEntry& modem = st.Modems.line[line.index];
  size_t length = strnlen(modem.MODEM, sizeof modem.MODEM);
  if (line.ModemStep == 1 && length > 0) {
    char command[sizeof modem.MODEM + 2];
    std::snprintf(command, sizeof command, "%.*s\r", static_cast<int>(length), modem.MODEM);
    SendCommand(st, line, command, length + 1);
    line.ModemStep = 2;
    line.ModemStepAt = Deadline::After(st.clock.NowMs(), kCommandPauseMs);
    return 0;
  }
  line.ModemStep = 0;
  ShowWaiting(st, line.Number());
  PurgeLine(st, line.index);
  return 1;
}

void InitModems(Station& st) {
  for (int i = 0; i < kLineCount; ++i) {
    if (st.Ports.line[i].ACTIVE != 'O') continue;  // its inactive phase is already shown
    const ModemEntry& modem = st.Modems.line[i];
    if (modem.PRESENT == 'O') {
      st.ui.UiCall("AFFICHE, PHASE,%d=%s", i + 1, Text(st, Msg::kModem));
      LineEntry& line = st.LineTable[i];
      SendCommand(st, line, "ATZ\r", 4);
      st.clock.SleepMs(3000);
      // MODEM may fill its 31 bytes without a terminator.
      size_t length = strnlen(modem.MODEM, sizeof modem.MODEM);
      if (length > 0) {
        char command[sizeof modem.MODEM + 2];
        std::snprintf(command, sizeof command, "%.*s\r", static_cast<int>(length), modem.MODEM);
        SendCommand(st, line, command, length + 1);
        st.clock.SleepMs(1000);
      }
    }
    ShowWaiting(st, i + 1);
    PurgeLine(st, i);
  }
}

}  // namespace kavelin2
