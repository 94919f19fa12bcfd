// The append step: an upload written to the line's temporary file AJOUTFIC.n
// is moved to its final name, or added to the end of the file of that name.
//
// The handheld has its ACK already, so the temporary file may be the only
// copy of the upload: it is removed only once the final file durably holds
// its records. The final file gets all the records or none: the merged file
// is built beside it and renamed over it. When the step cannot complete, the
// temporary file is kept under a name no header can produce (longer than the
// 12 characters of a name field), and the line's display says so.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "station/station.h"
#include "protocol/durable_file.h"
#include "protocol/protocol.h"
#include "supervision/exchange_log.h"

namespace kavelin2 {
namespace {

bool Exists(const char* path) {
  struct stat sb;
  return ::lstat(path, &sb) == 0;
}

// Writes |final_path| followed by |temp_path| into |merged_path|, durably.
bool BuildMerged(const char* final_path, const char* temp_path, const char* merged_path) {
  ::unlink(merged_path);
  int out = ::open(merged_path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (out < 0) return false;
  bool ok = false;
  int old_part = ::open(final_path, O_RDONLY | O_CLOEXEC);
  int new_part = ::open(temp_path, O_RDONLY | O_CLOEXEC);
  if (old_part >= 0 && new_part >= 0) {
    ok = CopyRest(old_part, out) && CopyRest(new_part, out) && SyncFile(out);
  }
  if (old_part >= 0) ::close(old_part);
  if (new_part >= 0) ::close(new_part);
  if (::close(out) != 0) ok = false;
  if (!ok) ::unlink(merged_path);
  return ok;
}

// Appends the temporary file to the final one, all or nothing. The temporary
// file is removed only after the merged file stands under the final name.
bool AppendToExisting(const char* final_path, const char* temp_path, int line_number,
                      const char* dir) {
  char merged[PATH_MAX];
  int w = std::snprintf(merged, sizeof merged, "%sAJOUTFIC.%d.new", dir, line_number);
  if (w < 0 || static_cast<size_t>(w) >= sizeof merged) return false;
  if (!BuildMerged(final_path, temp_path, merged)) return false;
  if (::rename(merged, final_path) != 0) {
    ::unlink(merged);
    return false;
  }
  // The records now stand under the final name: keeping the temporary file
  // as well would only duplicate them.
  SyncParentDirectory(final_path);
  ::unlink(temp_path);
  return true;
}

// Moves the temporary file to a name of its own so that the next header on
// the line (which empties AJOUTFIC.n) cannot destroy it. Returns the name
// used, or the temporary path when even that failed.
const char* KeepUpload(const char* dir, const char* upload_name, int line_number,
                       const char* temp_path, char (&kept)[PATH_MAX]) {
  for (int i = 1; i <= 9999; ++i) {
    int w = std::snprintf(kept, sizeof kept, "%s%s.%d.%04d", dir, upload_name, line_number, i);
    if (w < 0 || static_cast<size_t>(w) >= sizeof kept) break;
    if (Exists(kept)) continue;
    if (::rename(temp_path, kept) != 0) break;
    SyncParentDirectory(kept);
    return kept;
  }
  return temp_path;
}

const char* BaseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

}  // namespace

void AppendReceivedFile(Station& st) {
  LineEntry& line = st.Line();
  int n = st.LineNumber();
  st.ui.UiCall("AFFICHE, PHASE,%d=AJOUT", n);

  char dir[sizeof st.Paths.RECU];
  std::snprintf(dir, sizeof dir, "%.80s", st.Paths.RECU);
  char temp_path[PATH_MAX];
  std::snprintf(temp_path, sizeof temp_path, "%sAJOUTFIC.%d", dir, n);
  char name[sizeof line.UploadName];
  std::snprintf(name, sizeof name, "%s", line.UploadName);
  int w = std::snprintf(line.RecvFilePath, sizeof line.RecvFilePath, "%s%s", dir, name);

  bool done = false;
  if (w >= 0 && static_cast<size_t>(w) < sizeof line.RecvFilePath) {
    if (!Exists(line.RecvFilePath)) {
      done = ::rename(temp_path, line.RecvFilePath) == 0;
      if (done) SyncParentDirectory(line.RecvFilePath);
    } else {
      done = AppendToExisting(line.RecvFilePath, temp_path, n, dir);
    }
  }
  if (!done && Exists(temp_path)) {
    char kept[PATH_MAX];
    const char* where = KeepUpload(dir, name, n, temp_path, kept);
    // Shown in the line's own fields, so an unattended station does not stop
    // on a message box; the file stays in the received-files directory.
    const char* word = Localized(st, "AJOUT IMPOSSIBLE", "APPEND FAILED", "ANADIDO IMPOSIBLE");
    if (word != nullptr) st.ui.UiCall("AFFICHE, ETAT,%d=%s", n, word);
    st.ui.UiCall("AFFICHE, FICHIER,%d=%s", n, BaseName(where));
    WarnAppendFailed(st, name, BaseName(where));
  }

  line.RecvFilePath[0] = 0;
  const char* phase = Localized(st, "ATTENTE", "WAITING", "ESPERA");
  if (phase != nullptr) st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, phase);
}

}  // namespace kavelin2
