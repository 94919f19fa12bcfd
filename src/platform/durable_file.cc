#include "platform/durable_file.h"

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

bool PathExists(const char* path) {
  struct stat sb;
  return ::lstat(path, &sb) == 0;
}

int64_t RegularFileSize(const char* path) {
  struct stat sb;
  if (::stat(path, &sb) != 0 || !S_ISREG(sb.st_mode)) return -1;
  return static_cast<int64_t>(sb.st_size);
}

bool WriteDurableFile(const char* path, const char* data, size_t n) {
  ::unlink(path);
  // Exclusive creation: never write through a name planted after the unlink.
  int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return false;
  bool ok = WriteFully(fd, reinterpret_cast<const uint8_t*>(data), n) && ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = SyncParentDirectory(path);
  if (!ok) ::unlink(path);
  return ok;
}

bool ReadSmallFile(const char* path, char* buf, size_t cap) {
  if (cap == 0) return false;
  int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  size_t got = 0;
  bool ok = true;
  for (;;) {
    ssize_t r = ::read(fd, buf + got, cap - got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) ok = false;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
    if (got == cap) {
      ok = false;  // too long for what it should hold
      break;
    }
  }
  ::close(fd);
  buf[ok ? got : 0] = 0;
  return ok;
}

bool RenameDurably(const char* from, const char* to) {
  return ::rename(from, to) == 0 && SyncParentDirectory(to);
}

bool RemoveDurably(const char* path) {
  if (::unlink(path) != 0) return errno == ENOENT;
  return SyncParentDirectory(path);
}

namespace {

// Copies up to |limit| bytes (or to the end when |limit| is negative) of
// |from| onto |to|.
bool CopyBytes(int from, int to, int64_t limit) {
  uint8_t buf[16384];
  while (limit != 0) {
    size_t want = sizeof buf;
    if (limit > 0 && static_cast<int64_t>(want) > limit) want = static_cast<size_t>(limit);
    ssize_t r = ::read(from, buf, want);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return false;
    if (r == 0) return limit < 0;
    if (!WriteFully(to, buf, static_cast<size_t>(r))) return false;
    if (limit > 0) limit -= r;
  }
  return true;
}

}  // namespace

bool AppendFileAt(const char* target, int64_t length, const char* source,
                  const std::function<void()>& halfway) {
  if (length < 0) return false;
  int in = ::open(source, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (in < 0) return false;
  int out = ::open(target, O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
  struct stat in_sb, out_sb;
  bool ok = out >= 0 && ::fstat(in, &in_sb) == 0 && ::fstat(out, &out_sb) == 0 &&
            S_ISREG(in_sb.st_mode) && S_ISREG(out_sb.st_mode) && out_sb.st_size >= length;
  if (ok) {
    // Whatever a cut-short earlier attempt left after |length| goes first.
    ok = ::ftruncate(out, static_cast<off_t>(length)) == 0 &&
         ::lseek(out, static_cast<off_t>(length), SEEK_SET) == static_cast<off_t>(length);
    int64_t half = static_cast<int64_t>(in_sb.st_size) / 2;
    if (ok && halfway) {
      ok = CopyBytes(in, out, half) && ::fsync(out) == 0;
      if (ok) halfway();
    }
    ok = ok && CopyBytes(in, out, -1) && ::fsync(out) == 0;
    if (!ok) {
      while (::ftruncate(out, static_cast<off_t>(length)) != 0 && errno == EINTR) {
      }
      ::fsync(out);
    }
  }
  if (out >= 0 && ::close(out) != 0) ok = false;
  ::close(in);
  return ok;
}

}  // namespace kavelin2
