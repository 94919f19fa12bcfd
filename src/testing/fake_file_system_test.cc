#include "testing/fake_file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <set>
#include <string>

namespace kavelin2 {
namespace {

// The file's bytes, "<none>" when there is no file.
std::string Bytes(const FakeFileSystem& fs, const std::string& path) {
  return fs.Contents(path).value_or("<none>");
}

FsStatus WriteText(File& f, const std::string& text) { return f.Write(text.data(), text.size()); }

std::unique_ptr<File> Make(FakeFileSystem& fs, const std::string& path, CreateMode mode) {
  std::unique_ptr<File> f;
  FsStatus s = fs.Create(path, mode, &f);
  EXPECT_TRUE(s.ok()) << s.text();
  return f;
}

TEST(FakeFileSystem, TheNthWriteFailsOnceAndTheCountsSayWhatRan) {
  FakeFileSystem fs;
  std::unique_ptr<File> f = Make(fs, "A.DAT", CreateMode::kExclusive);
  fs.FailNth(FsOp::kWrite, 2, EIO);
  EXPECT_TRUE(WriteText(*f, "one.").ok());
  FsStatus s = WriteText(*f, "two.");
  EXPECT_EQ(EIO, s.code());
  EXPECT_EQ("write A.DAT: Input/output error", s.text());
  EXPECT_TRUE(WriteText(*f, "three.").ok());
  EXPECT_EQ("one.three.", Bytes(fs, "A.DAT"));
  EXPECT_EQ(3, fs.Calls(FsOp::kWrite));
  EXPECT_EQ(1, fs.Calls(FsOp::kCreate));
  EXPECT_EQ(4, fs.Calls());
}

TEST(FakeFileSystem, AFullDiskFailsEveryWriteFromTheNthOnAfterAShortOne) {
  FakeFileSystem fs;
  std::unique_ptr<File> f = Make(fs, "recu.tmp", CreateMode::kAppend);
  fs.Inject({FsOp::kWrite, 3, ENOSPC, true, 2});
  EXPECT_TRUE(WriteText(*f, "aaaa").ok());
  EXPECT_TRUE(WriteText(*f, "bbbb").ok());
  EXPECT_EQ(ENOSPC, WriteText(*f, "cccc").code());  // two bytes still went
  EXPECT_EQ(ENOSPC, WriteText(*f, "dddd").code());
  EXPECT_EQ(ENOSPC, f->WriteAt(0, "e", 1).code());
  EXPECT_EQ("aaaabbbbcc", Bytes(fs, "recu.tmp"));
  // Other kinds are not concerned; once room is made, writes go through.
  EXPECT_TRUE(f->Truncate(8).ok());
  EXPECT_TRUE(f->Sync().ok());
  fs.ClearFaults();
  EXPECT_TRUE(WriteText(*f, "dddd").ok());
  EXPECT_EQ("aaaabbbbdddd", Bytes(fs, "recu.tmp"));
}

// Each kind of call, failed once, fails with the code asked for and changes
// nothing; the same call made again succeeds.
TEST(FakeFileSystem, EveryKindOfCallCanFailAndAFailedCallChangesNothing) {
  struct Case {
    FsOp op;
    int code;
    std::function<FsStatus(FakeFileSystem&)> call;
    bool changes = true;  // the call, once it succeeds, changes the files
  };
  auto open_write = [](FakeFileSystem& fs, std::unique_ptr<File>* f) {
    return fs.Open("d/old", OpenOptions{.write = true}, f);
  };
  const Case kCases[] = {
      {FsOp::kOpen, EACCES,
       [](FakeFileSystem& fs) {
         std::unique_ptr<File> f;
         return fs.OpenForReading("d/old", &f);
       },
       false},
      {FsOp::kCreate, ENOSPC,
       [](FakeFileSystem& fs) {
         std::unique_ptr<File> f;
         return fs.Create("d/new", CreateMode::kExclusive, &f);
       }},
      {FsOp::kCreate, EACCES,
       [](FakeFileSystem& fs) {
         std::unique_ptr<File> f;
         return fs.Create("d/old", CreateMode::kTruncate, &f);
       }},
      {FsOp::kTruncate, EIO,
       [&](FakeFileSystem& fs) {
         std::unique_ptr<File> f;
         FsStatus s = open_write(fs, &f);
         return s.ok() ? f->Truncate(1) : s;
       }},
      {FsOp::kRename, EACCES, [](FakeFileSystem& fs) { return fs.Rename("d/old", "d/new"); }},
      {FsOp::kRemove, EIO, [](FakeFileSystem& fs) { return fs.Remove("d/old"); }},
      {FsOp::kMakeDirectory, ENOSPC, [](FakeFileSystem& fs) { return fs.MakeDirectory("e"); }},
      {FsOp::kLock, EACCES,
       [](FakeFileSystem& fs) {
         std::unique_ptr<FileLock> lock;
         return fs.Lock("d/lock", &lock, nullptr);
       }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(FsOpName(c.op));
    FakeFileSystem fs;
    fs.PutDurably("d/old", "old bytes");
    const std::string before = fs.Describe();
    fs.FailNth(c.op, 1, c.code);
    FsStatus s = c.call(fs);
    EXPECT_EQ(c.code, s.code()) << s.text();
    EXPECT_EQ(0u, s.text().rfind(FsOpName(c.op), 0)) << s.text();
    EXPECT_EQ(before, fs.Describe());
    EXPECT_EQ(1, fs.Calls(c.op));
    s = c.call(fs);
    EXPECT_TRUE(s.ok()) << s.text();
    EXPECT_EQ(c.changes, before != fs.Describe());
  }
}

TEST(FakeFileSystem, AFailedSyncLeavesTheBytesAtTheMercyOfAPowerCut) {
  FakeFileSystem fs;
  fs.PutDurably("A.DAT", "old");
  std::unique_ptr<File> f;
  ASSERT_TRUE(fs.Open("A.DAT", OpenOptions{.write = true}, &f).ok());
  ASSERT_TRUE(f->Seek(3).ok());
  ASSERT_TRUE(WriteText(*f, "+new").ok());
  fs.FailNth(FsOp::kSync, 1, EIO);
  EXPECT_EQ(EIO, f->Sync().code());
  fs.FailNth(FsOp::kSyncDirectory, 1, EIO);
  EXPECT_EQ(EIO, fs.SyncDirectory("").code());
  fs.CutPower();
  EXPECT_EQ("old", Bytes(fs, "A.DAT"));
  EXPECT_EQ(EIO, WriteText(*f, "x").code());  // a file of before the cut is dead
}

TEST(FakeFileSystem, APowerCutForgetsUnsyncedBytesAndUndurableEntryChanges) {
  for (bool sync_directory : {false, true}) {
    SCOPED_TRACE(sync_directory ? "directory synced" : "directory not synced");
    FakeFileSystem fs;
    for (const char* name : {"recu/A", "recu/B", "recu/C"}) fs.PutDurably(name, name);
    EXPECT_EQ(0, fs.PendingChanges());

    std::unique_ptr<File> a = Make(fs, "recu/A", CreateMode::kAppend);
    ASSERT_TRUE(WriteText(*a, "+more").ok());  // bytes never synced
    std::unique_ptr<File> n = Make(fs, "recu/N", CreateMode::kExclusive);
    ASSERT_TRUE(WriteText(*n, "new").ok());
    ASSERT_TRUE(n->Sync().ok());  // bytes durable, the name not yet
    ASSERT_TRUE(fs.Remove("recu/B").ok());
    ASSERT_TRUE(fs.Rename("recu/C", "recu/D").ok());
    ASSERT_TRUE(fs.MakeDirectory("recu/sub").ok());
    // Four entry changes, one file's unsynced bytes.
    EXPECT_EQ(5, fs.PendingChanges()) << fs.Describe();
    // What a reader sees before the cut.
    EXPECT_EQ((std::vector<std::string>{"recu/A", "recu/D", "recu/N"}), fs.ListFiles());
    if (sync_directory) {
      ASSERT_TRUE(fs.SyncDirectory("recu").ok());
    }

    fs.CutPower();
    EXPECT_EQ("recu/A", Bytes(fs, "recu/A"));
    EXPECT_EQ(EIO, WriteText(*a, "x").code());
    EXPECT_EQ(0, fs.PendingChanges());
    if (sync_directory) {
      EXPECT_EQ((std::vector<std::string>{"recu/A", "recu/D", "recu/N"}), fs.ListFiles());
      EXPECT_EQ("new", Bytes(fs, "recu/N"));
      EXPECT_EQ("recu/C", Bytes(fs, "recu/D"));
      EXPECT_TRUE(fs.Exists("recu/sub"));
    } else {
      EXPECT_EQ((std::vector<std::string>{"recu/A", "recu/B", "recu/C"}), fs.ListFiles());
      EXPECT_EQ("recu/B", Bytes(fs, "recu/B"));
      EXPECT_FALSE(fs.Exists("recu/sub"));
    }
  }
}

TEST(FakeFileSystem, ADirectoryNotDurableTakesItsDurableFilesWithIt) {
  FakeFileSystem fs;
  ASSERT_TRUE(fs.MakeDirectory("log").ok());
  std::unique_ptr<File> f = Make(fs, "log/STAT.TXT", CreateMode::kAppend);
  ASSERT_TRUE(WriteText(*f, "line\n").ok());
  ASSERT_TRUE(f->Sync().ok());
  ASSERT_TRUE(fs.SyncDirectory("log").ok());
  fs.CutPower(Survivors::None());
  EXPECT_FALSE(fs.Exists("log"));
  EXPECT_TRUE(fs.ListFiles().empty());
  // Made durable by a sync of its parent, it survives with them.
  ASSERT_TRUE(fs.MakeDirectory("log").ok());
  ASSERT_TRUE(fs.SyncDirectory("").ok());
  f = Make(fs, "log/STAT.TXT", CreateMode::kAppend);
  ASSERT_TRUE(WriteText(*f, "line\n").ok());
  ASSERT_TRUE(f->Sync().ok());
  ASSERT_TRUE(fs.SyncParentDirectory("log/STAT.TXT").ok());
  fs.CutPower();
  EXPECT_EQ("line\n", Bytes(fs, "log/STAT.TXT"));
}

// A received file written to a temporary name, synced and renamed over the
// old one, its directory not synced: one file change (none: its bytes are
// synced) and one entry change.
void RenameOverScenario(FakeFileSystem& fs) {
  fs.PutDurably("recu/T.DAT", "old");
  std::unique_ptr<File> f = Make(fs, "recu/T.tmp", CreateMode::kExclusive);
  ASSERT_TRUE(WriteText(*f, "new").ok());
  ASSERT_TRUE(f->Sync().ok());
  ASSERT_TRUE(fs.SyncDirectory("recu").ok());
  ASSERT_TRUE(fs.Rename("recu/T.tmp", "recu/T.DAT").ok());
}

TEST(FakeFileSystem, ARenameOverAFileSurvivesWholeOrNotAtAll) {
  std::set<std::string> seen;
  for (uint64_t seed = 0; seed < 64; ++seed) {
    FakeFileSystem fs;
    RenameOverScenario(fs);
    ASSERT_EQ(1, fs.PendingChanges());
    fs.CutPower(Survivors::Random(seed));
    std::string state = Bytes(fs, "recu/T.DAT") + "|" + Bytes(fs, "recu/T.tmp");
    // Old and the new one still aside, or new alone; never no file.
    EXPECT_TRUE(state == "old|new" || state == "new|<none>") << state;
    seen.insert(state);
  }
  EXPECT_EQ(2u, seen.size());
}

// Unsynced bytes after a truncate: the durable file, or the part before the
// first change followed by a prefix of what was written since.
TEST(FakeFileSystem, UnsyncedBytesSurviveAsAPrefixOfWhatWasWritten) {
  const std::set<std::string> allowed = {"0123456789", "0123", "0123a", "0123ab", "0123abc"};
  std::set<std::string> seen;
  for (uint64_t seed = 0; seed < 200; ++seed) {
    FakeFileSystem fs;
    fs.PutDurably("T", "0123456789");
    std::unique_ptr<File> f;
    ASSERT_TRUE(fs.Open("T", OpenOptions{.write = true}, &f).ok());
    ASSERT_TRUE(f->Truncate(4).ok());
    ASSERT_TRUE(f->WriteAt(4, "abc", 3).ok());
    fs.CutPower(Survivors::Random(seed));
    std::string bytes = Bytes(fs, "T");
    EXPECT_EQ(1u, allowed.count(bytes)) << bytes;
    seen.insert(bytes);
  }
  EXPECT_EQ(allowed, seen);
  // The same seed, the same survivors.
  std::string first;
  for (int i = 0; i < 2; ++i) {
    FakeFileSystem fs;
    fs.PutDurably("T", "0123456789");
    std::unique_ptr<File> f = Make(fs, "T", CreateMode::kAppend);
    ASSERT_TRUE(WriteText(*f, "more bytes").ok());
    fs.CutPower(Survivors::Random(7));
    if (i == 0) first = Bytes(fs, "T");
    EXPECT_EQ(first, Bytes(fs, "T"));
  }
}

// Every subset of three pending changes gives its own state: the appended
// bytes, the rename (whole), the new empty file.
TEST(FakeFileSystem, SubsetsEnumerateEverySurvivorState) {
  std::set<std::string> states;
  for (uint64_t mask = 0; mask < 8; ++mask) {
    FakeFileSystem fs;
    fs.PutDurably("A", "a");
    fs.PutDurably("C", "c");
    std::unique_ptr<File> a = Make(fs, "A", CreateMode::kAppend);
    ASSERT_TRUE(WriteText(*a, "++").ok());
    ASSERT_TRUE(fs.Rename("C", "D").ok());
    std::unique_ptr<File> n = Make(fs, "N", CreateMode::kExclusive);
    ASSERT_EQ(3, fs.PendingChanges());
    fs.CutPower(Survivors::Subset(mask));
    // Entry changes in the order they were made, then files.
    bool renamed = mask & 1, created = mask & 2, appended = mask & 4;
    EXPECT_EQ(appended ? "a++" : "a", Bytes(fs, "A")) << mask;
    EXPECT_EQ(renamed ? "<none>" : "c", Bytes(fs, "C")) << mask;
    EXPECT_EQ(renamed ? "c" : "<none>", Bytes(fs, "D")) << mask;
    EXPECT_EQ(created ? "" : "<none>", Bytes(fs, "N")) << mask;
    states.insert(fs.Describe());
  }
  EXPECT_EQ(8u, states.size());
  // All: everything, as if it had been synced.
  FakeFileSystem fs;
  fs.PutDurably("C", "c");
  ASSERT_TRUE(fs.Rename("C", "D").ok());
  fs.CutPower(Survivors::All());
  EXPECT_EQ((std::vector<std::string>{"D"}), fs.ListFiles());
}

TEST(FakeFileSystem, APowerCutDueAtTheNthCallStopsEveryCallUntilPowerComesBack) {
  FakeFileSystem fs;
  fs.PutDurably("T", "old");
  fs.CutPowerBefore(3);
  std::unique_ptr<File> f = Make(fs, "T.tmp", CreateMode::kExclusive);  // call 1
  ASSERT_TRUE(WriteText(*f, "new").ok());                               // call 2
  EXPECT_FALSE(fs.PowerIsOff());
  EXPECT_EQ(EIO, f->Sync().code());  // call 3: the power goes
  EXPECT_TRUE(fs.PowerIsOff());
  FsStatus s = fs.Rename("T.tmp", "T");
  EXPECT_EQ(EIO, s.code());
  EXPECT_EQ("rename T.tmp to T: the power is off", s.text());
  fs.PowerOn();
  EXPECT_EQ((std::vector<std::string>{"T"}), fs.ListFiles());
  EXPECT_EQ("old", Bytes(fs, "T"));
  EXPECT_EQ(EIO, WriteText(*f, "x").code());
  EXPECT_EQ(5, fs.Calls());
}

TEST(FakeFileSystem, ALockIsRefusedWhileHeldAndDiesWithThePower) {
  FakeFileSystem fs;
  fs.set_pid(1234);
  std::unique_ptr<FileLock> first, second;
  ASSERT_TRUE(fs.Lock("station.lock", &first, nullptr).ok());
  int holder = 0;
  FsStatus s = fs.Lock("station.lock", &second, &holder);
  EXPECT_EQ(EAGAIN, s.code());
  EXPECT_EQ(1234, holder);
  first.reset();
  ASSERT_TRUE(fs.Lock("station.lock", &second, &holder).ok());
  fs.CutPower(Survivors::All());
  ASSERT_TRUE(fs.Lock("station.lock", &first, &holder).ok());
  second.reset();  // the dead lock's end does not free the new one
  EXPECT_EQ(EAGAIN, fs.Lock("station.lock", &second, &holder).code());
}

TEST(FakeFileSystem, PathsResolveAsOnDiskAndMisusesFailAsThere) {
  FakeFileSystem fs;
  fs.MakeDirectoriesDurably("recu/sub");
  fs.PutDurably("recu/A", "a");
  EXPECT_EQ("a", Bytes(fs, "./recu//A"));
  EXPECT_EQ("a", Bytes(fs, "recu/sub/../A"));
  EXPECT_EQ("a", Bytes(fs, "/recu/A"));
  std::unique_ptr<File> f;
  EXPECT_EQ(ENOENT, fs.Create("none/A", CreateMode::kExclusive, &f).code());
  EXPECT_EQ(ENOTDIR, fs.Create("recu/A/B", CreateMode::kExclusive, &f).code());
  EXPECT_EQ(EEXIST, fs.Create("recu/A", CreateMode::kExclusive, &f).code());
  EXPECT_EQ(EISDIR, fs.Create("recu", CreateMode::kTruncate, &f).code());
  EXPECT_EQ(EISDIR, fs.Remove("recu/sub").code());
  EXPECT_EQ(ENOENT, fs.Remove("recu/B").code());
  EXPECT_EQ(EISDIR, fs.Rename("recu/A", "recu/sub").code());
  EXPECT_EQ(ENOTDIR, fs.SyncDirectory("recu/A").code());
  FileInfo info;
  ASSERT_TRUE(fs.Stat("recu/A/B", &info).ok());
  EXPECT_EQ(ENOTDIR, info.missing);
  ASSERT_TRUE(fs.Stat("recu/B", &info).ok());
  EXPECT_FALSE(info.exists);
  EXPECT_EQ(ENOENT, info.missing);
  ASSERT_TRUE(fs.Stat("recu/A", &info).ok());
  EXPECT_TRUE(info.exists && info.regular && !info.directory && !info.link);
  EXPECT_EQ(1, info.size);
  std::vector<std::string> names;
  ASSERT_TRUE(fs.ListDirectory("recu", &names).ok());
  EXPECT_EQ((std::vector<std::string>{"A", "sub"}), names);
  ASSERT_TRUE(fs.OpenForReading("recu/A", &f).ok());
  EXPECT_EQ(EBADF, WriteText(*f, "x").code());
  ASSERT_TRUE(fs.OpenForReading("recu", &f).ok());
  EXPECT_FALSE(f->IsRegular());
  char b;
  size_t got;
  EXPECT_EQ(EISDIR, f->Read(&b, 1, &got).code());
  ASSERT_TRUE(f->Close().ok());
  EXPECT_EQ(EBADF, f->Read(&b, 1, &got).code());
  EXPECT_EQ("a", Bytes(fs, "recu/A"));
}

}  // namespace
}  // namespace kavelin2
