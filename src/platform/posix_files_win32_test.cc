// The POSIX file calls of the shared code, on the Windows C runtime: bytes
// stay bytes, a held file can be renamed over and into place, directories
// are made with a mode, temporary directories are unique.
#include "platform/posix_files_win32.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/durable_file.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

// Bytes a text-mode file would change: CR LF, a lone LF, Ctrl-Z, NUL, 0xFF.
const std::string kAwkward = std::string("a\r\nb\nc\x1a") + '\0' + "d\xff\r";

TEST(PosixFilesOnWindows, DataFilesKeepEveryByteAndHeldFilesCanBeRenamed) {
  ScopedTempDir dir;
  // Written through open/write as the station writes a received file.
  int fd = ::open("data.tmp", O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(AppendAll(fd, reinterpret_cast<const uint8_t*>(kAwkward.data()), kAwkward.size()));
  ASSERT_TRUE(AppendAll(fd, reinterpret_cast<const uint8_t*>("tail"), 4));
  EXPECT_TRUE(SyncFile(fd));
  EXPECT_TRUE(SyncParentDirectory("data.tmp"));
  // An exclusive create of an existing name fails as on POSIX.
  EXPECT_EQ(-1, ::open("data.tmp", O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  EXPECT_EQ(EEXIST, errno);

  // Renamed over an earlier file while still open, as a received file is.
  // (The earlier file itself must not be held: Windows, and Wine, refuse to
  // replace a file another program has open.)
  WriteFile("final.dat", "earlier");
  EXPECT_EQ(0, ::rename("data.tmp", "final.dat"));
  EXPECT_FALSE(FileExists("data.tmp"));
  ::close(fd);
  EXPECT_EQ(kAwkward + "tail", ReadFile("final.dat"));

  // Read back through open/read, and a copy keeps the bytes too.
  int in = ::open("final.dat", O_RDONLY | O_CLOEXEC);
  int out = ::open("copy.dat", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);
  EXPECT_TRUE(CopyRest(in, out));
  ::close(in);
  ::close(out);
  EXPECT_EQ(kAwkward + "tail", ReadFile("copy.dat"));
  // A held file can be removed, as a sent file is.
  int held = ::open("copy.dat", O_RDONLY | O_CLOEXEC);
  EXPECT_EQ(0, ::unlink("copy.dat"));
  ::close(held);
  EXPECT_FALSE(FileExists("copy.dat"));

  // A missing file, a missing directory.
  EXPECT_EQ(-1, ::open("none.dat", O_RDONLY | O_CLOEXEC));
  EXPECT_EQ(ENOENT, errno);
  EXPECT_EQ(-1, ::rename("none.dat", "other.dat"));
}

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
