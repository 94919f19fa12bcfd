// The POSIX spellings the tests and the handheld simulator use, as the
// Windows C runtime can make them (directories made with a mode, temporary
// directories, calendar seconds of UTC). Included ahead of every source of
// the Windows build. The station's own files go through its FileSystem
// (platform/file_system_win32.cc), never through these.
//
// O_CLOEXEC here means "not inherited by a started program" and "binary"
// (no CR/LF translation, no Ctrl-Z end of file). The programs are also
// linked with the runtime's binary default mode, for the opens that do not
// say.
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

// The mode has no meaning: the directory inherits its folder's rights.
inline int mkdir(const char* path, int /*mode*/) { return _mkdir(path); }

// A file name is never a link here.
inline int lstat(const char* path, struct stat* sb) { return stat(path, sb); }

// The broken-down UTC time as calendar seconds.
inline time_t timegm(struct tm* t) { return _mkgmtime(t); }

// Makes a new directory from |templ| ("...XXXXXX", the X replaced), as
// POSIX mkdtemp does; nullptr when none could be made.
char* mkdtemp(char* templ);

#endif  // __cplusplus
