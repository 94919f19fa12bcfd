// The platform's file system against its contract, in a fresh directory:
// the same checks run on POSIX and, under Wine, on Windows.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "testing/test_station.h"

namespace kavelin2 {
namespace {

// Bytes a text-mode file would change: CR LF, a lone LF, Ctrl-Z, NUL, 0xFF.
const std::string kAwkward = std::string("a\r\nb\nc\x1a") + '\0' + "d\xff\r";

std::string ReadAll(FileSystem& fs, const std::string& path) {
  std::unique_ptr<File> f;
  if (!fs.OpenForReading(path, &f).ok()) return "<missing>";
  std::string out(4096, '\0');
  size_t got = 0;
  if (!f->ReadFull(out.data(), out.size(), &got).ok()) return "<unreadable>";
  out.resize(got);
  return out;
}

void Put(File& f, const std::string& bytes) {
  ASSERT_TRUE(f.Write(bytes.data(), bytes.size()).ok()) << f.path();
}

class PlatformFileSystemTest : public ::testing::Test {
 protected:
  ScopedTempDir dir_;
  std::unique_ptr<FileSystem> fs_ = NewPlatformFileSystem();
};

TEST_F(PlatformFileSystemTest, FilesKeepEveryByteAndAHeldFileIsRenamedOverAnother) {
  std::unique_ptr<File> f;
  ASSERT_TRUE(fs_->Create("data.tmp", CreateMode::kExclusive, &f).ok());
  EXPECT_TRUE(f->IsRegular());
  EXPECT_EQ("data.tmp", f->path());
  Put(*f, kAwkward);
  Put(*f, "tail");
  // A write at an offset leaves the position alone.
  ASSERT_TRUE(f->WriteAt(1, "Z", 1).ok());
  Put(*f, "!");
  int64_t size = 0;
  ASSERT_TRUE(f->Size(&size).ok());
  EXPECT_EQ(static_cast<int64_t>(kAwkward.size() + 5), size);
  EXPECT_TRUE(f->Sync().ok());

  // A second exclusive create of the name is refused, naming it.
  std::unique_ptr<File> again;
  FsStatus s = fs_->Create("data.tmp", CreateMode::kExclusive, &again);
  EXPECT_EQ(EEXIST, s.code());
  EXPECT_NE(std::string::npos, s.text().find("data.tmp")) << s.text();
  EXPECT_EQ(nullptr, again);

  // Renamed over an earlier file while still held, as a received file is.
  std::unique_ptr<File> earlier;
  ASSERT_TRUE(fs_->Create("final.dat", CreateMode::kTruncate, &earlier).ok());
  Put(*earlier, "earlier");
  ASSERT_TRUE(earlier->Close().ok());
  EXPECT_TRUE(earlier->Close().ok());  // a second close is harmless
  EXPECT_EQ(EBADF, earlier->Write("x", 1).code());
  ASSERT_TRUE(fs_->Rename("data.tmp", "final.dat").ok());
  EXPECT_TRUE(fs_->SyncParentDirectory("final.dat").ok());
  EXPECT_FALSE(fs_->Exists("data.tmp"));
  ASSERT_TRUE(f->Close().ok());
  std::string expected = kAwkward + "tail!";
  expected[1] = 'Z';
  EXPECT_EQ(expected, ReadAll(*fs_, "final.dat"));
  EXPECT_EQ(static_cast<int64_t>(expected.size()), fs_->RegularFileSize("final.dat"));

  // Reading: positions set and skipped, the end reads nothing.
  std::unique_ptr<File> in;
  ASSERT_TRUE(fs_->OpenForReading("final.dat", &in).ok());
  char buf[4];
  size_t got = 0;
  ASSERT_TRUE(in->Seek(3).ok());
  ASSERT_TRUE(in->ReadFull(buf, 2, &got).ok());
  EXPECT_EQ(expected.substr(3, 2), std::string(buf, got));
  ASSERT_TRUE(in->Skip(2).ok());
  ASSERT_TRUE(in->ReadFull(buf, 1, &got).ok());
  EXPECT_EQ(expected.substr(7, 1), std::string(buf, got));
  ASSERT_TRUE(in->Seek(static_cast<int64_t>(expected.size())).ok());
  ASSERT_TRUE(in->Read(buf, sizeof buf, &got).ok());
  EXPECT_EQ(0u, got);
  // Not open for writing.
  EXPECT_FALSE(in->Write("x", 1).ok());

  // A held file can be removed; a second removal finds nothing.
  ASSERT_TRUE(fs_->Remove("final.dat").ok());
  in.reset();
  EXPECT_FALSE(fs_->Exists("final.dat"));
  EXPECT_EQ(ENOENT, fs_->Remove("final.dat").code());
  EXPECT_EQ(ENOENT, fs_->Rename("final.dat", "other.dat").code());
  s = fs_->OpenForReading("none.dat", &in);
  EXPECT_EQ(ENOENT, s.code());
  EXPECT_EQ(0u, s.text().rfind("open none.dat: ", 0)) << s.text();
  EXPECT_EQ(-1, fs_->RegularFileSize("none.dat"));
}

TEST_F(PlatformFileSystemTest, AppendsGoToTheEndAndTruncatesLeaveThePosition) {
  std::unique_ptr<File> f;
  ASSERT_TRUE(fs_->Create("log.txt", CreateMode::kAppend, &f).ok());
  Put(*f, "one\n");
  ASSERT_TRUE(f->Close().ok());
  ASSERT_TRUE(fs_->Create("log.txt", CreateMode::kAppend, &f).ok());
  ASSERT_TRUE(f->Seek(0).ok());
  Put(*f, "two\n");
  EXPECT_EQ("one\ntwo\n", ReadAll(*fs_, "log.txt"));
  // Cut back to the first record: the next append follows it directly.
  ASSERT_TRUE(f->Truncate(4).ok());
  Put(*f, "three\n");
  f.reset();
  EXPECT_EQ("one\nthree\n", ReadAll(*fs_, "log.txt"));

  // An existing file opened for writing keeps its bytes until cut.
  ASSERT_TRUE(fs_->Open("log.txt", OpenOptions{.write = true}, &f).ok());
  ASSERT_TRUE(f->Truncate(3).ok());
  ASSERT_TRUE(f->Seek(3).ok());
  Put(*f, "!");
  f.reset();
  EXPECT_EQ("one!", ReadAll(*fs_, "log.txt"));

  // Files of their own beside it, for what is to replace it.
  std::unique_ptr<File> a, b;
  ASSERT_TRUE(fs_->CreateUnique("log.txt.", &a).ok());
  ASSERT_TRUE(fs_->CreateUnique("log.txt.", &b).ok());
  EXPECT_NE(a->path(), b->path());
  for (const File* f : {a.get(), b.get()}) {
    EXPECT_EQ(0u, f->path().rfind("log.txt.", 0)) << f->path();
    EXPECT_EQ(std::string("log.txt.").size() + 6, f->path().size()) << f->path();
    EXPECT_EQ(0, fs_->RegularFileSize(f->path()));
  }

  // Create-or-truncate empties it.
  ASSERT_TRUE(fs_->Create("log.txt", CreateMode::kTruncate, &f).ok());
  f.reset();
  EXPECT_EQ(0, fs_->RegularFileSize("log.txt"));
}

TEST_F(PlatformFileSystemTest, DirectoriesAreMadeListedAndSynced) {
  ASSERT_TRUE(fs_->MakeDirectory("RECU").ok());
  EXPECT_EQ(EEXIST, fs_->MakeDirectory("RECU").code());
  EXPECT_EQ(ENOENT, fs_->MakeDirectory("a/b").code());
  for (const char* name : {"RECU/b.dat", "RECU/a.dat", "RECU/c"}) {
    std::unique_ptr<File> f;
    ASSERT_TRUE(fs_->Create(name, CreateMode::kExclusive, &f).ok()) << name;
  }
  ASSERT_TRUE(fs_->MakeDirectory("RECU/sub").ok());
  std::vector<std::string> names;
  ASSERT_TRUE(fs_->ListDirectory("RECU", &names).ok());
  EXPECT_EQ((std::vector<std::string>{"a.dat", "b.dat", "c", "sub"}), names);
  ASSERT_TRUE(fs_->ListDirectory("", &names).ok());
  EXPECT_EQ(std::vector<std::string>{"RECU"}, names);
  EXPECT_EQ(ENOENT, fs_->ListDirectory("none", &names).code());
  EXPECT_TRUE(names.empty());

  FileInfo info;
  ASSERT_TRUE(fs_->Stat("RECU/sub", &info).ok());
  EXPECT_TRUE(info.exists && info.directory && !info.regular);
  EXPECT_EQ(0, info.missing);
  ASSERT_TRUE(fs_->Stat("RECU/none", &info).ok());
  EXPECT_FALSE(info.exists || info.link);
  EXPECT_EQ(ENOENT, info.missing);
  ASSERT_TRUE(fs_->Stat("none/none", &info).ok());
  EXPECT_EQ(ENOENT, info.missing);
  EXPECT_EQ(-1, fs_->RegularFileSize("RECU"));
  EXPECT_EQ(0, fs_->RegularFileSize("RECU/a.dat"));
  EXPECT_EQ(EISDIR, fs_->Remove("RECU/sub").code());

  EXPECT_TRUE(fs_->SyncDirectory("").ok());
  EXPECT_TRUE(fs_->SyncDirectory("RECU").ok());
  EXPECT_TRUE(fs_->SyncParentDirectory("RECU/a.dat").ok());
  EXPECT_TRUE(fs_->SyncParentDirectory("a.dat").ok());
}

TEST_F(PlatformFileSystemTest, ALockIsRefusedToASecondHolderUntilReleased) {
  std::unique_ptr<FileSystem> other = NewPlatformFileSystem();
  std::unique_ptr<FileLock> lock, second;
  ASSERT_TRUE(fs_->Lock("station.lock", &lock, nullptr).ok());
  EXPECT_TRUE(fs_->Exists("station.lock"));
  int holder = -1;
  FsStatus s = other->Lock("station.lock", &second, &holder);
  EXPECT_EQ(EAGAIN, s.code()) << s.text();
  EXPECT_EQ(nullptr, second);
  EXPECT_GT(holder, 0);
  lock.reset();
  EXPECT_TRUE(other->Lock("station.lock", &second, &holder).ok());
  EXPECT_EQ(EAGAIN, fs_->Lock("station.lock", &lock, nullptr).code());
}

TEST(ParentDirectory, NamesTheDirectoryADirectorySyncTakes) {
  const struct {
    const char* path;
    const char* parent;
  } kCases[] = {{"A.DAT", ""}, {"recu/A.DAT", "recu"}, {"/A.DAT", "/"},   {"/var/x/A", "/var/x"},
                {"a//b", "a"}, {"recu/", ""},          {"d/recu//", "d"}, {"/", "/"},
                {"", ""}};
  for (const auto& c : kCases) EXPECT_EQ(c.parent, ParentDirectory(c.path)) << c.path;
}

TEST(FsStatus, NamesTheOperationThePathAndTheReason) {
  FsStatus ok;
  EXPECT_TRUE(ok.ok());
  EXPECT_EQ(0, ok.code());
  EXPECT_EQ("", ok.text());
  FsStatus full = FsError("write", "recu/A.DAT", ENOSPC);
  EXPECT_FALSE(full.ok());
  EXPECT_EQ(ENOSPC, full.code());
  EXPECT_EQ("write recu/A.DAT: No space left on device", full.text());
  EXPECT_EQ("lock x: held", FsError("lock", "x", EAGAIN, "held").text());
  EXPECT_EQ(EIO, FsStatus(0, "no code").code());
  EXPECT_EQ("Error 9999", FsCodeText(9999));
}

}  // namespace
}  // namespace kavelin2

namespace kavelin2 {
namespace {

// Reads, skips and seeks through a buffer of 7 bytes land where the same
// calls land on the file itself, across the buffer's edges both ways.
TEST(BufferedReader, ReadsSkipsAndSeeksAsTheFileItself) {
  ScopedTempDir dir;
  auto fs = NewPlatformFileSystem();
  std::string data;
  for (int i = 0; i < 200; ++i) data.push_back(static_cast<char>('!' + i % 90));
  WriteFile("T", data);
  std::unique_ptr<File> plain, inner;
  ASSERT_TRUE(fs->OpenForReading("T", &plain).ok());
  ASSERT_TRUE(fs->OpenForReading("T", &inner).ok());
  std::unique_ptr<File> buffered = NewBufferedReader(std::move(inner), 7);
  EXPECT_TRUE(buffered->IsRegular());
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  for (int step = 0; step < 2000; ++step) {
    const uint32_t op = next(10);
    if (op < 6) {
      size_t n = 1 + next(20);
      char a[32] = {}, b[32] = {};
      size_t got_a = 0, got_b = 0;
      ASSERT_TRUE(plain->ReadFull(a, n, &got_a).ok());
      ASSERT_TRUE(buffered->ReadFull(b, n, &got_b).ok());
      ASSERT_EQ(std::string(a, got_a), std::string(b, got_b)) << "step " << step;
    } else if (op < 9) {
      int64_t count = static_cast<int64_t>(next(30)) - 10;
      ASSERT_EQ(plain->Skip(count).ok(), buffered->Skip(count).ok()) << "step " << step;
    } else {
      int64_t to = next(210);
      ASSERT_TRUE(plain->Seek(to).ok());
      ASSERT_TRUE(buffered->Seek(to).ok());
    }
  }
  EXPECT_FALSE(buffered->Write("x", 1).ok());
  EXPECT_EQ(data, ReadFile("T"));
}

}  // namespace
}  // namespace kavelin2
