#!/bin/sh
# Fails when station code makes a file call of the system itself instead of
# going through its FileSystem (src/platform/file_system.h): a call there is
# a file step no test can fail, count or cut the power under.
#
#   tools/check_raw_file_calls.sh [SOURCE_DIR]
#
# Allowed: the platform's back ends (src/platform/*_posix.*, *_win32.*), the
# UI runtime (src/ui/runtime, a library of its own), and tests with what they
# build on (*_test.cc, src/testing, test fixtures and helpers).
set -eu
root=${1:-$(dirname "$0")/..}
cd "$root"

# A call, not a member call (x.open, x->open) nor part of a longer name
# (Reopen); std:: and :: spellings included.
calls='open|openat|creat|fopen|freopen|fdopen|rename|renameat|unlink|unlinkat|remove|fsync|fdatasync|ftruncate|truncate|mkdir|rmdir|opendir|mkstemp'
pattern="(^|[^A-Za-z0-9_.>])(std::|::)?($calls)[[:space:]]*\\("

found=$(find src -type f \( -name '*.cc' -o -name '*.h' \) \
          ! -path 'src/ui/runtime/*' ! -path 'src/testing/*' \
          ! -name '*_test.cc' ! -name '*_fixture.h' ! -name '*test_util.h' \
          ! \( -path 'src/platform/*' \( -name '*_posix.*' -o -name '*_win32.*' \) \) |
        sort | xargs grep -nE "$pattern" /dev/null |
        # Comments and the text after them do not call anything.
        sed 's|//.*$||' | grep -E "^[^:]+:[0-9]+:.*$pattern" || true)

if [ -n "$found" ]; then
  echo "Raw file calls outside the platform's back ends (use FileSystem):"
  echo "$found"
  exit 1
fi
echo "check_raw_file_calls: no raw file call outside the platform's back ends"
