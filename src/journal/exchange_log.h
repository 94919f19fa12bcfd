// What the station's log says about exchanges: one summary line when an
// exchange ends, and warnings for what a handheld was not sent or an upload
// that could not be appended; and the result log's records. Each is a
// consumer of the station's events. Every text is in the station's language
// (English when the language is none of the three, so the log never stays
// silent).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "display/messages.h"
#include "station/events.h"

namespace kavelin2 {

struct Station;

// The log lines of the exchanges: the summary of each ended exchange (the
// files received and sent, the result and why it failed), warnings for
// skipped entries, a missing table and uploads kept aside (the first ten of
// an exchange, then one line for the rest), and the lost and returning
// devices. Keeps each line's LastResult and LastReason.
std::unique_ptr<EventSink> NewExchangeJournal(Station& st);

// Appends "1 warning" / "|count| warnings" in |language| to the text in
// |out| (of |size| bytes), never past its end.
void AppendWarningCount(Language language, int64_t count, char* out, size_t size);

// The result log: the 37-byte "STAT.TXT" record of each ended exchange and
// the "UNLINK.TXT" record of an upload left on disk. Records a file does not
// take wait in memory and are written first once it takes them again; at the
// station's stop, those still waiting go to |at_stop| (standard error by
// default), a line saying what they are, then each record as it stands.
std::unique_ptr<EventSink> NewResultLog(Station& st,
                                        std::function<void(const std::string&)> at_stop = nullptr);

}  // namespace kavelin2
