// The append step: an upload written to the line's temporary file AJOUTFIC.n
// is moved to its final name, or added to the end of the file of that name.
//
// The handheld may erase its copy once it has our ACK, so before that ACK the
// upload is made durable in AJOUTFIC.n together with an intent record,
// "..AJOUTFIC.n", that names the target and the target's size before the
// append. The merge then writes the upload in place at the end of the target:
// its cost is the upload's size, whatever the target's. A crash at any point
// leaves the intent and the pending upload until they are acted on: recovery
// (every time the station goes on line, and before a header reuses the line's
// temporary file) cuts a half-appended target back to its recorded size and
// appends again, then removes the pending upload, and the intent last.
//
// No header can produce the intent's name: names with ".." are refused. When
// the step cannot complete, the upload is kept under a name no header can
// produce either (longer than the 12 characters of a name field), and the
// line's display and the log say so.
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/station_text.h"
#include "exchange/exchange.h"
#include "platform/crash_point.h"
#include "platform/durable_file.h"
#include "station/station.h"
#include "wire/codec.h"

namespace kavelin2 {
namespace {

// The intent record: the target's name, its size before the append (-1: there
// was no target) and the upload's size, one per line.
struct Intent {
  char name[13] = {};
  int64_t before = -1;
  int64_t size = 0;
};

struct LinePaths {
  char dir[81] = {};
  char pending[PATH_MAX] = {};  // AJOUTFIC.n
  char intent[PATH_MAX] = {};   // ..AJOUTFIC.n
  char done[PATH_MAX] = {};     // ..AJOUTFIC.n.done
};

bool MakeLinePaths(const Station& st, int n, LinePaths* p) {
  std::snprintf(p->dir, sizeof p->dir, "%.80s", st.Paths.RECU);
  int a = std::snprintf(p->pending, sizeof p->pending, "%sAJOUTFIC.%d", p->dir, n);
  int b = std::snprintf(p->intent, sizeof p->intent, "%s..AJOUTFIC.%d", p->dir, n);
  int c = std::snprintf(p->done, sizeof p->done, "%s..AJOUTFIC.%d.done", p->dir, n);
  return a > 0 && b > 0 && c > 0 && static_cast<size_t>(a) < sizeof p->pending &&
         static_cast<size_t>(b) < sizeof p->intent && static_cast<size_t>(c) < sizeof p->done;
}

// CRC-32 (the IEEE polynomial, reflected), the table made once per call: it
// runs at most once per upload.
class Crc32 {
 public:
  Crc32() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table_[i] = c;
    }
  }
  void Add(const uint8_t* data, size_t n) {
    for (size_t i = 0; i < n; ++i) value_ = table_[(value_ ^ data[i]) & 0xFF] ^ (value_ >> 8);
  }
  uint32_t value() const { return ~value_; }

 private:
  uint32_t table_[256];
  uint32_t value_ = 0xFFFFFFFFu;
};

// The CRC-32 of the |size| bytes of |path| from |from|; false when they
// cannot all be read.
bool RangeCrc(FileSystem& fs, const char* path, int64_t from, int64_t size, uint32_t* crc) {
  std::unique_ptr<File> file;
  if (from < 0 || size < 0) return false;
  if (!fs.Open(path, OpenOptions{.follow_links = false}, &file).ok() || !file->IsRegular() ||
      !file->Seek(from).ok()) {
    return false;
  }
  Crc32 sum;
  uint8_t buf[16384];
  while (size > 0) {
    size_t want = size < static_cast<int64_t>(sizeof buf) ? static_cast<size_t>(size) : sizeof buf;
    size_t got = 0;
    if (!file->Read(buf, want, &got).ok() || got == 0) return false;
    sum.Add(buf, got);
    size -= static_cast<int64_t>(got);
  }
  *crc = sum.value();
  return true;
}

// What the recovery at going on line completed on a line: the upload it
// placed, whose ACK may never have reached the handheld. Kept until the next
// appending upload on the line decides whether it is that upload again.
struct Completed {
  char name[13] = {};
  int64_t size = 0;
  uint32_t crc = 0;
};

bool WriteCompleted(FileSystem& fs, const char* path, const Completed& c) {
  char text[96];
  int t =
      std::snprintf(text, sizeof text, "%s\n%" PRId64 "\n%08" PRIx32 "\n", c.name, c.size, c.crc);
  return t > 0 && static_cast<size_t>(t) < sizeof text &&
         WriteDurableFile(fs, path, text, static_cast<size_t>(t));
}

bool ReadCompleted(FileSystem& fs, const char* path, Completed* c) {
  char text[96];
  if (!ReadSmallFile(fs, path, text, sizeof text)) return false;
  char name[16] = {};
  long long size = -1;
  unsigned crc = 0;
  int used = 0;
  if (std::sscanf(text, "%12[^\n]\n%lld\n%8x\n%n", name, &size, &crc, &used) != 3 ||
      text[used] != 0 || size < 0 || !IsSafeFileName(name)) {
    return false;  // cut short by a power cut, or not ours: it decides nothing
  }
  std::memcpy(c->name, name, sizeof c->name);
  c->size = size;
  c->crc = crc;
  return true;
}

bool ParseNumber(const char* text, const char* end, int64_t* value) {
  if (text == end || end - text > 19) return false;
  const char* p = text;
  bool negative = *p == '-';
  if (negative) ++p;
  if (p == end) return false;
  int64_t v = 0;
  for (; p < end; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
  }
  *value = negative ? -v : v;
  return true;
}

// False for anything but a whole record as WriteIntent writes it: a record cut
// short (a power cut while it was written) was never followed by an ACK.
bool ReadIntent(FileSystem& fs, const char* path, Intent* in) {
  char text[96];
  if (!ReadSmallFile(fs, path, text, sizeof text)) return false;
  const char* nl1 = std::strchr(text, '\n');
  if (nl1 == nullptr || nl1 == text || nl1 - text > 12) return false;
  const char* nl2 = std::strchr(nl1 + 1, '\n');
  if (nl2 == nullptr) return false;
  const char* nl3 = std::strchr(nl2 + 1, '\n');
  if (nl3 == nullptr || nl3[1] != 0) return false;
  std::memcpy(in->name, text, static_cast<size_t>(nl1 - text));
  in->name[nl1 - text] = 0;
  return IsSafeFileName(in->name) && ParseNumber(nl1 + 1, nl2, &in->before) && in->before >= -1 &&
         ParseNumber(nl2 + 1, nl3, &in->size) && in->size >= 0;
}

// Moves the pending upload to a name of its own so that the next header on
// the line (which empties AJOUTFIC.n) cannot destroy it. Returns the name
// used, or nullptr when even that failed.
const char* KeepUpload(FileSystem& fs, const LinePaths& p, const char* upload_name, int n,
                       char (&kept)[PATH_MAX]) {
  for (int i = 1; i <= 9999; ++i) {
    int w = std::snprintf(kept, sizeof kept, "%s%s.%d.%04d", p.dir, upload_name, n, i);
    if (w < 0 || static_cast<size_t>(w) >= sizeof kept) break;
    if (fs.Exists(kept)) continue;
    // Once renamed, the upload is under the side name whatever becomes of
    // the directory's sync: trying further names would only fail.
    if (!fs.Rename(p.pending, kept).ok()) break;
    fs.SyncParentDirectory(kept);
    return kept;
  }
  return nullptr;
}

const char* BaseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

// Says on the line's display and in the log that an acknowledged upload could
// not reach its target and where it is.
void ReportKept(Station& st, int n, const char* target, const char* where) {
  // Shown in the line's own fields, so an unattended station does not stop
  // on a message box; the file stays in the received-files directory.
  const char* word = Text(st, Msg::kAppendFailedState);
  if (word != nullptr) st.ui.UiCall("AFFICHE, ETAT,%d=%s", n, word);
  st.ui.UiCall("AFFICHE, FICHIER,%d=%s", n, BaseName(where));
  // Recovery at going on line runs for each line in turn: the warning names
  // line n whatever line the station was last serving.
  st.Report(n - 1, event::AppendKeptAside{BaseName(target), BaseName(where)});
}

enum class Outcome { kNone, kMerged, kKept, kStuck };

// Brings the line's pending upload into its target as the intent says. With
// |live|, the crash test's hooks run (the merge right after the ACK). With
// |remember|, what was completed is recorded for the next upload on the line
// (the recovery after a restart: its ACK may never have gone out).
Outcome FinishMerge(Station& st, LineEntry& line, const LinePaths& p, const Intent& in, bool live,
                    bool remember) {
  const int n = line.Number();
  char target[PATH_MAX];
  int w = std::snprintf(target, sizeof target, "%s%s", p.dir, in.name);
  bool fits = w > 0 && static_cast<size_t>(w) < sizeof target;
  int64_t pending_size = st.fs.RegularFileSize(p.pending);

  bool done = false;
  int64_t placed_at = in.before < 0 ? 0 : in.before;  // where the upload stands once done
  if (pending_size < 0 && !st.fs.Exists(p.pending)) {
    done = true;  // the pending upload is removed only once its target holds it
  } else if (fits && pending_size == in.size) {
    int64_t target_size = st.fs.RegularFileSize(target);
    if (!st.fs.Exists(target)) {
      // No target (or it was taken away since): the upload becomes it.
      placed_at = 0;
      done = RenameDurably(st.fs, p.pending, target);
    } else {
      // A target shorter than its recorded size was changed by someone else:
      // what to cut is unknown, so the upload is kept aside.
      // A target longer than the recorded size plus the upload has grown by
      // more than this append: cutting it back would lose those records.
      int64_t at = in.before < 0 ? target_size : in.before;
      placed_at = at;
      std::function<void()> halfway;
      if (live) halfway = [&line] { CrashPoint(line, "merge-half"); };
      done = target_size >= 0 && target_size >= at && target_size <= at + in.size &&
             AppendFileAt(st.fs, target, at, p.pending, halfway);
      if (done) {
        if (live) CrashPoint(line, "merged");
        // The records now stand in the target: keeping the pending upload
        // as well would only duplicate them at the next recovery.
        done = RemoveDurably(st.fs, p.pending);
      }
    }
  }
  if (done) {
    if (live) CrashPoint(line, "pending-gone");
    // Recorded before the intent goes: a crash in between finishes the
    // intent again and records it again.
    Completed c;
    if (remember && fits && RangeCrc(st.fs, target, placed_at, in.size, &c.crc)) {
      std::memcpy(c.name, in.name, sizeof c.name);
      c.size = in.size;
      WriteCompleted(st.fs, p.done, c);
    }
    RemoveDurably(st.fs, p.intent);
    return Outcome::kMerged;
  }

  char kept[PATH_MAX];
  const char* where = KeepUpload(st.fs, p, in.name, n, kept);
  if (where == nullptr) {
    st.Report(n - 1, event::AppendStuck{fits ? target : in.name, p.pending});
    return Outcome::kStuck;
  }
  RemoveDurably(st.fs, p.intent);
  ReportKept(st, n, fits ? target : in.name, where);
  return Outcome::kKept;
}

}  // namespace

bool RecordAppendIntent(Station& st, LineEntry& line, int64_t upload_size, FsStatus* why) {
  LinePaths p;
  if (!MakeLinePaths(st, line.Number(), &p)) return false;
  char target[PATH_MAX];
  int w = std::snprintf(target, sizeof target, "%s%s", p.dir, line.UploadName);
  if (w < 0 || static_cast<size_t>(w) >= sizeof target) return false;
  char text[96];
  int t = std::snprintf(text, sizeof text, "%s\n%" PRId64 "\n%" PRId64 "\n", line.UploadName,
                        st.fs.Exists(target) ? st.fs.RegularFileSize(target) : int64_t{-1},
                        upload_size);
  if (t < 0 || static_cast<size_t>(t) >= sizeof text) return false;
  return WriteDurableFile(st.fs, p.intent, text, static_cast<size_t>(t), why);
}

bool KeepRepeatAside(Station& st, LineEntry& line, int64_t upload_size, bool* kept, FsStatus* why) {
  *kept = false;
  LinePaths p;
  Completed c;
  if (!MakeLinePaths(st, line.Number(), &p) || !ReadCompleted(st.fs, p.done, &c)) return true;
  uint32_t crc = 0;
  if (std::strcmp(c.name, line.UploadName) != 0 || c.size != upload_size ||
      !RangeCrc(st.fs, p.pending, 0, upload_size, &crc) || crc != c.crc) {
    return true;  // another upload: it is appended, and the record goes after its ACK
  }
  char kept_path[PATH_MAX];
  const char* where = KeepUpload(st.fs, p, line.UploadName, line.Number(), kept_path);
  if (where == nullptr) {
    if (why != nullptr) *why = FsStatus(EIO, "keep aside " + std::string(p.pending));
    return false;
  }
  *kept = true;
  const int n = line.Number();
  st.ui.UiCall("AFFICHE, FICHIER,%d=%s", n, BaseName(where));
  st.Report(line.index, event::RepeatKeptAside{line.UploadName, BaseName(where)});
  return true;
}

void AppendReceivedFile(Station& st, LineEntry& line) {
  int n = line.Number();
  st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, Text(st, Msg::kAppending));

  LinePaths p;
  Intent in;
  if (MakeLinePaths(st, n, &p) && ReadIntent(st.fs, p.intent, &in)) {
    std::snprintf(line.RecvFilePath, sizeof line.RecvFilePath, "%s%s", p.dir, in.name);
    FinishMerge(st, line, p, in, true, false);
  }
  // Our ACK is out: this upload decided on the completed one of a restart.
  if (MakeLinePaths(st, n, &p)) RemoveDurably(st.fs, p.done);

  line.RecvFilePath[0] = 0;
  const char* phase = Text(st, Msg::kWaiting);
  if (phase != nullptr) st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, phase);
}

bool RecoverLineFiles(Station& st, int n, bool after_restart) {
  LinePaths p;
  if (!MakeLinePaths(st, n, &p)) return false;
  bool usable = true;
  Intent in;
  if (ReadIntent(st.fs, p.intent, &in)) {
    usable = FinishMerge(st, st.LineTable[n - 1], p, in, false, after_restart) != Outcome::kStuck;
  } else {
    // Without a whole intent the upload in AJOUTFIC.n was never acknowledged
    // (or, with APPEND neither 'O' nor 'N', is left for the next header to
    // empty, as before): it is a partial file like any other.
    RemoveDurably(st.fs, p.intent);
    RemoveDurably(st.fs, p.pending);
  }
  // A replacing upload cut short, and the merged copy of earlier versions.
  char stale[PATH_MAX];
  std::snprintf(stale, sizeof stale, "%s..RECUFIC.%d", p.dir, n);
  RemoveDurably(st.fs, stale);
  std::snprintf(stale, sizeof stale, "%sAJOUTFIC.%d.new", p.dir, n);
  RemoveDurably(st.fs, stale);
  return usable;
}

}  // namespace kavelin2
