// The POSIX file calls the shared code makes, as the Windows C runtime can
// make them. Included ahead of every source of the Windows build, so that
// the shared code keeps one spelling of its file steps.
//
// Data files are byte images: every open the station makes asks for
// O_CLOEXEC, which here means "not inherited by a started program" and
// "binary" (no CR/LF translation, no Ctrl-Z end of file). The programs are
// also linked with the runtime's binary default mode, for the opens that
// do not say.
#pragma once

#ifdef __cplusplus

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#undef O_CLOEXEC
#define O_CLOEXEC (_O_NOINHERIT | _O_BINARY)
#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
// Windows has no symbolic links in a station's directories.
#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0
#endif

// Forces the data of |fd| to the disk (FlushFileBuffers underneath).
inline int fsync(int fd) { return _commit(fd); }

// The mode has no meaning: the directory inherits its folder's rights.
inline int mkdir(const char* path, int /*mode*/) { return _mkdir(path); }

// A file name is never a link here.
inline int lstat(const char* path, struct stat* sb) { return stat(path, sb); }

// The broken-down UTC time as calendar seconds.
inline time_t timegm(struct tm* t) { return _mkgmtime(t); }

// Makes a new directory from |templ| ("...XXXXXX", the X replaced), as
// POSIX mkdtemp does; nullptr when none could be made.
char* mkdtemp(char* templ);

// rename() that replaces an existing target, as POSIX rename does, and
// writes the change through to the disk (MoveFileExA with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). The C runtime's own
// rename fails when the target exists. 0 on success, -1 on failure.
int kavelin2_rename_replacing(const char* from, const char* to);
#define rename kavelin2_rename_replacing

#endif  // __cplusplus
