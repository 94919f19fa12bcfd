// File steps of the received files that must not lose or tear data: a
// handheld may erase its copy as soon as the station has acknowledged it.
// Built on the FileSystem, so that a test can fail or cut the power under
// any of their calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/file_system.h"

namespace kavelin2 {

// Appends all |n| bytes at the end of |file|, which is positioned there (it
// is only ever written by appends). When the write fails or comes out short,
// the file is cut back to the size it had and positioned at its end again,
// so that a block sent again does not leave a torn record behind. True when
// every byte was written.
// |size| is the file's size before these bytes, which the caller knows (the
// records stored so far): asking the system for it would cost a call per
// record.
// |why|, when set, gets the failure.
bool AppendAll(File& file, int64_t size, const uint8_t* data, size_t n, FsStatus* why = nullptr);

// Writes |n| bytes as the new file |path| (an earlier file of that name is
// replaced) and makes the file and its name durable. False on any failure,
// in which case nothing is left under |path|.
// |why|, when set, gets the first failure.
bool WriteDurableFile(FileSystem& fs, const char* path, const char* data, size_t n,
                      FsStatus* why = nullptr);

// Reads the whole of a small file into |buf| and ends it with NUL. False
// when the file is missing, unreadable or does not fit |cap| - 1 bytes. A
// symbolic link is not followed.
bool ReadSmallFile(FileSystem& fs, const char* path, char* buf, size_t cap);

// Renames |from| to |to| (replacing |to|) and makes the change durable.
// |why|, when set, gets the failure.
bool RenameDurably(FileSystem& fs, const char* from, const char* to, FsStatus* why = nullptr);

// Removes |path| and makes the removal durable. True when the name is gone
// (also when it was not there).
bool RemoveDurably(FileSystem& fs, const char* path);

// Cuts the regular file |target| back to |length| bytes and writes the whole
// of |source| after them, then flushes |target|: run again after a crash, it
// gives the same file. |halfway|, when set, runs once half of |source| is
// written and flushed (a test hook). On failure |target| is cut back to
// |length|. Symbolic links are not followed.
bool AppendFileAt(FileSystem& fs, const char* target, int64_t length, const char* source,
                  const std::function<void()>& halfway);

}  // namespace kavelin2
