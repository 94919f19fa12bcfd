// The file system as the station uses it: received and sent files, the
// result logs, the settings files, the directories they live in. Callers
// never know which back end runs: file_system_posix.cc, file_system_win32.cc,
// or the in-memory fake of the tests (testing/fake_file_system.h).
//
// What "durable" means here. A file's bytes and size survive a power cut
// once File::Sync() has returned OK. A new name (a create, a rename, a
// directory made) or a name gone (a remove, the source of a rename) survives
// only once the directory holding it has been synced with SyncDirectory();
// before that a power cut may undo the change or keep it. On Windows a
// rename is written through before it returns and SyncDirectory() does
// nothing.
//
// Nothing here throws. Every call reports an FsStatus: OK, or an errno-like
// code and a text naming the operation, the path and the system's reason.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kavelin2 {

class FsStatus {
 public:
  // Success.
  FsStatus() = default;
  // A failure: |code| is an errno value (ENOENT, ENOSPC, EIO, EACCES,
  // EEXIST, EAGAIN, ...; 0 is taken as EIO); |text| says what failed and why.
  FsStatus(int code, std::string text) : code_(code == 0 ? EIO : code), text_(std::move(text)) {}

  bool ok() const { return code_ == 0; }
  int code() const { return code_; }
  // "<operation> <path>: <reason>" ("create recu/A.DAT: No space left on
  // device"); empty on success.
  const std::string& text() const { return text_; }

 private:
  int code_ = 0;
  std::string text_;
};

// The failure of |operation| ("open", "rename", ...) on |path| with the
// errno-like |code|, |reason| in the system's words (|code|'s usual text
// when empty). The one place every back end builds its error texts.
FsStatus FsError(const char* operation, const std::string& path, int code,
                 const std::string& reason = {});

// The usual text of the errno-like codes this interface reports ("No space
// left on device" for ENOSPC), the same on every platform; "Error <n>" for
// any other.
std::string FsCodeText(int code);

// What an open file is. Only a regular file holds data the station may send
// or keep; the rest is told apart so that a warning can say what was found.
enum class FileKind { kRegular, kDirectory, kFifo, kCharDevice, kBlockDevice, kSocket, kOther };

// "regular file", "directory", "FIFO", "character device", "block device",
// "socket", "special file": in the words of the system's own reasons.
const char* FileKindName(FileKind kind);

// An open file. Closed when destroyed (a failure to close is then lost: call
// Close() where it matters). Not shared between threads.
class File {
 public:
  virtual ~File() = default;

  // The path the file was opened by.
  virtual const std::string& path() const = 0;
  // What the file is, as the open handle tells it (not the path, which may
  // have changed since).
  virtual FileKind Kind() const = 0;
  // True for a regular file; false for a directory, a pipe, a device.
  bool IsRegular() const { return Kind() == FileKind::kRegular; }

  // Reads up to |n| bytes at the current position: *got is what came (0 at
  // the end of the file). One read of the system: fewer than |n| bytes is
  // not the end. *got is 0 on failure.
  virtual FsStatus Read(void* buf, size_t n, size_t* got) = 0;
  // Writes all |n| bytes at the current position (at the end of the file for
  // a file created with CreateMode::kAppend). On failure some of them may
  // have been written.
  virtual FsStatus Write(const void* data, size_t n) = 0;
  // Writes all |n| bytes at |offset| without moving the current position.
  virtual FsStatus WriteAt(int64_t offset, const void* data, size_t n) = 0;
  // Moves the current position to |offset| bytes from the start / by |count|
  // bytes from where it is. A position past the end is allowed.
  virtual FsStatus Seek(int64_t offset) = 0;
  virtual FsStatus Skip(int64_t count) = 0;
  // Cuts (or extends with zeros) the file to |size| bytes; the current
  // position does not move.
  virtual FsStatus Truncate(int64_t size) = 0;
  // The file's size now.
  virtual FsStatus Size(int64_t* size) = 0;
  // Makes the file's bytes and size durable.
  virtual FsStatus Sync() = 0;
  // Closes the file. Every later call fails; Close() again reports OK.
  virtual FsStatus Close() = 0;

  // Reads until |n| bytes came or the file ended; *got is what came.
  FsStatus ReadFull(void* buf, size_t n, size_t* got);
};

// How an existing file is opened (FileSystem::Open).
struct OpenOptions {
  // Also for writing: Write, WriteAt, Truncate. Refused (EACCES) on a file
  // the station may not write.
  bool write = false;
  // False: a symbolic link as the last part of the path is refused (ELOOP),
  // so that a planted link never leads the station elsewhere. POSIX only.
  bool follow_links = true;
};

// How FileSystem::Create treats a name already in use.
enum class CreateMode {
  kExclusive,  // refused (EEXIST) when anything stands at the path, a link too
  kTruncate,   // an existing file is emptied
  kAppend,     // an existing file is kept, and every Write goes to its end
};

// What stands at a path (FileSystem::Stat). A symbolic link counts as what
// it leads to.
struct FileInfo {
  bool exists = false;     // the path leads to something: a file, a directory, a device
  bool link = false;       // the path itself is a symbolic link (POSIX), perhaps dangling
  bool regular = false;    // a regular file
  bool directory = false;  // a directory
  int64_t size = 0;        // size of the regular file, else 0
  int missing = 0;         // when !exists, why: ENOENT, or ENOTDIR for a file as a directory
};

// A held lock (FileSystem::Lock). Released when destroyed.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens the existing |path|. Opening never waits: a pipe or a device of
  // that name opens at once (and reports !IsRegular()); a regular file then
  // reads and writes as usual (blocking, never EAGAIN). A directory opened
  // for reading may be refused with EISDIR instead (Windows). The position
  // starts at 0.
  virtual FsStatus Open(const std::string& path, const OpenOptions& options,
                        std::unique_ptr<File>* file) = 0;
  // Creates |path| (ordinary rights: readable and writable by whoever the
  // process's defaults allow), open for reading and writing. The new name is
  // durable only once its directory is synced.
  virtual FsStatus Create(const std::string& path, CreateMode mode,
                          std::unique_ptr<File>* file) = 0;

  // Renames |from| to |to|, replacing a file at |to| in one step: a reader
  // sees the old file or the new one, never none.
  virtual FsStatus Rename(const std::string& from, const std::string& to) = 0;
  // Removes the file |path| (never a directory: EISDIR). ENOENT when there
  // was none. An open file stays readable through its File.
  virtual FsStatus Remove(const std::string& path) = 0;
  // Makes the entry changes of directory |dir| durable ("" is the working
  // directory). Does nothing on Windows.
  virtual FsStatus SyncDirectory(const std::string& dir) = 0;

  // What stands at |path|. Nothing there is no failure: OK with !exists.
  // Fails only when the system cannot tell (EACCES on a directory above).
  virtual FsStatus Stat(const std::string& path, FileInfo* info) = 0;
  // The names in directory |dir| ("." and ".." left out), sorted bytewise.
  virtual FsStatus ListDirectory(const std::string& dir, std::vector<std::string>* names) = 0;
  // Makes directory |path| (one level; EEXIST when something is there).
  virtual FsStatus MakeDirectory(const std::string& path) = 0;

  // Takes an exclusive lock on |path| without waiting: a file (created
  // when missing) or, on POSIX, a directory. Refused with EAGAIN while
  // another holder, in this process or another, has it; *holder_pid (when
  // not null) is then the holder's process id, or 0 when it cannot be told.
  // The lock ends with the FileLock or with the holder's process.
  virtual FsStatus Lock(const std::string& path, std::unique_ptr<FileLock>* lock,
                        int* holder_pid) = 0;

  // Creates a new file (as CreateMode::kExclusive) named |prefix| followed
  // by six letters or digits that no file has; (*file)->path() is its name.
  // For a temporary file beside the one it is to replace.
  FsStatus CreateUnique(const std::string& prefix, std::unique_ptr<File>* file);
  // Open(path, {}) : read only, links followed.
  FsStatus OpenForReading(const std::string& path, std::unique_ptr<File>* file);
  // SyncDirectory of the directory that holds |path|.
  FsStatus SyncParentDirectory(const std::string& path);
  // True when anything stands at |path| (a dangling link too).
  bool Exists(const std::string& path);
  // Size of the regular file at |path|; -1 when there is none there.
  int64_t RegularFileSize(const std::string& path);
};

// |file| read through a buffer of |block| bytes: each Read of the system
// brings a whole block, so that reading a file a few bytes at a time (a
// table, entry by entry) costs one call per block. Seek and Skip move within
// the buffer or drop it; writes are refused (EBADF). For files only read.
std::unique_ptr<File> NewBufferedReader(std::unique_ptr<File> file, size_t block = 64 * 1024);

// The directory that holds |path| as SyncDirectory takes it: "recu" for
// "recu/A.DAT", "" for "A.DAT", "/" for "/A.DAT".
std::string ParentDirectory(const std::string& path);

// The file system of the platform the program is built for.
std::unique_ptr<FileSystem> NewPlatformFileSystem();

}  // namespace kavelin2
