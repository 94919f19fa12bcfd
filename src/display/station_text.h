// The station's texts (display/messages.h) in the station's language, as
// its setting names it.
#pragma once

#include "display/messages.h"

namespace kavelin2 {

struct Station;

Language LanguageOf(const Station& st);

// Text |id| in the station's language: nullptr when the language is none of
// the three and the text is translated; the caller then shows nothing.
const char* Text(const Station& st, Msg id);

// The language of the station's log lines: the station's, English when it is
// none of the three, so that the log never stays silent.
Language LogLanguageOf(const Station& st);

// Writes text |id|, in the log's language and formatted printf-style with the
// values that follow, as one line of the station's log.
void LogMessage(Station& st, Msg id, ...);

}  // namespace kavelin2
