// An in-memory file system for tests that knows what a power cut keeps.
//
// For every file it keeps the bytes written (what a reader sees) and the
// bytes durable (as they were at the file's last Sync). For every directory
// it keeps its entries, its entries as they were at its last SyncDirectory,
// and the entry changes made since (creates, renames, removes, directories
// made): those are not durable yet.
//
// CutPower() is the crash: every byte and every entry change that is not
// durable is forgotten, open files and held locks die with the process, and
// what is left is what the restarted station finds. A real file system may
// also keep some of what was not durable, so CutPower(survivors) lets each
// pending change be kept or lost:
//   - an entry change is kept or lost whole. A rename is one change: the
//     new name and the old one's going happen together, or neither does.
//   - a file's unsynced bytes are kept as a prefix: the durable bytes up to
//     the first one changed since the sync, then the first k bytes written
//     after them (k from 0 to all). That models appends and a truncate
//     followed by appends, written to the disk in order. A real file system
//     may keep any subset of unsynced pages, holes of zeros, or old bytes
//     past a truncate; those states are not produced here.
//
// It can also fail the n-th call of a kind (FsOp) with any errno-like code,
// once or from then on (a full disk), a write possibly going through in part
// first.
//
// The working directory is the root: "recu/A.DAT" and "/recu/A.DAT" name the
// same file. There are no links, no other processes, and no rights but a
// file made unreadable on purpose (DenyReading); Lock()
// refuses a second holder in the same fake with the pid set by set_pid().
// Not thread-safe. Files and locks may outlive the fake (they then fail).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace kavelin2 {

// The kinds of call the fake counts and can fail.
enum class FsOp {
  kOpen,           // FileSystem::Open
  kCreate,         // FileSystem::Create
  kRead,           // File::Read
  kWrite,          // File::Write, File::WriteAt
  kSeek,           // File::Seek, File::Skip
  kTruncate,       // File::Truncate
  kSize,           // File::Size
  kSync,           // File::Sync
  kClose,          // File::Close (not the close of a destroyed File)
  kRename,         // FileSystem::Rename
  kRemove,         // FileSystem::Remove
  kSyncDirectory,  // FileSystem::SyncDirectory
  kStat,           // FileSystem::Stat
  kList,           // FileSystem::ListDirectory
  kMakeDirectory,  // FileSystem::MakeDirectory
  kLock,           // FileSystem::Lock
};
constexpr int kFsOpCount = 16;

// "write", "sync directory", ...: the operation's name in error texts.
const char* FsOpName(FsOp op);

// A failure to inject: the |nth| call of |op| counted from the injection
// (1: the next one) fails with |code|; with |from_then_on| every later one
// fails too. The |nth| call, when a write, first writes |written| bytes of
// its data (a short write), when it has that many.
struct FsFault {
  FsOp op = FsOp::kWrite;
  int nth = 1;
  int code = EIO;
  bool from_then_on = false;
  size_t written = 0;
};

// Which pending changes a power cut keeps.
struct Survivors {
  enum class Kind { kNone, kAll, kRandom, kSubset };
  Kind kind = Kind::kNone;
  uint64_t value = 0;  // the seed (kRandom) or the mask (kSubset)

  // Only what is durable survives (the leveldb model).
  static Survivors None() { return {Kind::kNone, 0}; }
  // Every change survives, as if the cut came after everything reached the
  // disk (but open files and locks are still lost).
  static Survivors All() { return {Kind::kAll, 0}; }
  // Each entry change kept or lost at random, each file's unsynced bytes
  // cut at a random length, the same for the same |seed|.
  static Survivors Random(uint64_t seed) { return {Kind::kRandom, seed}; }
  // The i-th pending change (in the order PendingChanges() counts them) is
  // kept when bit i of |mask| is set; a kept file change keeps all of its
  // unsynced bytes. Enumerates every survivor state when run for each mask
  // below 2^PendingChanges().
  static Survivors Subset(uint64_t mask) { return {Kind::kSubset, mask}; }
};

class FakeFileSystem : public FileSystem {
 public:
  FakeFileSystem();
  ~FakeFileSystem() override;
  FakeFileSystem(const FakeFileSystem&) = delete;
  FakeFileSystem& operator=(const FakeFileSystem&) = delete;

  FsStatus Open(const std::string& path, const OpenOptions& options,
                std::unique_ptr<File>* file) override;
  FsStatus Create(const std::string& path, CreateMode mode, std::unique_ptr<File>* file) override;
  FsStatus Rename(const std::string& from, const std::string& to) override;
  FsStatus Remove(const std::string& path) override;
  FsStatus SyncDirectory(const std::string& dir) override;
  FsStatus Stat(const std::string& path, FileInfo* info) override;
  FsStatus ListDirectory(const std::string& dir, std::vector<std::string>* names) override;
  FsStatus MakeDirectory(const std::string& path) override;
  FsStatus Lock(const std::string& path, std::unique_ptr<FileLock>* lock, int* holder_pid) override;

  // Failures.
  void Inject(const FsFault& fault);
  // The |n|-th call of |op| from now fails with |code|, once.
  void FailNth(FsOp op, int n, int code) { Inject({op, n, code, false, 0}); }
  // The |n|-th call of |op| from now and every later one fail with |code|.
  void FailFrom(FsOp op, int n, int code) { Inject({op, n, code, true, 0}); }
  void ClearFaults();

  // Calls made so far, of one kind or of all (failed ones included).
  int Calls(FsOp op) const;
  int Calls() const;

  // Power. CutPower() cuts and restores it at once: open files and locks
  // are dead, the file system serves the restarted station. CutPowerBefore
  // cuts it when the |n|-th call from now (of any kind) is made: that call
  // and every later one fail with EIO until PowerOn().
  void CutPower(const Survivors& survivors = Survivors::None());
  void CutPowerBefore(int n, const Survivors& survivors = Survivors::None());
  void PowerOn();
  bool PowerIsOff() const;
  // Changes a power cut now could keep or lose: entry changes not yet
  // durable, and files whose bytes differ from their durable ones.
  int PendingChanges() const;

  // Looking and setting up: never counted, never failed.
  // The bytes of the regular file at |path| now; nullopt when there is none.
  std::optional<std::string> Contents(const std::string& path) const;
  // Puts |bytes| at |path| durably (its directories made as needed).
  void PutDurably(const std::string& path, const std::string& bytes);
  // Puts an empty file of |kind| (a FIFO, a device) at |path| durably: it
  // opens at once, reads as empty, and is no regular file.
  void PutSpecialDurably(const std::string& path, FileKind kind);
  // The file at |path| can no longer be opened (EACCES), as one the
  // station's user has no right to read.
  void DenyReading(const std::string& path);
  // Makes |path| and its parents durably, as directories.
  void MakeDirectoriesDurably(const std::string& path);
  // Every regular file, as "recu/A.DAT", sorted.
  std::vector<std::string> ListFiles() const;
  // Every file with its size and how much of it is durable, one a line:
  // for the messages of failed checks.
  std::string Describe() const;
  // The process id Lock() reports for a holder.
  void set_pid(int pid);

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace kavelin2
