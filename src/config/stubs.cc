// Placeholders until the configuration subsystem lands. Remove as implemented.
#include "app/station.h"
#include "config/dialogs.h"
#include "config/settings.h"

namespace kavelin2 {
const char* SettingsFileName(SettingsFile) { return ""; }
size_t SettingsFileSize(SettingsFile) { return 0; }
void EncodePortSettings(const PortSettings&, uint8_t*) {}
void DecodePortSettings(const uint8_t*, size_t, PortSettings*) {}
void EncodeModemSettings(const ModemSettings&, uint8_t*) {}
void DecodeModemSettings(const uint8_t*, size_t, ModemSettings*) {}
void EncodePathSettings(const PathSettings&, uint8_t*) {}
void DecodePathSettings(const uint8_t*, size_t, PathSettings*) {}
void EncodeFileOptions(const FileOptions&, uint8_t*) {}
void DecodeFileOptions(const uint8_t*, size_t, FileOptions*) {}
void EncodeScheduleSettings(const ScheduleSettings&, uint8_t*) {}
void DecodeScheduleSettings(const uint8_t*, size_t, ScheduleSettings*) {}
void SetDefaults(Station&, SettingsFile) {}
void LoadSettings(Station&) {}
void LoadSchedule(Station&) {}
void LoadLanguage(Station&) {}
void ReloadOrCreate(Station&, SettingsFile) {}
void StoreSettings(Station&, SettingsFile) {}
void CopyField(char*, size_t, const char*) {}
void EditPortSettings(Station&) {}
void EditModemSettings(Station&) {}
void EditPathSettings(Station&) {}
void EditFileOptions(Station&) {}
void EditSchedule(Station&) {}
void EditLanguage(Station&) {}
bool PickDirectory(Station&, const char*, std::string*) { return false; }
}  // namespace kavelin2
