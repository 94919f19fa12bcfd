// File names the platform's file system gives a meaning of its own.
#pragma once

namespace kavelin2 {

// True when |name| (a bare file name, no directory) would not reach an
// ordinary file in a directory on this platform: on Windows a device name
// ("NUL", "CON", "COM1", ...) with or without an extension, and a name with
// ':' (an alternate data stream) or another character Windows refuses.
// Never true on POSIX systems.
bool IsReservedFileName(const char* name);

}  // namespace kavelin2
