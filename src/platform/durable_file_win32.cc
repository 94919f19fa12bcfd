// Flushing received files on Windows.
#include <io.h>
#include <windows.h>

#include "platform/durable_file.h"

namespace kavelin2 {

// FlushFileBuffers through the runtime's handle: the data is on the disk
// before the station acknowledges the end of a file.
bool SyncFile(int fd) {
  if (fd < 0) return false;
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  return h != INVALID_HANDLE_VALUE && FlushFileBuffers(h) != 0;
}

// A directory cannot be flushed on Windows, and needs not be: names are put
// in place with MoveFileExA(MOVEFILE_WRITE_THROUGH), which returns once the
// rename is on the disk.
bool SyncParentDirectory(const char* /*path*/) { return true; }

}  // namespace kavelin2
