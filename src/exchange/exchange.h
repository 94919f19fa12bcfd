// The exchange handlers. Handlers act on line.index.
#pragma once

#include <cstdint>

#include "line/line.h"
#include "platform/file_system.h"

namespace kavelin2 {

struct Station;
struct LineEntry;

// Runs the handlers of |byte| in the line's state; returns the outcome of
// what they sent (kOk when they sent nothing).
Io DispatchControlByte(Station& st, LineEntry& line, uint8_t byte);
// Goes on with the step that stopped part way (LineEntry::StepResumes);
// returns what it sent.
Io ResumeStep(Station& st, LineEntry& line);
void StampExchange(Station& st, LineEntry& line);

// Upload.
Io StartUpload(Station& st, LineEntry& line);
Io ReceiveHeader(Station& st, LineEntry& line);
Io ReceiveBlock(Station& st, LineEntry& line);
Io ReceiveEndOfFile(Station& st, LineEntry& line);
// EOT on an idle line: after an accepted end of file it is the handheld's
// repeat (our ACK was lost) and is acknowledged again, storing nothing.
Io RepeatEndOfFile(Station& st, LineEntry& line);
void AppendReceivedFile(Station& st, LineEntry& line);
// Makes durable, before the ACK of an end of file, where the upload in the
// line's temporary file goes: its target and the target's size before it.
// |why|, when set, gets the file system's failure.
bool RecordAppendIntent(Station& st, LineEntry& line, int64_t upload_size, FsStatus* why = nullptr);
// Finishes the pending append of line |line_number| (1 or 2) or keeps its
// upload aside, and removes the line's stale partial files. False when an
// acknowledged upload is still in the line's temporary file (it could be
// neither merged nor kept aside): the line must not take a new upload.
// |after_restart| (going on line): an append finished here may never have
// had its ACK reach the handheld, which then sends the same upload again;
// what was finished is recorded durably for KeepRepeatAside.
bool RecoverLineFiles(Station& st, int line_number, bool after_restart = false);
// At the accepted end of file of an appending upload, before its ACK: when
// it is the upload that the recovery after a restart finished on this line
// (same name, size and CRC-32), it is kept aside under a side name, durably,
// with a warning, and *|kept| is set: it must not be appended a second time.
// False when it could not be kept aside (|why|, when set, says why).
bool KeepRepeatAside(Station& st, LineEntry& line, int64_t upload_size, bool* kept,
                     FsStatus* why = nullptr);

// The crash test's hook at |point| of the line's upload (platform/crash_point.h).
void CrashPoint(const LineEntry& line, const char* point);

// Download.
Io StartDownload(Station& st, LineEntry& line);
Io DownloadStep(Station& st, LineEntry& line);
void RemoveSentFiles(Station& st, LineEntry& line);
// Makes the removal of |path| durable (its directory synced), so that a power
// cut after the exchange ended cannot bring the file back to be sent again.
// A failure is logged: the exchange itself went through.
void MakeRemovalDurable(Station& st, const char* path);

}  // namespace kavelin2
