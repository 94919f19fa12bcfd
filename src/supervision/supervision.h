// Time-outs, refusals and aborts of a running exchange, and the result log.
// All act on st.CurrentLine.
#pragma once

namespace kavelin2 {

struct Station;

void HandleTimeout(Station& st);
void HandleNak(Station& st);
void AbortWithError(Station& st);
void DiscardReceivedFile(Station& st);
// Ends the running exchange of a line whose device is gone ("ER"), as any
// failed exchange ends; |reason| is the system's word for the loss.
void EndLostExchange(Station& st, const char* reason);
// Ends the running exchange after a write the line did not take ("ER").
void EndExchangeOnWriteFailure(Station& st);
// Appends the 37-byte "STAT.TXT" record of |result| (0 OK, 1 TO, 2 ER),
// returns the line to idle and may request the end-of-exchange program.
void LogResult(Station& st, int result);

// Building blocks of the two record images (kept pure for the tests).
// |out| receives exactly 37 / 118 bytes.
struct LineEntry;
void BuildStatRecord(int result, const LineEntry& line, int line_number, long elapsed_seconds,
                     char out[37]);
void BuildUnlinkRecord(const LineEntry& line, int line_number, char out[118]);

}  // namespace kavelin2
