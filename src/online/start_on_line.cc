// The preparation that runs every time the station goes on line.
#include <cstring>
#include <string>

#include "config/settings.h"
#include "dialogs/dialogs.h"
#include "display/station_text.h"
#include "exchange/exchange.h"
#include "journal/records.h"
#include "online/online.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

// Every on-line period starts with both lines idle and no file in progress.
void ResetLine(LineEntry& line) {
  line.LineState = kStateIdle;
  line.LinePhase = kPhaseNone;
  std::memcpy(line.HandheldId, "???", sizeof line.HandheldId);
  line.RecvFilePath[0] = 0;
  line.NakCount = 0;
  line.TimeoutCount = 0;
  line.ExchangeDate[0] = 0;
  line.ExchangeTime[0] = 0;
  // An exchange cut short when the user left on-line mode may still hold its
  // files: they would leak, and a later exchange must not write into them.
  line.CloseExchangeFiles();
}

// A path field of the settings as a string, bounded by the field's width.
template <size_t N>
std::string FieldText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// A record that a power cut left cut short (written, not yet synced) would
// shift every later one. A result log holds whole records of one size, so a
// tail is that torn record: it goes before the first exchange adds to the
// log. Its exchange never counted as ended.
void CutTornRecord(Station& st, const char* path, size_t record_size) {
  const int64_t size = st.fs.RegularFileSize(path);
  if (size <= 0 || size % static_cast<int64_t>(record_size) == 0) return;
  std::unique_ptr<File> file;
  FsStatus s = st.fs.Open(path, OpenOptions{.write = true, .follow_links = false}, &file);
  if (s.ok()) s = file->Truncate(size - size % static_cast<int64_t>(record_size));
  if (s.ok()) s = file->Sync();
  if (!s.ok()) LogEvent(st, "torn record not cut off: %s", s.text().c_str());
}

}  // namespace

int StartOnLine(Station& st) { return StartOnLine(st, nullptr); }

int StartOnLine(Station& st, std::string* failure) {
  LoadSettings(st);
  // Both lines show INIT, also a line that is not active.
  for (int number = 1; number <= kLineCount; ++number) {
    st.ui.UiCall("AFFICHE, PHASE,%d=%s", number, Text(st, Msg::kInit));
  }
  for (LineEntry& line : st.LineTable) ResetLine(line);
  // A scheduled time equal to the current minute must wait for the next day.
  st.PendingProgram = 0;
  st.ProgDLaunched = 1;
  st.ProgCLaunched = 1;

  // Tables, received files, files to transmit, log file; the first path that
  // is missing and not created ends the preparation.
  for (const std::string& path : {FieldText(st.Paths.TABLE), FieldText(st.Paths.RECU),
                                  FieldText(st.Paths.TRANS), FieldText(st.Paths.FICLOG)}) {
    std::string reason;
    if (EnsurePathExists(st, path.c_str(), &reason) != 0) continue;
    // The box told the user; the log and the caller get the reason as well.
    LogMessage(st, Msg::kDirectoryNotCreated, path.c_str(), reason.c_str());
    if (failure != nullptr) *failure = path + " missing and not created: " + reason;
    return 0;
  }
  // An upload acknowledged before a crash or a power cut may still wait for
  // its append; partial files of uploads cut short are removed.
  for (int number = 1; number <= kLineCount; ++number) RecoverLineFiles(st, number, true);
  CutTornRecord(st, kStatFileName, kStatRecordSize);
  CutTornRecord(st, kUnlinkFileName, kUnlinkRecordSize);
  return 1;
}

int EnsurePathExists(Station& st, const char* path, std::string* reason) {
  auto fail = [reason](const char* why) {
    if (reason != nullptr) *reason = why;
    return 0;
  };
  // An empty path is a prefix that names files in the working directory, as
  // the default settings have it: nothing to ask, nothing to create.
  if (path[0] == '\0') return 1;
  // Existence only: the paths are prefixes of file names, used as they are.
  FileInfo info;
  FsStatus looked = st.fs.Stat(path, &info);
  if (looked.ok() && info.exists) return 1;
  const int missing = looked.ok() ? info.missing : looked.code();

  const char* question = Text(st, Msg::kCreatePathQuestion);
  // A question that cannot be asked in the current language is not answered
  // yes by whatever the previous reply left in intValue.
  if (question == nullptr) return fail(std::strerror(missing));
  st.ui.UiReply.intValue = 0;
  st.ui.UiCall("OUINON, %s\n%s", path, question);
  if (st.ui.UiReply.intValue == 0) return fail(Text(st, Msg::kCreationDeclined));

  // One level: the parents must exist.
  FsStatus made = st.fs.MakeDirectory(path);
  if (made.ok()) return 1;
  const int failed = made.code();

  const char* error = Text(st, Msg::kCannotCreateDirectory);
  if (error != nullptr) st.ui.UiCall("ERREUR, %s\n%s", error, path);
  return fail(std::strerror(failed));
}

}  // namespace kavelin2
