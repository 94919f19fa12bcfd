// Time-outs, refusals and the end of an exchange: where a running exchange
// is decided to go on, to retry or to end, and with what result. All act on
// st.CurrentLine.
#pragma once

#include <string>

#include "line/line.h"
#include "station/events.h"

namespace kavelin2 {

struct Station;

// A read that brought no byte: a time-out counts against the exchange (and
// may end it); a lost device or a refused read is left to the on-line loop.
// Returns the outcome of what was sent in answer.
Io EndOfRead(Station& st, Io io);
// The silence rule: the tenth time-out in a row is the last one tolerated;
// the next ends the exchange "TO". Sends ENQ where the station is the sender.
Io HandleTimeout(Station& st);
// A NAK from the handheld: the frame goes again, up to ten times in a row.
Io HandleNak(Station& st);
// Ends the running exchange "ER" for |why| (|detail|, when given, follows in
// parentheses in the texts).
void AbortWithError(Station& st, FailWhy why, const std::string& detail = {});
// Ends the running exchange of a line whose device is gone ("ER"), as any
// failed exchange ends; |reason| is the system's word for the loss.
void EndLostExchange(Station& st, const std::string& reason);
// Removes the upload being received after a failure; one that cannot be
// removed is reported (UploadLeftOnDisk) and stays.
void DiscardReceivedFile(Station& st);
// Ends the running exchange with |result|: its files are closed, the
// consumers hear ExchangeEnded while the line still holds its stamp, then
// the line is idle again, the end-of-exchange program requested and the
// input that came after dropped.
void EndExchange(Station& st, ExchangeResult result, FailWhy why = FailWhy::kNone,
                 const std::string& detail = {});

}  // namespace kavelin2
