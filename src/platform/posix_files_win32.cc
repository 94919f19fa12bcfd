// The file calls the Windows C runtime lacks or makes differently (see
// posix_files_win32.h).
#include "platform/posix_files_win32.h"

#include <windows.h>

#include <cerrno>
#include <cstring>

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
