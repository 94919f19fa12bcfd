// Going on line and serving the lines: the on-line loop and the schedule.
#pragma once

#include <cstddef>
#include <string>

namespace kavelin2 {

struct Station;

// Serves the lines until the user stops (returns 1) or a launched program
// ends the station (returns 0).
int PollLines(Station& st);

// Prepares going on line: reload the settings, show INIT, reset the lines,
// check the four directories, lock the working and the received-files
// directories (see LockStationDirectories), recover the lines' files. 1 when
// ready, 0 otherwise; then |failure| (when given) names the directory and
// why ("RECU/ missing and not created: ...", "RECU/ in use by another
// station (pid 812)") and |exit_status| (when given) is the status that
// says it (kExitDirectory, kExitDirectoryInUse).
int StartOnLine(Station& st);
int StartOnLine(Station& st, std::string* failure, int* exit_status = nullptr);

// The lock file a station holds in a directory while on line. Longer than
// any name an upload or a table entry can give (8 + 1 + 3 characters), so
// that no handheld can ever send or ask for it.
constexpr const char* kDirectoryLockName = ".kavelin2.lock";

// Takes the locks of st.DirectoryLocks: one on the working directory (its
// settings, STAT.TXT, UNLINK.TXT) and one on the received-files directory
// (where uploads are stored and appended), the same directory once. 1 when
// both are held; 0 when another station holds one (|directory| is then that
// directory as the settings name it, "." for the working directory, and
// |holder_pid| its pid, 0 when the system cannot tell) or it cannot be
// taken (|reason| then says why, |holder_pid| is -1). Tables and files to
// send are shared freely.
int LockStationDirectories(Station& st, std::string* directory, int* holder_pid,
                           std::string* reason);
// 1 when |path| exists or was created on the user's request, 0 otherwise;
// then |reason| (when given) says why in the system's words. The empty path
// is the working directory: it exists.
int EnsurePathExists(Station& st, const char* path, std::string* reason = nullptr);

// Starts the schedule's program of |kind| (1 PROGFIN, 2 PROGD, 3 PROGC).
void RunScheduledProgram(Station& st, int kind);
// Starts the command line held in a fixed field of |width| bytes (bounded by
// it: a corrupt file can leave the field without its terminator).
void LaunchCommandLine(Station& st, const char* command_line, size_t width);

}  // namespace kavelin2
