#include "platform/durable_file.h"

namespace kavelin2 {

bool AppendAll(File& file, int64_t size, const uint8_t* data, size_t n, FsStatus* why) {
  FsStatus written = file.Write(data, n);
  if (written.ok()) return true;
  if (why != nullptr) *why = written;
  // Nothing of a record that did not go through whole may stay, and the
  // next one goes where this one began.
  file.Truncate(size);
  file.Seek(size);
  return false;
}

bool WriteDurableFile(FileSystem& fs, const char* path, const char* data, size_t n, FsStatus* why) {
  FsStatus first;
  auto step = [&first](FsStatus s) {
    if (!s.ok() && first.ok()) first = std::move(s);
    return first.ok();
  };
  fs.Remove(path);
  // Exclusive creation: never write through a name planted after the removal.
  std::unique_ptr<File> file;
  if (!step(fs.Create(path, CreateMode::kExclusive, &file))) {
    if (why != nullptr) *why = first;
    return false;
  }
  bool ok = step(file->Write(data, n)) && step(file->Sync());
  if (!step(file->Close())) ok = false;
  if (ok) ok = step(fs.SyncParentDirectory(path));
  if (!ok) {
    fs.Remove(path);
    if (why != nullptr) *why = first;
  }
  return ok;
}

bool ReadSmallFile(FileSystem& fs, const char* path, char* buf, size_t cap) {
  if (cap == 0) return false;
  std::unique_ptr<File> file;
  if (!fs.Open(path, OpenOptions{.follow_links = false}, &file).ok()) return false;
  size_t got = 0;
  bool ok = true;
  for (;;) {
    size_t r = 0;
    if (!file->Read(buf + got, cap - got, &r).ok()) {
      ok = false;
      break;
    }
    if (r == 0) break;
    got += r;
    if (got == cap) {
      ok = false;  // too long for what it should hold
      break;
    }
  }
  buf[ok ? got : 0] = 0;
  return ok;
}

bool RenameDurably(FileSystem& fs, const char* from, const char* to, FsStatus* why) {
  FsStatus s = fs.Rename(from, to);
  if (s.ok()) s = fs.SyncParentDirectory(to);
  if (!s.ok() && why != nullptr) *why = s;
  return s.ok();
}

bool RemoveDurably(FileSystem& fs, const char* path) {
  FsStatus s = fs.Remove(path);
  if (!s.ok()) return s.code() == ENOENT;
  return fs.SyncParentDirectory(path).ok();
}

namespace {

// Copies up to |limit| bytes (or to the end when |limit| is negative) of
// |from| onto |to|. A failed read counts as a failure, not as the end.
bool CopyBytes(File& from, File& to, int64_t limit) {
  uint8_t buf[16384];
  while (limit != 0) {
    size_t want = sizeof buf;
    if (limit > 0 && static_cast<int64_t>(want) > limit) want = static_cast<size_t>(limit);
    size_t r = 0;
    if (!from.Read(buf, want, &r).ok()) return false;
    if (r == 0) return limit < 0;
    if (!to.Write(buf, r).ok()) return false;
    if (limit > 0) limit -= static_cast<int64_t>(r);
  }
  return true;
}

}  // namespace

bool AppendFileAt(FileSystem& fs, const char* target, int64_t length, const char* source,
                  const std::function<void()>& halfway) {
  if (length < 0) return false;
  std::unique_ptr<File> in, out;
  if (!fs.Open(source, OpenOptions{.follow_links = false}, &in).ok()) return false;
  int64_t in_size = 0, out_size = 0;
  bool ok = fs.Open(target, OpenOptions{.write = true, .follow_links = false}, &out).ok() &&
            in->IsRegular() && out->IsRegular() && in->Size(&in_size).ok() &&
            out->Size(&out_size).ok() && out_size >= length;
  if (ok) {
    // Whatever a cut-short earlier attempt left after |length| goes first.
    ok = out->Truncate(length).ok() && out->Seek(length).ok();
    int64_t half = in_size / 2;
    if (ok && halfway) {
      ok = CopyBytes(*in, *out, half) && out->Sync().ok();
      if (ok) halfway();
    }
    ok = ok && CopyBytes(*in, *out, -1) && out->Sync().ok();
    if (!ok) {
      out->Truncate(length);
      out->Sync();
    }
  }
  if (out != nullptr && !out->Close().ok()) ok = false;
  return ok;
}

}  // namespace kavelin2
