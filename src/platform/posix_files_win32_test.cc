// The POSIX spellings of the tests and the handheld simulator, on the
// Windows C runtime: directories are made with a mode, temporary directories
// are unique, UTC broken-down times convert to calendar seconds. (The
// station's own files are the FileSystem's: file_system_test.cc.)
#include "platform/posix_files_win32.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "testing/test_station.h"

namespace kavelin2 {
namespace {

TEST(PosixFilesOnWindows, DirectoriesAreMadeOnceAndTemporaryOnesAreUnique) {
  ScopedTempDir dir;
  EXPECT_EQ(0, ::mkdir("RECU", 0777));
  EXPECT_EQ(-1, ::mkdir("RECU", 0777));
  EXPECT_EQ(EEXIST, errno);
  struct stat sb;
  ASSERT_EQ(0, ::stat("RECU", &sb));
  EXPECT_TRUE(S_ISDIR(sb.st_mode));
  char a[] = "t-XXXXXX";
  char b[] = "t-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(a));
  ASSERT_NE(nullptr, mkdtemp(b));
  EXPECT_STRNE(a, b);
  EXPECT_EQ(0, ::stat(a, &sb));
  char bad[] = "t-XXXX";
  EXPECT_EQ(nullptr, mkdtemp(bad));
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 7;
  EXPECT_EQ(1796601600, static_cast<long long>(timegm(&t)));
}

}  // namespace
}  // namespace kavelin2
