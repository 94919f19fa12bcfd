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

// Download.
void StartDownload(Station& st);
void DownloadStep(Station& st);
void RemoveSentFiles(Station& st);

}  // namespace kavelin2
