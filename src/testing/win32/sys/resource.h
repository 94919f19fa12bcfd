// The file size limit the upload tests use to stand for a full disk, for the
// Windows test programs: Windows has no such limit, so it cannot be set
// (getrlimit and setrlimit fail and change nothing). The two tests that
// need it are left out of the Wine run (tools/wine_test.sh).
#pragma once

#include <signal.h>

using rlim_t = unsigned long long;
struct rlimit {
  rlim_t rlim_cur;
  rlim_t rlim_max;
};
#define RLIMIT_FSIZE 1
inline int getrlimit(int, rlimit* r) {
  r->rlim_cur = r->rlim_max = ~0ULL;
  return -1;
}
inline int setrlimit(int, const rlimit*) { return -1; }

using sighandler_t = void (*)(int);
// No such signal on Windows: one the runtime knows, ignored for the moment.
#define SIGXFSZ SIGBREAK
