// Removal of the files a completed download sent: the table file is read
// again line by line, and each line long enough to hold an entry names a
// file of the directory of files to transmit. Only the files this download
// sent whole are removed: one it skipped (missing, unsendable, cut short)
// was never received by the handheld and stays for the next download.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "display/station_text.h"
#include "exchange/exchange.h"
#include "station/station.h"
#include "wire/codec.h"

namespace kavelin2 {
namespace {

constexpr size_t kMaxTableLine = 60;   // bytes of a line, LF included
constexpr size_t kMinNamingLine = 15;  // shorter lines (PD3 lines) name nothing

bool ReadOneByte(File& file, uint8_t* b) {
  size_t got = 0;
  return file.Read(b, 1, &got).ok() && got == 1;
}

}  // namespace

void MakeRemovalDurable(Station& st, const char* path) {
  // A removal is durable only once its directory is: before that a power cut
  // may bring the file back.
  FsStatus synced = st.fs.SyncParentDirectory(path);
  if (!synced.ok()) LogEvent(st, "removal not made durable: %s", synced.text().c_str());
}

void RemoveSentFiles(Station& st, LineEntry& line) {
  line.TableFile.reset();
  std::unique_ptr<File> opened;
  // Opened without waiting and read only when it is still a regular file;
  // read through a buffer, so that a long table costs a read per block and
  // not one per byte.
  if (!st.fs.OpenForReading(line.TablePath, &opened).ok() || !opened->IsRegular()) {
    line.SentFiles.clear();
    return;
  }
  line.TableFile = NewBufferedReader(std::move(opened));
  File& table = *line.TableFile;

  uint8_t buffer[64];
  char removed[kPathSize] = {};  // the last file removed: they share one directory
  for (;;) {
    if (!ReadOneByte(table, &buffer[0])) break;
    size_t stored = 1;
    while (buffer[stored - 1] != '\n' && stored < kMaxTableLine &&
           ReadOneByte(table, &buffer[stored])) {
      ++stored;
    }
    if (stored == kMaxTableLine) {
      if (const char* msg = Text(st, Msg::kTableLineTooLong)) st.ui.UiCall("Erreur, %s", msg);
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
    // A file already gone is no error.
    if (sent && st.fs.Remove(path).ok()) std::memcpy(removed, path, sizeof removed);
  }
  line.TableFile.reset();
  line.SentFiles.clear();
  if (removed[0] != 0) MakeRemovalDurable(st, removed);
}

}  // namespace kavelin2
