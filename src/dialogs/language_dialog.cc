// "LANGUE.WDW": the station's language, which is also the UI runtime's.
#include "config/settings.h"
#include "dialogs/dialogs.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

struct Language {
  const char* status;
  const char* name;
  const char* command;
};

// In this window "*A*" means English, not cancel.
constexpr Language kLanguages[] = {
    {"*F*", "Francais", "NATION,5"},
    {"*A*", "Anglais", "NATION,3"},
    {"*E*", "Espagnol", "NATION,7"},
};

}  // namespace

void EditLanguage(Station& st) {
  ReloadOrCreate(st, SettingsFile::kLanguage);
  // Kept (and stored) when the user chooses nothing: it must be a language.
  UseKnownLanguage(st);
  UiChannel& ui = st.ui;
  ui.UiCall("OUVRE,LANGUE.WDW");
  ui.UiCall("ECRAN, SAISIE");
  // "*E*" is also what a runtime that could not start leaves in the status;
  // that is no choice of the user's and must not switch to Spanish.
  if (ui.UiReply.initialised != 0) {
    for (const Language& l : kLanguages) {
      if (!ui.StatusIs(l.status)) continue;
      CopyField(st.CurrentLanguage, sizeof st.CurrentLanguage, l.name);
      ui.UiCall("%s", l.command);
      break;
    }
  }
  // Stored every time, even when nothing was chosen.
  StoreSettings(st, SettingsFile::kLanguage);
  ui.SetStatus("???");
  ui.UiCall("FERME");
}

}  // namespace kavelin2
