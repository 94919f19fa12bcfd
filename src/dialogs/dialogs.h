// The settings dialogs. Each reloads (or creates) its file, opens its window,
// fills the fields, waits for the user and, on validation, stores the record.
#pragma once

#include <string>

#include "config/settings.h"

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

// Loaders: open the file by its plain name in the working directory; when it
// cannot be opened for reading and writing, remove it and run its dialog.
void LoadSettings(Station& st);  // ports, modems, paths, file options, then LoadSchedule
void LoadSchedule(Station& st);
void LoadLanguage(Station& st);  // then UseKnownLanguage

// A language the station does not know (empty, another name, no terminator)
// is read as the default, "Francais", with a warning on standard error and in
// the log.
void UseKnownLanguage(Station& st);

// Entry step of every dialog: read the file whole into its record, or
// re-create it with the defaults (memory and disk).
void ReloadOrCreate(Station& st, SettingsFile file);
// For looking only: reads the file over the leading part of its record,
// opened for reading alone, never creating or changing anything. False when
// it cannot be read (the record is then as it was).
bool PeekSettings(Station& st, SettingsFile file);
// Validation step: remove the file, create it afresh, write the record whole.
// (Clearing and filling the record is the dialog's job, field by field.)
// False when the new image could not be put in place (the old file stays).
bool StoreSettings(Station& st, SettingsFile file);

}  // namespace kavelin2
