// The on-line loop and the exchange handlers. Handlers act on st.CurrentLine.
#pragma once

#include <cstdint>

namespace kavelin2 {

struct Station;

// Serves the lines until the user stops (returns 1) or a launched program
// ends the station (returns 0).
int PollLines(Station& st);
void DispatchControlByte(Station& st, uint8_t byte);
void StampExchange(Station& st);

// Upload.
void StartUpload(Station& st);
void ReceiveHeader(Station& st);
void ReceiveBlock(Station& st);
void ReceiveEndOfFile(Station& st);
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
void StartDownload(Station& st);
void DownloadStep(Station& st);
void RemoveSentFiles(Station& st);

}  // namespace kavelin2
