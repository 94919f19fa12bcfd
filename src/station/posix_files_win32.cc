// The file calls the Windows C runtime lacks (see posix_files_win32.h).
#include <windows.h>

#include "station/posix_files_win32.h"

int kavelin2_rename_replacing(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : -1;
}
