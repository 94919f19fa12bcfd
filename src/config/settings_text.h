// The six settings files as readable text, for editing them without the menu
// ("kavelin2 config"): one "key = value" a line, grouped by file, values in
// words, the allowed values in comments. Reading text back goes through the
// same records and the same file step (StoreSettings) as the dialogs, so the
// files get the same byte images.
#pragma once

#include <string>
#include <vector>

#include "config/settings.h"

namespace kavelin2 {

// The whole text of the records in |st|. A field whose bytes are none of the
// allowed values is shown as "?" and its raw form; that value, given back
// unchanged, keeps the field's bytes as they are.
std::string SettingsText(Settings& st);

// One line of input and where it came from, for the messages.
struct SettingsTextLine {
  int number = 0;
  std::string text;
};

// Checks every line first, then applies them all to the records of |st|:
// returns true and lists the files whose records changed in |changed| (each
// once, in file order). On the first bad line (no "=", an unknown or repeated
// key, a bad value) returns false with a message naming the place (|origin|
// followed by the line number: "site.txt:" gives "site.txt:12"), the key and
// the allowed values, and leaves the records untouched.
// Blank lines and lines starting with '#' are skipped.
bool ApplySettingsText(Settings& st, const std::vector<SettingsTextLine>& lines,
                       const std::string& origin, std::vector<SettingsFile>* changed,
                       std::string* error);

}  // namespace kavelin2
