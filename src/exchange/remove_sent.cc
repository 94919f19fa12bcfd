// Removal of the files a completed download sent: the table file is read
// again line by line, and each line long enough to hold an entry names a
// file of the directory of files to transmit. Only the files this download
// sent whole are removed: one it skipped (missing, unsendable, cut short)
// was never received by the handheld and stays for the next download.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "exchange/exchange.h"
#include "station/station.h"
#include "wire/codec.h"

namespace kavelin2 {
namespace {

constexpr size_t kMaxTableLine = 60;   // bytes of a line, LF included
constexpr size_t kMinNamingLine = 15;  // shorter lines (PD3 lines) name nothing

bool ReadOneByte(int fd, uint8_t* b) {
  for (;;) {
    ssize_t r = ::read(fd, b, 1);
    if (r < 0 && errno == EINTR) continue;
    return r == 1;
  }
}

}  // namespace

void RemoveSentFiles(Station& st) {
  LineEntry& line = st.Line();
  if (line.TableFile >= 0) ::close(line.TableFile);
  line.TableFile = ::open(line.TablePath, O_RDONLY | O_CLOEXEC);
  if (line.TableFile < 0) return;

  uint8_t buffer[64];
  for (;;) {
    if (!ReadOneByte(line.TableFile, &buffer[0])) break;
    size_t stored = 1;
    while (buffer[stored - 1] != '\n' && stored < kMaxTableLine &&
           ReadOneByte(line.TableFile, &buffer[stored])) {
      ++stored;
    }
    if (stored == kMaxTableLine) {
      if (const char* msg = Localized(
              st, "Erreur, Format de la table incorrect \n Taille limitée à 60.",
              "Erreur, Invalid table format \n limited to 60.",
              "Erreur, Formato de la tabla incorrecto \n el tamaño no puede superar los 60.")) {
        st.ui.UiCall("%s", msg);
      }
      break;
    }
    if (stored < kMinNamingLine) continue;
    char name[13];
    std::memcpy(name, buffer, 12);
    name[12] = 0;
    TrimFileName(name);
    // Only files inside the directory of files to transmit are ever removed.
    if (!IsSafeFileName(name)) continue;
    char path[kPathSize];
    std::snprintf(path, sizeof path, "%s%s", st.Paths.TRANS, name);
    bool sent =
        std::find(line.SentFiles.begin(), line.SentFiles.end(), path) != line.SentFiles.end();
    if (sent) ::unlink(path);  // a file already gone is no error
  }
  ::close(line.TableFile);
  line.TableFile = -1;
  line.SentFiles.clear();
}

}  // namespace kavelin2
