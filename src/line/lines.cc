// Opening and closing the lines. The configuration is rebuilt from the
// line's PortEntry at every opening, so changes made in the port settings
// dialog take effect the next time the station goes on line.
#include <cstring>
#include <string>

#include "line/line.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

bool LanguageIs(const Station& st, const char* name) {
  return std::strncmp(st.CurrentLanguage, name, sizeof st.CurrentLanguage) == 0;
}

void ShowInactive(Station& st, int number) {
  if (LanguageIs(st, "Francais")) st.ui.UiCall("AFFICHE, PHASE,%d=INACTIF", number);
  if (LanguageIs(st, "Anglais")) st.ui.UiCall("AFFICHE, PHASE,%d=OFF LINE", number);
  if (LanguageIs(st, "Espagnol")) st.ui.UiCall("AFFICHE, PHASE,%d=DESACTIVADO", number);
}

void ShowUnavailable(Station& st, const char* port) {
  if (LanguageIs(st, "Francais")) st.ui.UiCall("ERREUR, Port %s indisponible.", port);
  if (LanguageIs(st, "Anglais")) st.ui.UiCall("ERREUR, Unvailable port %s.", port);
  if (LanguageIs(st, "Espagnol")) st.ui.UiCall("ERREUR, Puerto %s inalienable.", port);
}

void ShowLinkImage(Station& st, int i) {
  st.ui.UiCall("AFFICHE, ETATIMG%d=%s", i + 1,
               st.Modems.line[i].PRESENT == 'O' ? "MODEM.BMP" : "CONNECT.BMP");
}

}  // namespace

int OpenLines(Station& st) {
  for (int i = 0; i < kLineCount; ++i) {
    const PortEntry& entry = st.Ports.line[i];
    if (entry.ACTIVE != 'O') {
      ShowInactive(st, i + 1);
      continue;
    }
    if (ReopenLine(st, i) == 0) {
      const std::string name = PortName(entry);
      ShowUnavailable(st, name.c_str());
      // The box names the port; the log says which device and why.
      const std::string why = st.serial.LastOpenError();
      if (const char* text = Localized(st, "Port %s indisponible: %s", "Unavailable port %s: %s",
                                       "Puerto %s no disponible: %s")) {
        LogEvent(st, text, name.c_str(), why.empty() ? "?" : why.c_str());
      }
      return 0;
    }
  }
  return 1;
}

int ReopenLine(Station& st, int i) {
  if (i < 0 || i >= kLineCount) return 0;
  const PortEntry& entry = st.Ports.line[i];
  LineEntry& line = st.LineTable[i];
  // A handle still open from an earlier period would hold the device and
  // make this opening fail: let it go first.
  line.PortHandle.reset();
  line.PortHandle = st.serial.Open(PortName(entry));
  if (!line.PortHandle) return 0;
  line.Disconnected = false;
  line.ModemStep = 0;
  ShowLinkImage(st, i);
  line.PortHandle->Configure(FormatOf(entry));
  line.PortHandle->Purge();
  return 1;
}

void CloseLines(Station& st) {
  // Every open port, whatever its ACTIVE flag says now: a port left open
  // would stay locked against the next going on line.
  for (LineEntry& line : st.LineTable) {
    if (!line.PortHandle) continue;
    line.PortHandle->Purge();
    line.PortHandle->DropControlLines();
    line.PortHandle.reset();
  }
}

}  // namespace kavelin2
