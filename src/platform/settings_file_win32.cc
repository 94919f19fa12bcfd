// Settings file operations on Windows: the same bytes as on POSIX systems.
#include <windows.h>

#include <cstdio>

#include "platform/settings_file.h"

namespace kavelin2 {

bool ReadSettingsFile(const char* name, uint8_t* data, size_t size, size_t* got) {
  *got = 0;
  // Read and write access, as the station opens it; sharing for readers.
  HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  // A directory or a device counts as unopenable.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return false;
  }
  DWORD n = 0;
  DWORD want = size > 0x7fffffff ? 0x7fffffff : static_cast<DWORD>(size);
  if (ReadFile(h, data, want, &n, nullptr)) *got = n;
  CloseHandle(h);
  return true;
}

bool ReplaceSettingsFile(const char* name, const uint8_t* data, size_t size) {
  char tmp[MAX_PATH];
  std::snprintf(tmp, sizeof tmp, "%s.%lu.tmp", name,
                static_cast<unsigned long>(GetCurrentProcessId()));
  HANDLE h =
      CreateFileA(tmp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
  ok = ok && FlushFileBuffers(h);
  ok = CloseHandle(h) && ok;
  // Replaces the old file in one step, and only returns once the new name
  // is on the disk.
  ok = ok && MoveFileExA(tmp, name, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileA(tmp);
  return ok;
}

// DeleteFileA never removes a directory.
void RemoveSettingsFile(const char* name) { DeleteFileA(name); }

}  // namespace kavelin2
