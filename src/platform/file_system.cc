// What every back end of the file system shares: error texts and the calls
// made of other calls.
#include "platform/file_system.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace kavelin2 {

std::string FsCodeText(int code) {
  // The codes the back ends map to, in words that do not depend on the C
  // library, so that a message reads the same under the fake and on both
  // platforms.
  static constexpr struct {
    int code;
    const char* text;
  } kTexts[] = {
      {ENOENT, "No such file or directory"}, {EEXIST, "File exists"},
      {EACCES, "Permission denied"},         {ENOSPC, "No space left on device"},
      {EIO, "Input/output error"},           {EISDIR, "Is a directory"},
      {ENOTDIR, "Not a directory"},          {EAGAIN, "Resource temporarily unavailable"},
      {EBADF, "Bad file descriptor"},        {EINVAL, "Invalid argument"},
      {ENAMETOOLONG, "File name too long"},  {EROFS, "Read-only file system"},
      {EMFILE, "Too many open files"},       {ENOTEMPTY, "Directory not empty"},
      {EBUSY, "Device or resource busy"},
  };
  for (const auto& t : kTexts) {
    if (t.code == code) return t.text;
  }
  return "Error " + std::to_string(code);
}

FsStatus FsError(const char* operation, const std::string& path, int code,
                 const std::string& reason) {
  std::string text = operation;
  text += ' ';
  text += path;
  text += ": ";
  text += reason.empty() ? FsCodeText(code) : reason;
  return FsStatus(code, std::move(text));
}

const char* FileKindName(FileKind kind) {
  switch (kind) {
    case FileKind::kRegular:
      return "regular file";
    case FileKind::kDirectory:
      return "directory";
    case FileKind::kFifo:
      return "FIFO";
    case FileKind::kCharDevice:
      return "character device";
    case FileKind::kBlockDevice:
      return "block device";
    case FileKind::kSocket:
      return "socket";
    case FileKind::kOther:
      break;
  }
  return "special file";
}

namespace {

// A file read through a buffer of one block. |pos_| is where the reader
// stands; the buffer holds the file's bytes from |buf_start_| on.
class BufferedReader : public File {
 public:
  BufferedReader(std::unique_ptr<File> file, size_t block)
      : file_(std::move(file)), block_(std::max<size_t>(block, 1)) {}

  const std::string& path() const override { return file_->path(); }
  FileKind Kind() const override { return file_->Kind(); }

  FsStatus Read(void* buf, size_t n, size_t* got) override {
    *got = 0;
    if (n == 0) return {};
    if (next_ >= buffer_.size()) {
      // A large read goes straight through: no copy, and no block for it.
      if (n >= block_) {
        FsStatus s = file_->Read(buf, n, got);
        return s;
      }
      buffer_.resize(block_);
      size_t came = 0;
      FsStatus s = file_->Read(buffer_.data(), block_, &came);
      buffer_.resize(came);
      next_ = 0;
      if (!s.ok()) return s;
    }
    *got = std::min(n, buffer_.size() - next_);
    std::memcpy(buf, buffer_.data() + next_, *got);
    next_ += *got;
    return {};
  }

  FsStatus Seek(int64_t offset) override {
    Drop();
    return file_->Seek(offset);
  }
  FsStatus Skip(int64_t count) override {
    const int64_t left = static_cast<int64_t>(buffer_.size() - next_);
    if (count >= 0 && count <= left) {
      next_ += static_cast<size_t>(count);
      return {};
    }
    // The file stands at the buffer's end: what the buffer held counts.
    Drop();
    return file_->Skip(count - left);
  }

  FsStatus Write(const void*, size_t) override { return Refused("write"); }
  FsStatus WriteAt(int64_t, const void*, size_t) override { return Refused("write"); }
  FsStatus Truncate(int64_t) override { return Refused("truncate"); }
  FsStatus Size(int64_t* size) override { return file_->Size(size); }
  FsStatus Sync() override { return file_->Sync(); }
  FsStatus Close() override {
    Drop();
    return file_->Close();
  }

 private:
  void Drop() {
    buffer_.clear();
    next_ = 0;
  }
  FsStatus Refused(const char* operation) const { return FsError(operation, path(), EBADF); }

  std::unique_ptr<File> file_;
  size_t block_;
  std::vector<uint8_t> buffer_;
  size_t next_ = 0;
};

}  // namespace

std::unique_ptr<File> NewBufferedReader(std::unique_ptr<File> file, size_t block) {
  if (file == nullptr) return nullptr;
  return std::make_unique<BufferedReader>(std::move(file), block);
}

FsStatus File::ReadFull(void* buf, size_t n, size_t* got) {
  *got = 0;
  auto* out = static_cast<char*>(buf);
  while (*got < n) {
    size_t r = 0;
    FsStatus s = Read(out + *got, n - *got, &r);
    if (!s.ok()) return s;
    if (r == 0) break;
    *got += r;
  }
  return {};
}

FsStatus FileSystem::CreateUnique(const std::string& prefix, std::unique_ptr<File>* file) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device seed;
  std::mt19937 pick(seed());
  FsStatus s;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = prefix;
    for (int i = 0; i < 6; ++i) path += kLetters[pick() % (sizeof kLetters - 1)];
    s = Create(path, CreateMode::kExclusive, file);
    if (s.code() != EEXIST) return s;
  }
  return s;
}

FsStatus FileSystem::OpenForReading(const std::string& path, std::unique_ptr<File>* file) {
  return Open(path, OpenOptions{}, file);
}

FsStatus FileSystem::SyncParentDirectory(const std::string& path) {
  return SyncDirectory(ParentDirectory(path));
}

bool FileSystem::Exists(const std::string& path) {
  FileInfo info;
  return Stat(path, &info).ok() && (info.exists || info.link);
}

int64_t FileSystem::RegularFileSize(const std::string& path) {
  FileInfo info;
  if (!Stat(path, &info).ok() || !info.regular) return -1;
  return info.size;
}

std::string ParentDirectory(const std::string& path) {
  // Trailing slashes name the same entry: "recu/" lives where "recu" does.
  size_t last = path.find_last_not_of('/');
  if (last == std::string::npos) return path.empty() ? "" : "/";
  size_t slash = path.find_last_of('/', last);
  if (slash == std::string::npos) return {};
  size_t end = path.find_last_not_of('/', slash);
  if (end == std::string::npos) return "/";
  return path.substr(0, end + 1);
}

}  // namespace kavelin2
