// Settings files on disk: loading at start-up and go-on-line, and the two file
// steps of every dialog.
//
// Files are opened under their plain names in the working directory. A new
// image is written to a temporary file beside the old one, flushed to disk and
// renamed over it, so a crash or a full disk never leaves a settings file
// missing or cut short: the name and the image are the ones of a direct
// rewrite, only the moment the old file disappears changes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/station.h"
#include "config/dialogs.h"
#include "config/settings.h"

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
      // A name read from a file is always terminated inside its field.
      st.CurrentLanguage[kLanguageSize - 1] = 0;
      break;
  }
}

// Opens |name| for reading and writing, as the loaders require. Anything but a
// regular file (a directory, a pipe, a device) counts as unopenable.
int OpenForReadWrite(const char* name) {
  int fd;
  do {
    fd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat sb;
  if (::fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Reads up to the record size in one read over the leading part of the
// record, then closes |fd|. A short file leaves the rest of the record as it
// was; bytes beyond the record are ignored.
void ReadRecord(Station& st, SettingsFile file, int fd) {
  uint8_t data[kLargestImage];
  ssize_t n;
  do {
    n = ::read(fd, data, SettingsFileSize(file));
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  if (n > 0) DecodeRecord(st, file, data, static_cast<size_t>(n));
}

ssize_t WriteAll(int fd, const uint8_t* data, size_t size) {
  ssize_t n;
  do {
    n = ::write(fd, data, size);
  } while (n < 0 && errno == EINTR);
  return n;
}

// Replaces |name| with |size| bytes of |data|. False when the image could not
// be put in place; the old file, if any, is then left as it was.
bool ReplaceFile(const char* name, const uint8_t* data, size_t size) {
  char tmp[64];
  std::snprintf(tmp, sizeof tmp, "%s.XXXXXX", name);
  int fd = ::mkstemp(tmp);  // created readable and writable by its owner
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data, size) == static_cast<ssize_t>(size);
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(tmp, name) == 0;
  if (!ok) {
    ::unlink(tmp);
    return false;
  }
  // Make the rename itself durable.
  int dir = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

bool WriteRecord(const Station& st, SettingsFile file) {
  uint8_t image[kLargestImage];
  EncodeRecord(st, file, image);
  return ReplaceFile(SettingsFileName(file), image, SettingsFileSize(file));
}

using Dialog = void (*)(Station&);

// One loader step: read the file, or remove it and let its dialog re-create it.
void LoadOne(Station& st, SettingsFile file, Dialog dialog) {
  const char* name = SettingsFileName(file);
  int fd = OpenForReadWrite(name);
  if (fd < 0) {
    // unlink, not remove: a directory of that name is never deleted.
    ::unlink(name);
    dialog(st);
    return;
  }
  ReadRecord(st, file, fd);
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

void LoadLanguage(Station& st) { LoadOne(st, SettingsFile::kLanguage, EditLanguage); }

void ReloadOrCreate(Station& st, SettingsFile file) {
  int fd = OpenForReadWrite(SettingsFileName(file));
  if (fd >= 0) {
    ReadRecord(st, file, fd);
    return;
  }
  // The defaults are in force in memory even when the disk refuses them.
  SetDefaults(st, file);
  WriteRecord(st, file);
}

void StoreSettings(Station& st, SettingsFile file) {
  // A failed write is not reported: the values in memory stay in force for
  // this run and the previous file stays intact on disk.
  WriteRecord(st, file);
}

}  // namespace kavelin2
