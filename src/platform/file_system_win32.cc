// The file system on Windows: file handles, FlushFileBuffers for data,
// renames written through to the disk, LockFileEx for locks.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/file_system.h"

namespace kavelin2 {
namespace {

// The errno-like code of a Windows error.
int ErrnoFor(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_LOCK_VIOLATION:
      return EAGAIN;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    default:
      return EIO;
  }
}

// The failure of |operation| on |path| with the Windows |error|, in the
// system's words ("The system cannot find the file specified.").
FsStatus WindowsError(const char* operation, const std::string& path, DWORD error) {
  char buf[256] = {};
  DWORD n =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buf, sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\r' || buf[n - 1] == '\n' || buf[n - 1] == ' ')) buf[--n] = 0;
  std::string reason = n > 0 ? std::string(buf, n) : "Windows error " + std::to_string(error);
  return FsError(operation, path, ErrnoFor(error), reason);
}

FsStatus LastError(const char* operation, const std::string& path) {
  return WindowsError(operation, path, GetLastError());
}

// "" names the working directory.
std::string DirName(const std::string& dir) { return dir.empty() ? "." : dir; }

// Every file is opened sharing all three rights, as POSIX descriptors do: a
// held file can still be read, renamed over, renamed or removed (the station
// renames a received file into place while it still holds it). Handles are
// never inherited by a started program.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Win32File : public File {
 public:
  Win32File(std::string path, HANDLE h, FileKind kind, bool append)
      : path_(std::move(path)), h_(h), kind_(kind), append_(append) {}
  ~Win32File() override { Close(); }

  const std::string& path() const override { return path_; }
  FileKind Kind() const override { return kind_; }

  FsStatus Read(void* buf, size_t n, size_t* got) override {
    *got = 0;
    if (h_ == INVALID_HANDLE_VALUE) return Closed("read");
    DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
    DWORD r = 0;
    if (!ReadFile(h_, buf, want, &r, nullptr)) {
      // The writing end of a pipe gone is its end of file.
      if (GetLastError() == ERROR_BROKEN_PIPE) return {};
      return LastError("read", path_);
    }
    *got = r;
    return {};
  }

  FsStatus Write(const void* data, size_t n) override {
    if (h_ == INVALID_HANDLE_VALUE) return Closed("write");
    // Appending is done by moving to the end before each write: the station
    // is the only writer of the files it appends to.
    if (append_) {
      LARGE_INTEGER zero{};
      if (!SetFilePointerEx(h_, zero, nullptr, FILE_END)) return LastError("write", path_);
    }
    return WriteAll(data, n, nullptr);
  }

  FsStatus WriteAt(int64_t offset, const void* data, size_t n) override {
    if (h_ == INVALID_HANDLE_VALUE) return Closed("write");
    // A write with an offset moves the pointer of a synchronous handle;
    // POSIX pwrite does not, so it is put back.
    LARGE_INTEGER zero{}, here{};
    if (!SetFilePointerEx(h_, zero, &here, FILE_CURRENT)) return LastError("write", path_);
    FsStatus s = WriteAll(data, n, &offset);
    if (!SetFilePointerEx(h_, here, nullptr, FILE_BEGIN) && s.ok()) s = LastError("write", path_);
    return s;
  }

  FsStatus Seek(int64_t offset) override { return MoveTo(offset, FILE_BEGIN); }
  FsStatus Skip(int64_t count) override { return MoveTo(count, FILE_CURRENT); }

  FsStatus Truncate(int64_t size) override {
    if (h_ == INVALID_HANDLE_VALUE) return Closed("truncate");
    FILE_END_OF_FILE_INFO eof{};
    eof.EndOfFile.QuadPart = size;
    if (!SetFileInformationByHandle(h_, FileEndOfFileInfo, &eof, sizeof eof)) {
      return LastError("truncate", path_);
    }
    return {};
  }

  FsStatus Size(int64_t* size) override {
    *size = 0;
    if (h_ == INVALID_HANDLE_VALUE) return Closed("stat");
    LARGE_INTEGER s{};
    if (!GetFileSizeEx(h_, &s)) return LastError("stat", path_);
    *size = s.QuadPart;
    return {};
  }

  FsStatus Sync() override {
    if (h_ == INVALID_HANDLE_VALUE) return Closed("sync");
    if (!FlushFileBuffers(h_)) return LastError("sync", path_);
    return {};
  }

  FsStatus Close() override {
    if (h_ == INVALID_HANDLE_VALUE) return {};
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(h)) return LastError("close", path_);
    return {};
  }

 private:
  FsStatus Closed(const char* operation) const { return FsError(operation, path_, EBADF); }

  FsStatus MoveTo(int64_t offset, DWORD method) {
    if (h_ == INVALID_HANDLE_VALUE) return Closed("seek");
    LARGE_INTEGER to{};
    to.QuadPart = offset;
    if (!SetFilePointerEx(h_, to, nullptr, method)) return LastError("seek", path_);
    return {};
  }

  // Writes all of |data| at the pointer, or at *offset when given.
  FsStatus WriteAll(const void* data, size_t n, int64_t* offset) {
    auto* p = static_cast<const char*>(data);
    while (n > 0) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
      OVERLAPPED at{};
      if (offset != nullptr) {
        at.Offset = static_cast<DWORD>(static_cast<uint64_t>(*offset) & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(*offset) >> 32);
      }
      DWORD w = 0;
      if (!WriteFile(h_, p, chunk, &w, offset != nullptr ? &at : nullptr)) {
        return LastError("write", path_);
      }
      if (w == 0) return FsError("write", path_, ENOSPC);
      p += w;
      n -= w;
      if (offset != nullptr) *offset += w;
    }
    return {};
  }

  std::string path_;
  HANDLE h_;
  FileKind kind_;
  bool append_;
};

// A byte range locked far beyond any data, so that the pid written at the
// start of the lock file stays readable by those refused.
constexpr DWORD kLockedOffsetHigh = 0x7FFFFFFF;

class Win32Lock : public FileLock {
 public:
  explicit Win32Lock(HANDLE h) : h_(h) {}
  ~Win32Lock() override {
    OVERLAPPED at{};
    at.OffsetHigh = kLockedOffsetHigh;
    UnlockFileEx(h_, 0, 1, 0, &at);
    CloseHandle(h_);
  }

 private:
  HANDLE h_;
};

class Win32FileSystem : public FileSystem {
 public:
  FsStatus Open(const std::string& path, const OpenOptions& options,
                std::unique_ptr<File>* file) override {
    file->reset();
    DWORD access = GENERIC_READ | (options.write ? GENERIC_WRITE : 0);
    HANDLE h = CreateFileA(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      // A directory cannot be opened as a file: Windows says "access
      // denied", which would read as a question of rights.
      DWORD error = GetLastError();
      DWORD attributes = GetFileAttributesA(path.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return FsError("open", path, EISDIR);
      }
      return WindowsError("open", path, error);
    }
    return Adopt(path, h, false, file);
  }

  FsStatus Create(const std::string& path, CreateMode mode, std::unique_ptr<File>* file) override {
    file->reset();
    DWORD disposition = CREATE_NEW;
    if (mode == CreateMode::kTruncate) disposition = CREATE_ALWAYS;
    if (mode == CreateMode::kAppend) disposition = OPEN_ALWAYS;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastError("create", path);
    return Adopt(path, h, mode == CreateMode::kAppend, file);
  }

  FsStatus Rename(const std::string& from, const std::string& to) override {
    // Written through: the rename is on the disk when the call returns,
    // which is what a directory sync gives on POSIX.
    if (!MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return LastError("rename", from + " to " + to);
    }
    return {};
  }

  FsStatus Remove(const std::string& path) override {
    if (!DeleteFileA(path.c_str())) {
      DWORD error = GetLastError();
      DWORD attributes = GetFileAttributesA(path.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return FsError("remove", path, EISDIR);
      }
      return WindowsError("remove", path, error);
    }
    return {};
  }

  // A directory cannot be flushed on Windows, and needs not be: names are
  // put in place by renames written through.
  FsStatus SyncDirectory(const std::string& /*dir*/) override { return {}; }

  FsStatus Stat(const std::string& path, FileInfo* info) override {
    *info = FileInfo{};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
      DWORD error = GetLastError();
      if (ErrnoFor(error) != ENOENT && ErrnoFor(error) != ENOTDIR) {
        return WindowsError("stat", path, error);
      }
      info->missing = ErrnoFor(error);
      return {};
    }
    info->exists = true;
    info->directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info->regular = !info->directory && (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
    if (info->regular) {
      info->size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                        data.nFileSizeLow);
    }
    return {};
  }

  FsStatus ListDirectory(const std::string& dir, std::vector<std::string>* names) override {
    names->clear();
    std::string pattern = DirName(dir) + "\\*";
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(pattern.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      // An empty drive root has no entry at all.
      if (error == ERROR_FILE_NOT_FOUND) return {};
      return WindowsError("list", DirName(dir), error);
    }
    do {
      std::string name = found.cFileName;
      if (name != "." && name != "..") names->push_back(std::move(name));
    } while (FindNextFileA(h, &found));
    DWORD error = GetLastError();
    FindClose(h);
    if (error != ERROR_NO_MORE_FILES) {
      names->clear();
      return WindowsError("list", DirName(dir), error);
    }
    std::sort(names->begin(), names->end());
    return {};
  }

  FsStatus MakeDirectory(const std::string& path) override {
    if (!CreateDirectoryA(path.c_str(), nullptr)) return LastError("make directory", path);
    return {};
  }

  FsStatus Lock(const std::string& path, std::unique_ptr<FileLock>* lock,
                int* holder_pid) override {
    lock->reset();
    if (holder_pid != nullptr) *holder_pid = 0;
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      // LockFileEx locks bytes of a file: a directory is locked through a
      // file inside it.
      return FsError("lock", path, EISDIR, "a directory cannot be locked on Windows");
    }
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastError("lock", path);
    OVERLAPPED at{};
    at.OffsetHigh = kLockedOffsetHigh;
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
      DWORD error = GetLastError();
      if (holder_pid != nullptr) *holder_pid = ReadPid(h);
      CloseHandle(h);
      return WindowsError("lock", path, error);
    }
    // The holder's pid, for the next one refused.
    char text[16];
    int n = std::snprintf(text, sizeof text, "%lu\n", GetCurrentProcessId());
    DWORD w = 0;
    FILE_END_OF_FILE_INFO eof{};
    SetFileInformationByHandle(h, FileEndOfFileInfo, &eof, sizeof eof);
    WriteFile(h, text, static_cast<DWORD>(n), &w, nullptr);
    *lock = std::make_unique<Win32Lock>(h);
    return {};
  }

 private:
  static FsStatus Adopt(const std::string& path, HANDLE h, bool append,
                        std::unique_ptr<File>* file) {
    // Told by the handle: a device name (CON, COM1) or a named pipe opens
    // as a file would, and is no file to send or keep.
    BY_HANDLE_FILE_INFORMATION info;
    FileKind kind = FileKind::kOther;
    switch (GetFileType(h)) {
      case FILE_TYPE_DISK:
        if (GetFileInformationByHandle(h, &info)) {
          if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            kind = FileKind::kDirectory;
          } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0) {
            kind = FileKind::kRegular;
          }
        }
        break;
      case FILE_TYPE_CHAR:
        kind = FileKind::kCharDevice;
        break;
      case FILE_TYPE_PIPE:
        kind = FileKind::kFifo;
        break;
      default:
        break;
    }
    *file = std::make_unique<Win32File>(path, h, kind, append);
    return {};
  }

  // The pid at the start of a held lock file; 0 when there is none.
  static int ReadPid(HANDLE h) {
    char text[16] = {};
    DWORD r = 0;
    OVERLAPPED at{};
    if (!ReadFile(h, text, sizeof text - 1, &r, &at)) return 0;
    return std::atoi(text);
  }
};

}  // namespace

std::unique_ptr<FileSystem> NewPlatformFileSystem() { return std::make_unique<Win32FileSystem>(); }

}  // namespace kavelin2
