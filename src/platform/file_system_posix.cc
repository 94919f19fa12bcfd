// The file system on POSIX systems: descriptors, fsync of files and of
// directories, flock for locks.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file_system.h"

namespace kavelin2 {
namespace {

// The reason of a failed call in the system's words. strerror_r comes in two
// kinds (GNU: returns the text; XSI: fills the buffer); both are handled.
[[maybe_unused]] const char* ReasonText(int rc, const char* buf) { return rc == 0 ? buf : ""; }
[[maybe_unused]] const char* ReasonText(const char* text, const char*) { return text; }

FsStatus PosixError(const char* operation, const std::string& path, int error) {
  char buf[128] = {};
  return FsError(operation, path, error, ReasonText(strerror_r(error, buf, sizeof buf), buf));
}

// "" names the working directory.
const char* DirName(const std::string& dir) { return dir.empty() ? "." : dir.c_str(); }

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

class PosixFile : public File {
 public:
  PosixFile(std::string path, int fd, FileKind kind)
      : path_(std::move(path)), fd_(fd), kind_(kind) {}
  ~PosixFile() override { Close(); }

  const std::string& path() const override { return path_; }
  FileKind Kind() const override { return kind_; }

  FsStatus Read(void* buf, size_t n, size_t* got) override {
    *got = 0;
    if (fd_ < 0) return Closed("read");
    ssize_t r;
    do {
      r = ::read(fd_, buf, n);
    } while (r < 0 && errno == EINTR);
    if (r < 0) return PosixError("read", path_, errno);
    *got = static_cast<size_t>(r);
    return {};
  }

  FsStatus Write(const void* data, size_t n) override {
    if (fd_ < 0) return Closed("write");
    auto* p = static_cast<const char*>(data);
    while (n > 0) {
      ssize_t w = ::write(fd_, p, n);
      if (w < 0 && errno == EINTR) continue;
      // A write that takes nothing without saying why: the disk is full.
      if (w <= 0) return PosixError("write", path_, w < 0 ? errno : ENOSPC);
      p += w;
      n -= static_cast<size_t>(w);
    }
    return {};
  }

  FsStatus WriteAt(int64_t offset, const void* data, size_t n) override {
    if (fd_ < 0) return Closed("write");
    auto* p = static_cast<const char*>(data);
    while (n > 0) {
      ssize_t w = ::pwrite(fd_, p, n, static_cast<off_t>(offset));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return PosixError("write", path_, w < 0 ? errno : ENOSPC);
      p += w;
      n -= static_cast<size_t>(w);
      offset += w;
    }
    return {};
  }

  FsStatus Seek(int64_t offset) override { return SeekFrom(offset, SEEK_SET); }
  FsStatus Skip(int64_t count) override { return SeekFrom(count, SEEK_CUR); }

  FsStatus Truncate(int64_t size) override {
    if (fd_ < 0) return Closed("truncate");
    int rc;
    do {
      rc = ::ftruncate(fd_, static_cast<off_t>(size));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return PosixError("truncate", path_, errno);
    return {};
  }

  FsStatus Size(int64_t* size) override {
    *size = 0;
    if (fd_ < 0) return Closed("stat");
    struct stat sb;
    if (::fstat(fd_, &sb) != 0) return PosixError("stat", path_, errno);
    *size = static_cast<int64_t>(sb.st_size);
    return {};
  }

  FsStatus Sync() override {
    if (fd_ < 0) return Closed("sync");
    int rc;
    do {
      rc = ::fsync(fd_);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return PosixError("sync", path_, errno);
    return {};
  }

  FsStatus Close() override {
    if (fd_ < 0) return {};
    int fd = fd_;
    fd_ = -1;
    // Not retried on EINTR: on Linux the descriptor is gone either way, and a
    // second close could close a descriptor another thread just opened.
    if (::close(fd) != 0 && errno != EINTR) return PosixError("close", path_, errno);
    return {};
  }

 private:
  FsStatus Closed(const char* operation) const { return FsError(operation, path_, EBADF); }

  FsStatus SeekFrom(int64_t offset, int whence) {
    if (fd_ < 0) return Closed("seek");
    if (::lseek(fd_, static_cast<off_t>(offset), whence) < 0) {
      return PosixError("seek", path_, errno);
    }
    return {};
  }

  std::string path_;
  int fd_;
  FileKind kind_;
};

// The flock of a file or directory, with the descriptor that holds it.
class PosixLock : public FileLock {
 public:
  explicit PosixLock(int fd) : fd_(fd) {}
  ~PosixLock() override { ::close(fd_); }

 private:
  int fd_;
};

// The process holding a flock on the file |sb| describes, from the kernel's
// table of locks ("1: FLOCK  ADVISORY  WRITE 6662 fe:00:247066 0 EOF");
// 0 when it is not listed there.
int FlockHolder(const struct stat& sb) {
  FILE* locks = std::fopen("/proc/locks", "re");
  if (locks == nullptr) return 0;
  char line[256];
  int holder = 0;
  while (holder == 0 && std::fgets(line, sizeof line, locks) != nullptr) {
    char kind[16];
    int pid;
    unsigned major_id, minor_id;
    unsigned long long inode;
    if (std::sscanf(line, "%*d: %15s %*s %*s %d %x:%x:%llu", kind, &pid, &major_id, &minor_id,
                    &inode) == 5 &&
        std::strcmp(kind, "FLOCK") == 0 && major_id == major(sb.st_dev) &&
        minor_id == minor(sb.st_dev) && inode == static_cast<unsigned long long>(sb.st_ino)) {
      holder = pid;
    }
  }
  std::fclose(locks);
  return holder;
}

class PosixFileSystem : public FileSystem {
 public:
  FsStatus Open(const std::string& path, const OpenOptions& options,
                std::unique_ptr<File>* file) override {
    file->reset();
    // Non-blocking, so that a pipe of that name cannot hold up the open;
    // O_NOCTTY, so that a terminal of that name never becomes ours.
    int flags = (options.write ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY;
    if (!options.follow_links) flags |= O_NOFOLLOW;
    int fd = OpenRetrying(path.c_str(), flags);
    if (fd < 0) return PosixError("open", path, errno);
    return Adopt(path, fd, file);
  }

  FsStatus Create(const std::string& path, CreateMode mode, std::unique_ptr<File>* file) override {
    file->reset();
    int flags = O_RDWR | O_CREAT | O_NOCTTY;
    switch (mode) {
      case CreateMode::kExclusive:
        flags |= O_EXCL;  // which also refuses to follow a link
        break;
      case CreateMode::kTruncate:
        flags |= O_TRUNC;
        break;
      case CreateMode::kAppend:
        flags |= O_APPEND;
        break;
    }
    int fd = OpenRetrying(path.c_str(), flags, 0666);
    if (fd < 0) return PosixError("create", path, errno);
    return Adopt(path, fd, file);
  }

  FsStatus Rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) {
      return PosixError("rename", from + " to " + to, errno);
    }
    return {};
  }

  FsStatus Remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) return PosixError("remove", path, errno);
    return {};
  }

  FsStatus SyncDirectory(const std::string& dir) override {
    int fd = OpenRetrying(DirName(dir), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return PosixError("sync directory", DirName(dir), errno);
    int rc;
    do {
      rc = ::fsync(fd);
    } while (rc != 0 && errno == EINTR);
    int error = errno;
    ::close(fd);
    if (rc != 0) return PosixError("sync directory", DirName(dir), error);
    return {};
  }

  FsStatus Stat(const std::string& path, FileInfo* info) override {
    *info = FileInfo{};
    struct stat sb;
    if (::lstat(path.c_str(), &sb) != 0) return Missing(path, errno, info);
    info->link = S_ISLNK(sb.st_mode);
    if (info->link && ::stat(path.c_str(), &sb) != 0) return Missing(path, errno, info);
    info->exists = true;
    info->regular = S_ISREG(sb.st_mode);
    info->directory = S_ISDIR(sb.st_mode);
    if (info->regular) info->size = static_cast<int64_t>(sb.st_size);
    return {};
  }

  FsStatus ListDirectory(const std::string& dir, std::vector<std::string>* names) override {
    names->clear();
    DIR* d = ::opendir(DirName(dir));
    if (d == nullptr) return PosixError("list", DirName(dir), errno);
    for (;;) {
      errno = 0;
      dirent* e = ::readdir(d);
      if (e == nullptr) break;
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
        names->emplace_back(e->d_name);
      }
    }
    int error = errno;
    ::closedir(d);
    if (error != 0) {
      names->clear();
      return PosixError("list", DirName(dir), error);
    }
    std::sort(names->begin(), names->end());
    return {};
  }

  FsStatus MakeDirectory(const std::string& path) override {
    if (::mkdir(path.c_str(), 0777) != 0) return PosixError("make directory", path, errno);
    return {};
  }

  FsStatus Lock(const std::string& path, std::unique_ptr<FileLock>* lock,
                int* holder_pid) override {
    lock->reset();
    if (holder_pid != nullptr) *holder_pid = 0;
    // A directory is locked through a descriptor of its own; anything else
    // is a lock file, made when missing.
    int fd = OpenRetrying(path.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0 && errno == ENOTDIR) fd = OpenRetrying(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0 && errno == ENOENT) fd = OpenRetrying(path.c_str(), O_RDONLY | O_CREAT, 0666);
    if (fd < 0) return PosixError("lock", path, errno);
    int rc;
    do {
      rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      int error = errno == EWOULDBLOCK ? EAGAIN : errno;
      struct stat sb;
      if (error == EAGAIN && holder_pid != nullptr && ::fstat(fd, &sb) == 0) {
        *holder_pid = FlockHolder(sb);
      }
      ::close(fd);
      return PosixError("lock", path, error);
    }
    *lock = std::make_unique<PosixLock>(fd);
    return {};
  }

 private:
  // Nothing at |path| (a dangling link, a link loop included) is no
  // failure; a path the system cannot look into is.
  static FsStatus Missing(const std::string& path, int error, FileInfo* info) {
    if (error != ENOENT && error != ENOTDIR && error != ELOOP) {
      return PosixError("stat", path, error);
    }
    info->missing = error;
    return {};
  }

  static FileKind KindOf(mode_t mode) {
    if (S_ISREG(mode)) return FileKind::kRegular;
    if (S_ISDIR(mode)) return FileKind::kDirectory;
    if (S_ISFIFO(mode)) return FileKind::kFifo;
    if (S_ISCHR(mode)) return FileKind::kCharDevice;
    if (S_ISBLK(mode)) return FileKind::kBlockDevice;
    if (S_ISSOCK(mode)) return FileKind::kSocket;
    return FileKind::kOther;
  }

  // Takes |fd| as |path|'s File, told what it is by the descriptor itself
  // (what stands at the path may have changed since the open). A regular
  // file opened without blocking reads as any other from then on; anything
  // else stays non-blocking, so that a read of it cannot wait either.
  static FsStatus Adopt(const std::string& path, int fd, std::unique_ptr<File>* file) {
    struct stat sb;
    if (::fstat(fd, &sb) != 0) {
      int error = errno;
      ::close(fd);
      return PosixError("stat", path, error);
    }
    const FileKind kind = KindOf(sb.st_mode);
    if (kind == FileKind::kRegular) {
      int flags = ::fcntl(fd, F_GETFL);
      if (flags < 0 ||
          ((flags & O_NONBLOCK) != 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)) {
        int error = errno;
        ::close(fd);
        return PosixError("open", path, error);
      }
    }
    *file = std::make_unique<PosixFile>(path, fd, kind);
    return {};
  }
};

}  // namespace

std::unique_ptr<FileSystem> NewPlatformFileSystem() { return std::make_unique<PosixFileSystem>(); }

}  // namespace kavelin2
