// Settings file operations on POSIX systems.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/settings_file.h"

namespace kavelin2 {

bool ReadSettingsFile(const char* name, uint8_t* data, size_t size, size_t* got) {
  *got = 0;
  int fd;
  do {
    // Non-blocking, so that a pipe of that name cannot hold up the open.
    fd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  struct stat sb;
  if (::fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode)) {
    ::close(fd);
    return false;
  }
  ssize_t n;
  do {
    n = ::read(fd, data, size);
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  if (n > 0) *got = static_cast<size_t>(n);
  return true;
}

bool ReplaceSettingsFile(const char* name, const uint8_t* data, size_t size) {
  char tmp[64];
  std::snprintf(tmp, sizeof tmp, "%s.XXXXXX", name);
  int fd = ::mkstemp(tmp);
  if (fd < 0) return false;
  // mkstemp makes the file private; a settings file is an ordinary readable
  // and writable file, so give it the usual mode under the process umask.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ssize_t n;
  do {
    n = ::write(fd, data, size);
  } while (n < 0 && errno == EINTR);
  bool ok = n == static_cast<ssize_t>(size);
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  // rename replaces a link of that name instead of writing through it.
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

void RemoveSettingsFile(const char* name) { ::unlink(name); }

}  // namespace kavelin2
