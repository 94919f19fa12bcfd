// Settings files on disk: loading at start-up and go-on-line, and the two file
// steps of every dialog.
//
// Files are opened under their plain names in the working directory. A new
// image replaces the old file in one step (see ReplaceSettingsFile): the name
// and the bytes are those of a direct rewrite, but a crash or a full disk can
// no longer leave a settings file missing or cut short.
#include <cstdio>
#include <cstring>

#include "config/settings.h"
#include "dialogs/dialogs.h"
#include "display/station_text.h"
#include "platform/settings_file.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

constexpr size_t kLargestImage = kScheduleSettingsSize;

void EncodeRecord(const Station& st, SettingsFile file, uint8_t* out) {
  switch (file) {
    case SettingsFile::kPorts:
      EncodePortSettings(st.Ports, out);
      break;
    case SettingsFile::kModems:
      EncodeModemSettings(st.Modems, out);
      break;
    case SettingsFile::kPaths:
      EncodePathSettings(st.Paths, out);
      break;
    case SettingsFile::kFileOptions:
      EncodeFileOptions(st.Options, out);
      break;
    case SettingsFile::kSchedule:
      EncodeScheduleSettings(st.Schedule, out);
      break;
    case SettingsFile::kLanguage:
      std::memcpy(out, st.CurrentLanguage, kLanguageSize);
      break;
  }
}

void DecodeRecord(Station& st, SettingsFile file, const uint8_t* data, size_t size) {
  switch (file) {
    case SettingsFile::kPorts:
      DecodePortSettings(data, size, &st.Ports);
      break;
    case SettingsFile::kModems:
      DecodeModemSettings(data, size, &st.Modems);
      break;
    case SettingsFile::kPaths:
      DecodePathSettings(data, size, &st.Paths);
      break;
    case SettingsFile::kFileOptions:
      DecodeFileOptions(data, size, &st.Options);
      break;
    case SettingsFile::kSchedule:
      DecodeScheduleSettings(data, size, &st.Schedule);
      break;
    case SettingsFile::kLanguage:
      std::memcpy(st.CurrentLanguage, data, size < kLanguageSize ? size : kLanguageSize);
      // A name that fills its field with no terminator is no name: cutting it
      // at the last byte would turn "EspagnolX" into a language.
      if (std::memchr(st.CurrentLanguage, 0, kLanguageSize) == nullptr)
        std::memset(st.CurrentLanguage, 0, kLanguageSize);
      break;
  }
}

bool WriteRecord(const Station& st, SettingsFile file) {
  uint8_t image[kLargestImage];
  EncodeRecord(st, file, image);
  return ReplaceSettingsFile(st.fs, SettingsFileName(file), image, SettingsFileSize(file));
}

using Dialog = void (*)(Station&);

// Reads the file over the leading part of the record: a short file leaves the
// rest of the record as it was, bytes beyond the record are ignored. False
// when the file cannot be opened for reading and writing.
bool ReadRecord(Station& st, SettingsFile file) {
  uint8_t data[kLargestImage];
  size_t got = 0;
  if (!ReadSettingsFile(st.fs, SettingsFileName(file), data, SettingsFileSize(file), &got)) {
    return false;
  }
  if (got > 0) DecodeRecord(st, file, data, got);
  return true;
}

// One loader step: read the file, or remove it and let its dialog re-create it.
void LoadOne(Station& st, SettingsFile file, Dialog dialog) {
  if (ReadRecord(st, file)) return;
  RemoveSettingsFile(st.fs, SettingsFileName(file));
  dialog(st);
}

}  // namespace

void LoadSettings(Station& st) {
  LoadOne(st, SettingsFile::kPorts, EditPortSettings);
  LoadOne(st, SettingsFile::kModems, EditModemSettings);
  LoadOne(st, SettingsFile::kPaths, EditPathSettings);
  LoadOne(st, SettingsFile::kFileOptions, EditFileOptions);
  LoadSchedule(st);
}

void LoadSchedule(Station& st) { LoadOne(st, SettingsFile::kSchedule, EditSchedule); }

void LoadLanguage(Station& st) {
  LoadOne(st, SettingsFile::kLanguage, EditLanguage);
  UseKnownLanguage(st);
}

void UseKnownLanguage(Station& st) {
  if (IsKnownLanguage(st.CurrentLanguage)) return;
  // Every message, question and answer of the station is chosen by the
  // language: with none of the three the station would ask nothing and wait
  // for answers that never come. The file is left as it is, for its owner
  // to see; the warning comes at every start until it is put right.
  CopyField(st.CurrentLanguage, sizeof st.CurrentLanguage, "Francais");
  std::fprintf(stderr,
               "kavelin2: LANGUE.CFG holds no language the station knows "
               "(Francais, Anglais, Espagnol): using Francais\n");
  std::fflush(stderr);
  LogMessage(st, Msg::kUnknownLanguageSetting);
}

void ReloadOrCreate(Station& st, SettingsFile file) {
  if (ReadRecord(st, file)) return;
  // The defaults are in force in memory even when the disk refuses them.
  SetDefaults(st, file);
  WriteRecord(st, file);
}

bool PeekSettings(Station& st, SettingsFile file) {
  uint8_t data[kLargestImage];
  size_t got = 0;
  if (!PeekSettingsFile(st.fs, SettingsFileName(file), data, SettingsFileSize(file), &got)) {
    return false;
  }
  if (got > 0) DecodeRecord(st, file, data, got);
  return true;
}

bool StoreSettings(Station& st, SettingsFile file) {
  // The dialogs do not report a failed write: the values in memory stay in
  // force for this run and the previous file stays intact on disk.
  return WriteRecord(st, file);
}

}  // namespace kavelin2
