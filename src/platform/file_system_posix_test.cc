// What only a POSIX system shows: pipes, symbolic links, locks of other
// processes and of directories.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/file_system.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

class PosixFileSystemTest : public ::testing::Test {
 protected:
  ScopedTempDir dir_;
  std::unique_ptr<FileSystem> fs_ = NewPlatformFileSystem();
};

TEST_F(PosixFileSystemTest, APipeOpensWithoutWaitingAndIsNoRegularFile) {
  ASSERT_EQ(0, ::mkfifo("CONF_COM.CFG", 0600));
  // Nobody writes to it: a blocking open would wait here for ever.
  for (bool write : {false, true}) {
    std::unique_ptr<File> f;
    FsStatus s = fs_->Open("CONF_COM.CFG", OpenOptions{.write = write}, &f);
    ASSERT_TRUE(s.ok()) << s.text();
    EXPECT_FALSE(f->IsRegular());
  }
  FileInfo info;
  ASSERT_TRUE(fs_->Stat("CONF_COM.CFG", &info).ok());
  EXPECT_TRUE(info.exists);
  EXPECT_FALSE(info.regular || info.directory);
  EXPECT_EQ(-1, fs_->RegularFileSize("CONF_COM.CFG"));

  // A directory opens for reading too, and is no regular file either.
  ASSERT_TRUE(fs_->MakeDirectory("recu").ok());
  std::unique_ptr<File> d;
  ASSERT_TRUE(fs_->OpenForReading("recu", &d).ok());
  EXPECT_FALSE(d->IsRegular());
  EXPECT_EQ(EISDIR, fs_->Open("recu", OpenOptions{.write = true}, &d).code());
}

TEST_F(PosixFileSystemTest, LinksAreRefusedWhereAskedAndNeverCreatedThrough) {
  ASSERT_TRUE(fs_->MakeDirectory("elsewhere").ok());
  ASSERT_EQ(0, ::symlink("elsewhere/target", "A.DAT"));
  // An exclusive create does not write through a dangling link.
  std::unique_ptr<File> f;
  EXPECT_EQ(EEXIST, fs_->Create("A.DAT", CreateMode::kExclusive, &f).code());
  EXPECT_FALSE(fs_->Exists("elsewhere/target"));
  // A dangling link leads nowhere, yet stands there.
  FileInfo info;
  ASSERT_TRUE(fs_->Stat("A.DAT", &info).ok());
  EXPECT_TRUE(info.link);
  EXPECT_FALSE(info.exists || info.regular);
  EXPECT_EQ(ENOENT, info.missing);
  EXPECT_TRUE(fs_->Exists("A.DAT"));

  ASSERT_TRUE(fs_->Create("elsewhere/target", CreateMode::kExclusive, &f).ok());
  ASSERT_TRUE(f->Write("data", 4).ok());
  f.reset();
  EXPECT_EQ(4, fs_->RegularFileSize("A.DAT"));  // a link counts as what it leads to
  ASSERT_TRUE(fs_->Stat("A.DAT", &info).ok());
  EXPECT_TRUE(info.link && info.exists && info.regular);
  // A file taken for a directory.
  ASSERT_TRUE(fs_->Stat("A.DAT/x", &info).ok());
  EXPECT_FALSE(info.exists);
  EXPECT_EQ(ENOTDIR, info.missing);
  EXPECT_TRUE(fs_->OpenForReading("A.DAT", &f).ok());
  FsStatus s = fs_->Open("A.DAT", OpenOptions{.follow_links = false}, &f);
  EXPECT_EQ(ELOOP, s.code());
  // The system's own words.
  EXPECT_EQ("open A.DAT: Too many levels of symbolic links", s.text());
}

// Forks a process that locks |path|, reports on |ready| whether it could,
// and holds the lock until the parent closes the pipe |go|; returns its pid.
pid_t ForkHolder(const std::string& path, int ready, const int go[2]) {
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(go[1]);
    std::unique_ptr<FileSystem> fs = NewPlatformFileSystem();
    std::unique_ptr<FileLock> lock;
    char ok = fs->Lock(path, &lock, nullptr).ok() ? 'y' : 'n';
    if (::write(ready, &ok, 1) != 1) _exit(2);
    char b;
    while (::read(go[0], &b, 1) > 0) {
    }
    _exit(0);
  }
  return pid;
}

TEST_F(PosixFileSystemTest, LocksOfAnotherProcessAndOfDirectoriesNameTheirHolder) {
  ASSERT_TRUE(fs_->MakeDirectory("station").ok());
  for (const std::string path : {"station", "station/lock"}) {
    SCOPED_TRACE(path);
    // Held by this process through another instance.
    std::unique_ptr<FileSystem> other = NewPlatformFileSystem();
    std::unique_ptr<FileLock> held, refused;
    ASSERT_TRUE(other->Lock(path, &held, nullptr).ok());
    int holder = -1;
    FsStatus s = fs_->Lock(path, &refused, &holder);
    EXPECT_EQ(EAGAIN, s.code()) << s.text();
    EXPECT_EQ(::getpid(), holder);
    EXPECT_EQ(nullptr, refused);
    held.reset();

    // Held by another process, then free once it is gone.
    int ready[2], go[2];
    ASSERT_EQ(0, ::pipe(ready));
    ASSERT_EQ(0, ::pipe(go));
    pid_t child = ForkHolder(path, ready[1], go);
    ASSERT_GT(child, 0);
    ::close(go[0]);
    char ok = 0;
    ASSERT_EQ(1, ::read(ready[0], &ok, 1));
    EXPECT_EQ('y', ok);
    EXPECT_EQ(EAGAIN, fs_->Lock(path, &refused, &holder).code());
    EXPECT_EQ(child, holder);
    ::close(go[1]);
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(fs_->Lock(path, &refused, &holder).ok());
  }
  EXPECT_TRUE(fs_->Exists("station/lock"));
}

}  // namespace
}  // namespace kavelin2
