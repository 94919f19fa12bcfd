#include "platform/settings_file.h"

#include <string>

namespace kavelin2 {

bool ReadSettingsFile(FileSystem& fs, const char* name, uint8_t* data, size_t size, size_t* got) {
  *got = 0;
  std::unique_ptr<File> file;
  // For writing too: a file the dialogs could not rewrite is no settings
  // file. The open never waits on a pipe of that name.
  if (!fs.Open(name, OpenOptions{.write = true}, &file).ok() || !file->IsRegular()) return false;
  size_t n = 0;
  if (file->Read(data, size, &n).ok()) *got = n;
  return true;
}

bool PeekSettingsFile(FileSystem& fs, const char* name, uint8_t* data, size_t size, size_t* got) {
  *got = 0;
  std::unique_ptr<File> file;
  if (!fs.OpenForReading(name, &file).ok() || !file->IsRegular()) return false;
  size_t n = 0;
  if (file->ReadFull(data, size, &n).ok()) *got = n;
  return true;
}

bool ReplaceSettingsFile(FileSystem& fs, const char* name, const uint8_t* data, size_t size) {
  std::unique_ptr<File> file;
  if (!fs.CreateUnique(std::string(name) + ".", &file).ok()) return false;
  const std::string temporary = file->path();
  bool ok = file->Write(data, size).ok() && file->Sync().ok();
  ok = file->Close().ok() && ok;
  // The rename replaces a link of that name instead of writing through it.
  ok = ok && fs.Rename(temporary, name).ok();
  if (!ok) {
    fs.Remove(temporary);
    return false;
  }
  // The rename itself made durable; the new image is in place either way.
  fs.SyncParentDirectory(name);
  return true;
}

void RemoveSettingsFile(FileSystem& fs, const char* name) { fs.Remove(name); }

}  // namespace kavelin2
