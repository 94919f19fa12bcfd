#include "display/station_text.h"

#include <cstdarg>
#include <cstdio>

#include "station/station.h"

namespace kavelin2 {

Language LanguageOf(const Station& st) { return LanguageNamed(st.CurrentLanguage); }

const char* Text(const Station& st, Msg id) { return Text(LanguageOf(st), id); }

Language LogLanguageOf(const Station& st) { return LogLanguage(LanguageOf(st)); }

void LogMessage(Station& st, Msg id, ...) {
  // No longer than what LogEvent itself keeps of a line.
  char text[1017];
  va_list args;
  va_start(args, id);
  std::vsnprintf(text, sizeof text, Text(LogLanguageOf(st), id), args);
  va_end(args);
  LogEvent(st, "%s", text);
}

}  // namespace kavelin2
