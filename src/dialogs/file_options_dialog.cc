// "FICHIERS.WDW": the six file handling options.
#include "config/settings.h"
#include "dialogs/dialogs.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

// The window's order, which is not the file's order.
struct OptionField {
  const char* name;
  char FileOptions::*flag;
};

constexpr OptionField kFields[] = {
    {"SUP_FIC", &FileOptions::SUP_FIC},   {"APPEND", &FileOptions::APPEND},
    {"PORTABLE", &FileOptions::PORTABLE}, {"SUP_TAB", &FileOptions::SUP_TAB},
    {"ADD_CRLF", &FileOptions::ADD_CRLF}, {"DOS", &FileOptions::DOS},
};

}  // namespace

void EditFileOptions(Station& st) {
  ReloadOrCreate(st, SettingsFile::kFileOptions);
  UiChannel& ui = st.ui;
  ui.UiCall("OUVRE,FICHIERS.WDW");
  // This window's fields take no comma before the equals sign.
  for (const OptionField& f : kFields) ui.UiCall("AFFICHE, %s=%c", f.name, st.Options.*f.flag);
  ui.UiCall("ECRAN, SAISIE");
  if (ui.StatusIs("*V*")) {
    st.Options = FileOptions{};
    for (const OptionField& f : kFields) {
      ui.UiCall("ECRAN,RECUPERE,%s", f.name);
      st.Options.*f.flag = ui.UiReply.text[0];
    }
    StoreSettings(st, SettingsFile::kFileOptions);
  }
  ui.SetStatus("???");
  ui.UiCall("FERME");
}

}  // namespace kavelin2
