// "MODEM.WDW": modem presence and extra command of each line.
#include "config/settings.h"
#include "dialogs/dialogs.h"
#include "station/station.h"

namespace kavelin2 {

void EditModemSettings(Station& st) {
  ReloadOrCreate(st, SettingsFile::kModems);
  UiChannel& ui = st.ui;
  ui.UiCall("OUVRE,MODEM.WDW");
  for (int n = 1; n <= 2; ++n) {
    const ModemEntry& e = st.Modems.line[n - 1];
    ui.UiCall("AFFICHE, MODEM%d,=%s", n, e.MODEM);
    ui.UiCall("AFFICHE, PRESENT%d,=%c", n, e.PRESENT);
  }
  ui.UiCall("ECRAN, SAISIE");
  if (ui.StatusIs("*V*")) {
    // Cleared first, so every byte behind a command's terminator is zero.
    st.Modems = ModemSettings{};
    const UiReplyRecord& r = ui.UiReply;
    for (int n = 1; n <= 2; ++n) {
      ModemEntry& e = st.Modems.line[n - 1];
      ui.UiCall("ECRAN,RECUPERE,MODEM%d", n);
      CopyField(e.MODEM, sizeof e.MODEM, r.text);
      ui.UiCall("ECRAN,RECUPERE,PRESENT%d", n);
      e.PRESENT = r.text[0];
    }
    StoreSettings(st, SettingsFile::kModems);
  }
  ui.SetStatus("???");
  ui.UiCall("FERME");
}

}  // namespace kavelin2
