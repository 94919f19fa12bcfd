// The settings dialogs. Each reloads (or creates) its file, opens its window,
// fills the fields, waits for the user and, on validation, stores the record.
#pragma once

#include <string>

namespace kavelin2 {

struct Station;

void EditPortSettings(Station& st);   // "SERIE.WDW", "CONF_COM.CFG"
void EditModemSettings(Station& st);  // "MODEM.WDW", "CONF_MOD.CFG"
void EditPathSettings(Station& st);   // "CHEMIN.WDW", "CHEMIN.CFG"
void EditFileOptions(Station& st);    // "FICHIERS.WDW", "CONF_FIC.CFG"
void EditSchedule(Station& st);       // "DECONEX.WDW", "HEURE.CFG"
void EditLanguage(Station& st);       // "LANGUE.WDW", "LANGUE.CFG"

// The directory picker "SELREP.WDW": returns true and fills |chosen| when the
// user picked a directory.
bool PickDirectory(Station& st, const char* caption, std::string* chosen);

}  // namespace kavelin2
