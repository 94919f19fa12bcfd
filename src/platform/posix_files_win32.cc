// The file calls the Windows C runtime lacks or makes differently (see
// posix_files_win32.h).
#include "platform/posix_files_win32.h"

#include <windows.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace {

int ErrnoFor(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

}  // namespace

char* mkdtemp(char* templ) {
  size_t n = std::strlen(templ);
  if (n < 6 || std::strcmp(templ + n - 6, "XXXXXX") != 0) {
    errno = EINVAL;
    return nullptr;
  }
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  ULONGLONG seed = GetTickCount64() ^ (static_cast<ULONGLONG>(GetCurrentProcessId()) << 20);
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (size_t i = n - 6; i < n; ++i) {
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
      templ[i] = kLetters[(seed >> 33) % 36];
    }
    if (CreateDirectoryA(templ, nullptr)) return templ;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  errno = EEXIST;
  return nullptr;
}

int kavelin2_rename_replacing(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  errno = ErrnoFor(GetLastError());
  return -1;
}

// open() as POSIX has it: an open file can still be renamed over, renamed
// or removed (the station renames a received file into place while it still
// holds it, and removes sent files that a reader may hold). The runtime's
// own open shares for reading and writing only, so such a rename fails;
// this one also shares for deletion. The descriptor is the runtime's, in
// binary mode unless _O_TEXT is asked for, and never inherited by a started
// program. Replaces the runtime's open in every program linked with it.
extern "C" int open(const char* path, int flags, ...) {
  int mode = 0666;
  if (flags & _O_CREAT) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, int);
    va_end(args);
  }
  DWORD access = 0;
  switch (flags & (_O_RDONLY | _O_WRONLY | _O_RDWR)) {
    case _O_WRONLY:
      access = GENERIC_WRITE;
      break;
    case _O_RDWR:
      access = GENERIC_READ | GENERIC_WRITE;
      break;
    default:
      access = GENERIC_READ;
      break;
  }
  DWORD disposition = OPEN_EXISTING;
  if ((flags & _O_CREAT) && (flags & _O_EXCL)) {
    disposition = CREATE_NEW;
  } else if ((flags & _O_CREAT) && (flags & _O_TRUNC)) {
    disposition = CREATE_ALWAYS;
  } else if (flags & _O_CREAT) {
    disposition = OPEN_ALWAYS;
  } else if (flags & _O_TRUNC) {
    disposition = TRUNCATE_EXISTING;
  }
  DWORD attributes = (mode & _S_IWRITE) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
  HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, disposition, attributes, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    errno = ErrnoFor(GetLastError());
    return -1;
  }
  int crt_flags = (flags & (_O_APPEND | _O_RDONLY | _O_WRONLY | _O_RDWR)) | _O_NOINHERIT;
  crt_flags |= (flags & _O_TEXT) ? _O_TEXT : _O_BINARY;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), crt_flags);
  if (fd < 0) {
    CloseHandle(h);
    errno = EMFILE;
    return -1;
  }
  return fd;
}
