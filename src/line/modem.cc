// Modem initialisation: a reset and the line's own command, sent blind; the
// answers are dropped by the purge that ends it.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "line/line.h"
#include "platform/clock.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

bool LanguageIs(const Station& st, const char* name) {
  return std::strncmp(st.CurrentLanguage, name, sizeof st.CurrentLanguage) == 0;
}

// Sends |text| as an unchecked frame of the current line.
void SendCommand(Station& st, const char* text, size_t length) {
  LineEntry& line = st.Line();
  length = std::min(length, kFrameBufferSize);
  std::memcpy(line.FrameBuffer, text, length);
  line.FrameChecked = 0;
  line.FrameLength = static_cast<int32_t>(length);
  SendFrame(st);
}

void ShowWaiting(Station& st, int number) {
  if (LanguageIs(st, "Francais")) st.ui.UiCall("AFFICHE, PHASE,%d=ATTENTE", number);
  if (LanguageIs(st, "Anglais")) st.ui.UiCall("AFFICHE, PHASE,%d=WAITING", number);
  if (LanguageIs(st, "Espagnol")) st.ui.UiCall("AFFICHE, PHASE,%d=ESPERA", number);
}

constexpr int32_t kResetPauseMs = 3000;
constexpr int32_t kCommandPauseMs = 1000;

}  // namespace

void StartModemInit(Station& st) {
  LineEntry& line = st.Line();
  st.ui.UiCall("AFFICHE, PHASE,%d=MODEM", st.LineNumber());
  SendCommand(st, "ATZ\r", 4);
  line.ModemStep = 1;
  line.ModemStepAt = Deadline::After(st.clock.NowMs(), kResetPauseMs);
}

int ContinueModemInit(Station& st) {
  LineEntry& line = st.Line();
  if (line.ModemStep == 0) return 1;
  if (line.ModemStepAt.MsLeft(st.clock.NowMs()) > 0) return 0;
  const ModemEntry& modem = st.Modems.line[st.CurrentLine];
  size_t length = strnlen(modem.MODEM, sizeof modem.MODEM);
  if (line.ModemStep == 1 && length > 0) {
    char command[sizeof modem.MODEM + 2];
    std::snprintf(command, sizeof command, "%.*s\r", static_cast<int>(length), modem.MODEM);
    SendCommand(st, command, length + 1);
    line.ModemStep = 2;
    line.ModemStepAt = Deadline::After(st.clock.NowMs(), kCommandPauseMs);
    return 0;
  }
  line.ModemStep = 0;
  ShowWaiting(st, st.LineNumber());
  PurgeLine(st, st.CurrentLine);
  return 1;
}

void InitModems(Station& st) {
  for (int i = 0; i < kLineCount; ++i) {
    if (st.Ports.line[i].ACTIVE != 'O') continue;  // its inactive phase is already shown
    const ModemEntry& modem = st.Modems.line[i];
    if (modem.PRESENT == 'O') {
      st.ui.UiCall("AFFICHE, PHASE,%d=MODEM", i + 1);
      st.CurrentLine = i;
      SendCommand(st, "ATZ\r", 4);
      st.clock.SleepMs(3000);
      // MODEM may fill its 31 bytes without a terminator.
      size_t length = strnlen(modem.MODEM, sizeof modem.MODEM);
      if (length > 0) {
        char command[sizeof modem.MODEM + 2];
        std::snprintf(command, sizeof command, "%.*s\r", static_cast<int>(length), modem.MODEM);
        SendCommand(st, command, length + 1);
        st.clock.SleepMs(1000);
      }
    }
    ShowWaiting(st, i + 1);
    PurgeLine(st, i);
  }
  st.CurrentLine = 0;
}

}  // namespace kavelin2
