// Flushing received files and their directory entries on POSIX systems.
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/durable_file.h"

namespace kavelin2 {

bool SyncFile(int fd) { return fd >= 0 && ::fsync(fd) == 0; }

bool SyncParentDirectory(const char* path) {
  char dir[PATH_MAX];
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) {
    std::snprintf(dir, sizeof dir, ".");
  } else {
    int len = slash == path ? 1 : static_cast<int>(slash - path);
    std::snprintf(dir, sizeof dir, "%.*s", len, path);
  }
  int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace kavelin2
