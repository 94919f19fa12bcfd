// The exchange handlers. Handlers act on line.index.
#pragma once

#include <cstdint>

#include "line/line.h"

namespace kavelin2 {

struct Station;
struct LineEntry;

// Runs the handlers of |byte| in the line's state; returns the outcome of
// what they sent (kOk when they sent nothing).
Io DispatchControlByte(Station& st, LineEntry& line, uint8_t byte);
void StampExchange(Station& st, LineEntry& line);

// Upload.
Io StartUpload(Station& st, LineEntry& line);
Io ReceiveHeader(Station& st, LineEntry& line);
Io ReceiveBlock(Station& st, LineEntry& line);
Io ReceiveEndOfFile(Station& st, LineEntry& line);
void AppendReceivedFile(Station& st, LineEntry& line);
// Makes durable, before the ACK of an end of file, where the upload in the
// line's temporary file goes: its target and the target's size before it.
bool RecordAppendIntent(Station& st, LineEntry& line, int64_t upload_size);
// Finishes the pending append of line |line_number| (1 or 2) or keeps its
// upload aside, and removes the line's stale partial files. False when an
// acknowledged upload is still in the line's temporary file (it could be
// neither merged nor kept aside): the line must not take a new upload.
bool RecoverLineFiles(Station& st, int line_number);

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
