// What every back end of the file system shares: error texts and the calls
// made of other calls.
#include "platform/file_system.h"

#include <random>

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
