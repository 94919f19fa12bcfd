// The terminal front end's terminal on the Win32 console (OpenSystemTerminal
// in the Windows build).
#pragma once

#include <windows.h>

namespace kavelin2::uirt::term {

// The front end's key (terminal_io.h) for a console key event; kNoKey for a
// release or a key that means nothing to the front end.
int KeyFromConsoleEvent(const KEY_EVENT_RECORD& k);

// The console attributes of a cell drawn with the front end's |attr| on a
// console whose ordinary attributes are |normal|.
WORD AttributesFor(unsigned attr, WORD normal);

}  // namespace kavelin2::uirt::term
