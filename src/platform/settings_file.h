// The few file operations the settings need.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file_system.h"

namespace kavelin2 {

// Opens |name| in the working directory for reading and writing and reads up
// to |size| bytes in one read, then closes it. False when it cannot be opened
// that way; anything but a regular file (a directory, a pipe, a device) counts
// as unopenable. |*got| is the number of bytes read (0 on a read error).
bool ReadSettingsFile(FileSystem& fs, const char* name, uint8_t* data, size_t size, size_t* got);

// As ReadSettingsFile, but opens |name| for reading only: for looking at
// the settings where they may not be changed (a read-only directory).
bool PeekSettingsFile(FileSystem& fs, const char* name, uint8_t* data, size_t size, size_t* got);

// Puts |size| bytes in place as |name|: written to a temporary file beside
// it, flushed to disk and renamed over the old file, so a crash or a full
// disk never leaves the file missing or cut short. False when the new image
// could not be put in place; the old file is then untouched and no temporary
// file stays behind.
bool ReplaceSettingsFile(FileSystem& fs, const char* name, const uint8_t* data, size_t size);

// Removes the file |name| (never a directory); a failure is ignored.
void RemoveSettingsFile(FileSystem& fs, const char* name);

}  // namespace kavelin2
