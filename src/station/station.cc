#include "station/station.h"

#include <cstdarg>
#include <cstdio>

namespace kavelin2 {

void LineEntry::CloseExchangeFiles() {
  DataFile.reset();
  TableFile.reset();
}

void LogEvent(Station& st, const char* format, ...) {
  // The channel cuts a command at 1,024 characters; "JOURNAL," takes 8.
  char text[1017];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  st.ui.UiCall("JOURNAL,%s", text);
}

}  // namespace kavelin2
