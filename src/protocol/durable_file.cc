#include "protocol/durable_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

namespace kavelin2 {
namespace {

bool WriteFully(int fd, const uint8_t* data, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, data, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

bool AppendAll(int fd, const uint8_t* data, size_t n) {
  if (fd < 0) return false;
  struct stat sb;
  if (::fstat(fd, &sb) != 0) return false;
  if (WriteFully(fd, data, n)) return true;
  // Nothing of a record that did not go through whole may stay.
  while (::ftruncate(fd, sb.st_size) != 0 && errno == EINTR) {
  }
  return false;
}

bool CopyRest(int from, int to) {
  uint8_t buf[1024];
  for (;;) {
    ssize_t r = ::read(from, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return false;
    if (r == 0) return true;
    if (!WriteFully(to, buf, static_cast<size_t>(r))) return false;
  }
}

}  // namespace kavelin2
