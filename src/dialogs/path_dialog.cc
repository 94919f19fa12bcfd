// "CHEMIN.WDW" and its directory picker "SELREP.WDW": the four directories.
//
// The window stays open across several inputs: each browse button returns to
// the program, which runs the picker and shows the chosen directory; only
// validation ("*V*") reads the four fields back and stores them.
#include <string>

#include "config/settings.h"
#include "dialogs/dialogs.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

struct PathField {
  char letter;  // middle character of the browse button's status
  const char* name;
  char (PathSettings::*text)[81];
  const char* fr;
  const char* en;
  const char* es;
};

constexpr PathField kFields[] = {
    {'B', "TABLE", &PathSettings::TABLE, "Chemin d'acces aux tables", "Access paths to the tables",
     "Camino de acceso a la tablas"},
    {'R', "RECU", &PathSettings::RECU, "Chemin d'acces aux fichiers recus",
     "Access paths to the received files", "Camino de acceso a los ficheros recibidos"},
    {'T', "TRANS", &PathSettings::TRANS, "Chemin d'acces aux fichiers a transmettre",
     "Access paths to the files to be transmitted",
     "Camino de acceso a los ficheros por transmitir"},
    {'L', "FICLOG", &PathSettings::FICLOG, "Chemin d'acces au fichier d'etat",
     "Access paths to the log file", "Camino de acceso al fichero de estado"},
};

// The directories are prefixes of file names: one typed or picked without
// its final separator would glue the file names to its last component
// ("recu" + "CDE.001" is "recuCDE.001" beside it). An empty text stays empty:
// it is the working directory. A settings file written by other means is
// used as written; only what passes through this dialog is completed. A
// final backslash counts as a separator too: settings brought from a Windows
// station keep theirs, and the Windows build takes either.
std::string WithSeparator(std::string dir) {
  if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
  return dir;
}

const PathField* FieldForLetter(char letter) {
  for (const PathField& f : kFields)
    if (f.letter == letter) return &f;
  return nullptr;
}

void Browse(Station& st, const PathField& f) {
  // With a language other than the three, a browse button does nothing.
  const char* caption = Localized(st, f.fr, f.en, f.es);
  if (caption == nullptr) return;
  std::string chosen;
  if (PickDirectory(st, caption, &chosen)) st.ui.UiCall("AFFICHE, %s,=%s", f.name, chosen.c_str());
}

void Validate(Station& st) {
  st.Paths = PathSettings{};
  for (const PathField& f : kFields) {
    st.ui.UiCall("ECRAN,RECUPERE,%s", f.name);
    std::string dir = WithSeparator(st.ui.UiReply.text);
    // A directory that fills the field leaves no room for the separator:
    // kept as typed rather than cut to another directory.
    if (dir.size() >= sizeof(st.Paths.*f.text)) dir = st.ui.UiReply.text;
    CopyField(st.Paths.*f.text, sizeof(st.Paths.*f.text), dir.c_str());
  }
  StoreSettings(st, SettingsFile::kPaths);
}

}  // namespace

bool PickDirectory(Station& st, const char* caption, std::string* chosen) {
  UiChannel& ui = st.ui;
  ui.UiCall("OUVRE,SELREP.WDW");
  ui.UiCall("WINDOWS,TCOURANT,%s", caption);
  ui.UiCall("ECRAN, SAISIE");
  bool picked = ui.StatusIs("*V*");
  if (picked) {
    ui.UiCall("ECRAN,RECUPERE,REPERTOIRE");
    *chosen = WithSeparator(ui.UiReply.text);
  }
  ui.SetStatus("???");
  ui.UiCall("FERME");
  return picked;
}

void EditPathSettings(Station& st) {
  ReloadOrCreate(st, SettingsFile::kPaths);
  UiChannel& ui = st.ui;
  ui.UiCall("OUVRE,CHEMIN.WDW");
  for (const PathField& f : kFields) ui.UiCall("AFFICHE, %s,=%s", f.name, st.Paths.*f.text);
  do {
    ui.UiCall("ECRAN, SAISIE");
    // A runtime that could not start answers every input at once with "*E*":
    // nobody can act on this window, so leave instead of asking forever.
    if (ui.UiReply.initialised == 0 && ui.StatusIs("*E*")) break;
    char action = ui.UiReply.status[1];
    if (action == 'V') {
      Validate(st);
      ui.SetStatus("*A*");
    } else if (const PathField* f = FieldForLetter(action)) {
      Browse(st, *f);
    }
    // Any other status (the window's escape code...) asks again.
  } while (!ui.StatusIs("*A*"));
  ui.SetStatus("???");
  ui.UiCall("FERME");
}

}  // namespace kavelin2
