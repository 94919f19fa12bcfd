// The program's exit statuses, as the README documents them. A service
// manager restarts the station on any status but 0.
#pragma once

namespace kavelin2 {

constexpr int kExitOk = 0;               // stopped on request, quit, or ended by the schedule
constexpr int kExitFailure = 1;          // any other failure that ends the program
constexpr int kExitUsage = 2;            // bad command line or bad settings text
constexpr int kExitNoRuntime = 3;        // the UI runtime cannot be loaded, bound or started
constexpr int kExitPortUnavailable = 4;  // a line's device cannot be opened when going on line
constexpr int kExitDirectory = 5;        // a directory is missing and cannot be created
constexpr int kExitDirectoryInUse =
    6;  // another station holds the working or received-files directory

}  // namespace kavelin2
