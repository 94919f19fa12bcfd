// File steps of the received files that must not lose or tear data: a
// handheld may erase its copy as soon as the station has acknowledged it.
#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace kavelin2
