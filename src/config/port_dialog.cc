// "SERIE.WDW": the two lines' port, speed, framing and infrared settings.
#include "station/station.h"
#include "config/dialogs.h"
#include "config/settings.h"

namespace kavelin2 {

void EditPortSettings(Station& st) {
  ReloadOrCreate(st, SettingsFile::kPorts);
  UiChannel& ui = st.ui;
  ui.UiCall("OUVRE,SERIE.WDW");
  for (int n = 1; n <= 2; ++n) {
    const PortEntry& e = st.Ports.line[n - 1];
    ui.UiCall("AFFICHE, ACTIVE%d,=%c", n, e.ACTIVE);
    // The window takes the port as its number: the digit of "COMn".
    ui.UiCall("AFFICHE, PORT%d,=%d", n, e.PORT[3] - '0');
    ui.UiCall("AFFICHE, VITESSE%d,=%d", n, e.VITESSE);
    ui.UiCall("AFFICHE, DONNEES%d,=%d", n, e.DONNEES);
    ui.UiCall("AFFICHE, PARITE%d,=%d", n, e.PARITE);
    ui.UiCall("AFFICHE, STOPBIT%d,=%d", n, e.STOPBIT);
    ui.UiCall("AFFICHE, IRDA%d,=%c", n, e.IRDA);
  }
  ui.UiCall("ECRAN, SAISIE");
  if (ui.StatusIs("*V*")) {
    // Entries are overwritten field by field, each right after its fetch.
    const UiReplyRecord& r = ui.UiReply;
    for (int n = 1; n <= 2; ++n) {
      PortEntry& e = st.Ports.line[n - 1];
      ui.UiCall("ECRAN,RECUPERE,ACTIVE%d", n);
      e.ACTIVE = r.text[0];
      // Shown as a number, read back as the device name ("COM3").
      ui.UiCall("ECRAN,RECUPERE,PORT%d", n);
      CopyField(e.PORT, sizeof e.PORT, r.text);
      ui.UiCall("ECRAN,RECUPERE,VITESSE%d", n);
      e.VITESSE = r.intValue;
      ui.UiCall("ECRAN,RECUPERE,DONNEES%d", n);
      e.DONNEES = r.intValue;
      ui.UiCall("ECRAN,RECUPERE,PARITE%d", n);
      e.PARITE = r.intValue;
      ui.UiCall("ECRAN,RECUPERE,STOPBIT%d", n);
      e.STOPBIT = r.intValue;
      ui.UiCall("ECRAN,RECUPERE,IRDA%d", n);
      e.IRDA = r.text[0];
    }
    StoreSettings(st, SettingsFile::kPorts);
  }
  ui.SetStatus("???");
  ui.UiCall("FERME");
}

}  // namespace kavelin2
