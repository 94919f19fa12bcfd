// "SERIE.WDW": the two lines' port, speed, framing and infrared settings.
#include <cctype>
#include <string>

#include "config/settings.h"
#include "dialogs/dialogs.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// The window's port field takes a port number for "COMn" and gives back the
// device name "COMn". Any other name ("USB0", "COM12", "ACM0") is shown as
// it is: showing its fourth character as a number would turn "USB0" into
// "COM0" at validation.
std::string ShownPort(const std::string& name) {
  if (name.size() == 4 && name.compare(0, 3, "COM") == 0 && AllDigits(name.substr(3)))
    return name.substr(3);
  return name;
}

// What the field gives back when the user left it as shown.
std::string UneditedFetch(const std::string& shown) {
  return AllDigits(shown) ? "COM" + std::to_string(std::stoi(shown)) : shown;
}

}  // namespace

void EditPortSettings(Station& st) {
  ReloadOrCreate(st, SettingsFile::kPorts);
  UiChannel& ui = st.ui;
  ui.UiCall("OUVRE,SERIE.WDW");
  std::string shown[2];
  for (int n = 1; n <= 2; ++n) {
    const PortEntry& e = st.Ports.line[n - 1];
    shown[n - 1] = ShownPort(PortName(e));
    ui.UiCall("AFFICHE, ACTIVE%d,=%c", n, e.ACTIVE);
    ui.UiCall("AFFICHE, PORT%d,=%s", n, shown[n - 1].c_str());
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
      // Shown as a number or a name, read back as the device name. A name
      // left as shown keeps the stored one byte for byte; a name the station
      // cannot open (other characters, longer than the field) is refused
      // rather than cut into another port's name.
      ui.UiCall("ECRAN,RECUPERE,PORT%d", n);
      std::string fetched = r.text;
      if (fetched != UneditedFetch(shown[n - 1])) {
        if (IsPortName(fetched)) {
          SetPortName(e, fetched);
        } else {
          const char* text = Localized(st, "PORT%d: \"%.40s\" n'est pas un nom de port, %s reste",
                                       "PORT%d: \"%.40s\" is no port name, %s stays",
                                       "PORT%d: \"%.40s\" no es un nombre de puerto, %s queda");
          if (text != nullptr) LogEvent(st, text, n, fetched.c_str(), PortName(e).c_str());
        }
      }
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
