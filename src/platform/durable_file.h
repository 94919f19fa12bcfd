// File steps of the received files that must not lose or tear data: a
// handheld may erase its copy as soon as the station has acknowledged it.
// This is the station's one layer of file-system calls for received files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace kavelin2 {

// Appends all |n| bytes at the end of |fd|. When the write fails or comes out
// short, the file is cut back to the size it had, so that a block sent again
// does not leave a torn record behind. True when every byte was written.
bool AppendAll(int fd, const uint8_t* data, size_t n);

// Flushes the data of |fd| to stable storage.
bool SyncFile(int fd);

// Flushes the directory that holds |path| (its entries: a new, renamed or
// removed name) to stable storage.
bool SyncParentDirectory(const char* path);

// Copies everything |from| still has to read onto |to| in reads of up to 1024
// bytes. A failed read counts as a failure, not as the end of the file.
bool CopyRest(int from, int to);

// True when something (a file, a directory, a link) stands at |path|.
bool PathExists(const char* path);

// Size of the regular file at |path|; -1 when there is none or it is not a
// regular file.
int64_t RegularFileSize(const char* path);

// Writes |n| bytes as the new file |path| (an earlier file of that name is
// replaced) and makes the file and its name durable. False on any failure,
// in which case nothing is left under |path|.
bool WriteDurableFile(const char* path, const char* data, size_t n);

// Reads the whole of a small file into |buf| and ends it with NUL. False
// when the file is missing, unreadable or does not fit |cap| - 1 bytes.
bool ReadSmallFile(const char* path, char* buf, size_t cap);

// Renames |from| to |to| (replacing |to|) and makes the change durable.
bool RenameDurably(const char* from, const char* to);

// Removes |path| and makes the removal durable. True when the name is gone
// (also when it was not there).
bool RemoveDurably(const char* path);

// Cuts the regular file |target| back to |length| bytes and writes the whole
// of |source| after them, then flushes |target|: run again after a crash, it
// gives the same file. |halfway|, when set, runs once half of |source| is
// written (a test hook). On failure |target| is cut back to |length|.
bool AppendFileAt(const char* target, int64_t length, const char* source,
                  const std::function<void()>& halfway);

}  // namespace kavelin2
