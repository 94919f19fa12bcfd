// The exchange handlers. Handlers act on st.CurrentLine.
#pragma once

#include <cstdint>

#include "line/line.h"

namespace kavelin2 {

struct Station;

// Runs the handlers of |byte| in the line's state; returns the outcome of
// what they sent (kOk when they sent nothing).
Io DispatchControlByte(Station& st, uint8_t byte);
void StampExchange(Station& st);

// Upload.
Io StartUpload(Station& st);
Io ReceiveHeader(Station& st);
Io ReceiveBlock(Station& st);
Io ReceiveEndOfFile(Station& st);
void AppendReceivedFile(Station& st);
// Makes durable, before the ACK of an end of file, where the upload in the
// line's temporary file goes: its target and the target's size before it.
bool RecordAppendIntent(Station& st, int64_t upload_size);
// Finishes the pending append of line |line_number| (1 or 2) or keeps its
// upload aside, and removes the line's stale partial files. False when an
// acknowledged upload is still in the line's temporary file (it could be
// neither merged nor kept aside): the line must not take a new upload.
bool RecoverLineFiles(Station& st, int line_number);

// Download.
Io StartDownload(Station& st);
Io DownloadStep(Station& st);
void RemoveSentFiles(Station& st);

}  // namespace kavelin2
