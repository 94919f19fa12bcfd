#include "testing/fake_file_system.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <set>

namespace kavelin2 {

const char* FsOpName(FsOp op) {
  static constexpr const char* kNames[] = {
      "open",  "create", "read",   "write",          "seek", "truncate", "size",           "sync",
      "close", "rename", "remove", "sync directory", "stat", "list",     "make directory", "lock"};
  static_assert(sizeof kNames / sizeof kNames[0] == kFsOpCount);
  return kNames[static_cast<int>(op)];
}

namespace {

struct Node;
using NodePtr = std::shared_ptr<Node>;
using Entries = std::map<std::string, NodePtr>;

// An entry change of a directory not yet durable: |name| made to name
// |node| (set) or no longer naming it (erase). The two halves of a rename
// share one id.
struct Change {
  uint64_t id;
  bool set;
  std::string name;
  NodePtr node;
};

// A file or a directory.
struct Node {
  uint64_t id = 0;
  bool directory = false;
  // Files: what the node is (a FIFO or a device reads as empty and never
  // waits, as one opened without blocking), and whether the station's user
  // may read it.
  FileKind kind = FileKind::kRegular;
  bool unreadable = false;
  // Files: what a reader sees / what survives a power cut.
  std::string data;
  std::string durable;
  // Directories: entries now / at the last SyncDirectory, and the changes
  // since then, in order.
  Entries entries;
  Entries durable_entries;
  std::vector<Change> pending;
};

struct Fault {
  FsFault fault;
  int seen = 0;
};

// A path resolved to the directory that holds its last part.
struct Place {
  NodePtr dir;
  std::string name;  // empty: the path names |dir| itself (the root)
  NodePtr node;      // what |name| names now, or null
};

}  // namespace

struct FakeFileSystem::State {
  NodePtr root = std::make_shared<Node>();
  uint64_t next_node = 1;
  uint64_t next_change = 1;
  // Changes made durable by a sync of one of their directories: the other
  // half of such a rename is durable with it.
  std::set<uint64_t> durable_changes;
  // Bumped by every power cut: files and locks of an older one are dead.
  uint64_t generation = 0;
  bool power_off = false;
  int cut_countdown = 0;
  Survivors cut_survivors;
  std::vector<Fault> faults;
  int calls[kFsOpCount] = {};
  int all_calls = 0;
  std::map<uint64_t, uint64_t> locks;  // node id -> generation of the holder
  int pid = 4242;

  State() {
    root->directory = true;
    root->id = next_node++;
  }

  NodePtr NewNode(bool directory) {
    auto n = std::make_shared<Node>();
    n->id = next_node++;
    n->directory = directory;
    return n;
  }

  // Counts a call and tells whether it fails: power off, a power cut due
  // now, or an injected fault. *written is how much of a failing write
  // still goes through.
  FsStatus Begin(FsOp op, const std::string& path, size_t* written = nullptr) {
    ++calls[static_cast<int>(op)];
    ++all_calls;
    if (written != nullptr) *written = 0;
    if (cut_countdown > 0 && --cut_countdown == 0) {
      Cut(cut_survivors);
      power_off = true;
    }
    if (power_off) return FsError(FsOpName(op), path, EIO, "the power is off");
    // Every fault of the kind counts the call, even when another one fails it.
    FsStatus result;
    for (Fault& f : faults) {
      if (f.fault.op != op) continue;
      ++f.seen;
      bool now = f.seen == f.fault.nth;
      if (result.ok() && (now || (f.fault.from_then_on && f.seen > f.fault.nth))) {
        if (written != nullptr && now) *written = f.fault.written;
        result = FsError(FsOpName(op), path, f.fault.code);
      }
    }
    return result;
  }

  // Resolves |path| ("a/b/c", "/a/b", "./a//b"; ".." goes up) from the root.
  FsStatus Resolve(FsOp op, const std::string& path, Place* place) const {
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= path.size()) {
      size_t j = path.find('/', i);
      if (j == std::string::npos) j = path.size();
      std::string part = path.substr(i, j - i);
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      i = j + 1;
    }
    place->dir = root;
    place->name.clear();
    place->node = nullptr;
    for (size_t k = 0; k + 1 < parts.size(); ++k) {
      auto it = place->dir->entries.find(parts[k]);
      if (it == place->dir->entries.end()) return FsError(FsOpName(op), path, ENOENT);
      if (!it->second->directory) return FsError(FsOpName(op), path, ENOTDIR);
      place->dir = it->second;
    }
    if (parts.empty()) {
      place->node = root;
      return {};
    }
    place->name = parts.back();
    auto it = place->dir->entries.find(place->name);
    if (it != place->dir->entries.end()) place->node = it->second;
    return {};
  }

  // Entry changes, each not durable until its directory is synced.
  void SetEntry(const NodePtr& dir, const std::string& name, const NodePtr& node, uint64_t id) {
    dir->entries[name] = node;
    dir->pending.push_back({id, true, name, node});
  }
  void EraseEntry(const NodePtr& dir, const std::string& name, uint64_t id) {
    auto it = dir->entries.find(name);
    if (it == dir->entries.end()) return;
    dir->pending.push_back({id, false, name, it->second});
    dir->entries.erase(it);
  }

  // Every directory (reachable now) and every file named anywhere: now, at
  // the last directory sync, or by a pending change.
  void Collect(std::vector<NodePtr>* dirs, std::vector<NodePtr>* files) const {
    std::set<uint64_t> seen;
    std::vector<NodePtr> todo{root};
    auto visit = [&](const NodePtr& n) {
      if (seen.insert(n->id).second) (n->directory ? todo : *files).push_back(n);
    };
    seen.insert(root->id);
    while (!todo.empty()) {
      NodePtr d = todo.back();
      todo.pop_back();
      dirs->push_back(d);
      for (const auto& [name, n] : d->entries) visit(n);
      for (const auto& [name, n] : d->durable_entries) visit(n);
      for (const Change& c : d->pending) visit(c.node);
    }
    auto by_id = [](const NodePtr& a, const NodePtr& b) { return a->id < b->id; };
    std::sort(dirs->begin(), dirs->end(), by_id);
    std::sort(files->begin(), files->end(), by_id);
  }

  // The changes a power cut decides on, in order: entry changes by id, then
  // files whose bytes are not all durable, by id.
  void Choices(std::vector<uint64_t>* changes, std::vector<NodePtr>* dirty) const {
    std::vector<NodePtr> dirs, files;
    Collect(&dirs, &files);
    std::set<uint64_t> ids;
    for (const NodePtr& d : dirs) {
      for (const Change& c : d->pending) {
        if (durable_changes.count(c.id) == 0) ids.insert(c.id);
      }
    }
    changes->assign(ids.begin(), ids.end());
    for (const NodePtr& f : files) {
      if (f->data != f->durable) dirty->push_back(f);
    }
  }

  void Cut(const Survivors& s) {
    std::vector<uint64_t> changes;
    std::vector<NodePtr> dirty;
    Choices(&changes, &dirty);
    std::mt19937_64 rng(s.value);
    int bit = 0;
    auto keep = [&]() {
      switch (s.kind) {
        case Survivors::Kind::kNone:
          return false;
        case Survivors::Kind::kAll:
          return true;
        case Survivors::Kind::kRandom:
          return (rng() & 1) != 0;
        case Survivors::Kind::kSubset:
          break;
      }
      int b = bit++;
      return b < 64 && ((s.value >> b) & 1) != 0;
    };
    std::set<uint64_t> kept(durable_changes);
    for (uint64_t id : changes) {
      if (keep()) kept.insert(id);
    }
    for (const NodePtr& f : dirty) {
      size_t same = 0;
      while (same < f->data.size() && same < f->durable.size() &&
             f->data[same] == f->durable[same]) {
        ++same;
      }
      if (s.kind == Survivors::Kind::kRandom) {
        // 0: the durable bytes; k > 0: the first k - 1 bytes after |same|.
        size_t r = rng() % (f->data.size() - same + 2);
        if (r > 0) f->durable = f->data.substr(0, same + r - 1);
      } else if (keep()) {
        f->durable = f->data;
      }
      f->data = f->durable;
    }
    // Each directory from its durable entries, with the kept changes.
    std::vector<NodePtr> dirs, files;
    Collect(&dirs, &files);
    for (const NodePtr& d : dirs) {
      Entries e = d->durable_entries;
      for (const Change& c : d->pending) {
        if (kept.count(c.id) == 0) continue;
        if (c.set) {
          e[c.name] = c.node;
        } else if (auto it = e.find(c.name); it != e.end() && it->second == c.node) {
          e.erase(it);
        }
      }
      d->entries = e;
      d->durable_entries = std::move(e);
      d->pending.clear();
    }
    durable_changes.clear();
    locks.clear();
    ++generation;
  }

  void Describe(const NodePtr& dir, const std::string& prefix, std::string* out) const {
    for (const auto& [name, n] : dir->entries) {
      std::string path = prefix + name;
      if (n->directory) {
        bool durable = dir->durable_entries.count(name) && dir->durable_entries.at(name) == n;
        *out += path + "/" + (durable ? "" : " (name not durable)") + "\n";
        Describe(n, path + "/", out);
        continue;
      }
      char line[160];
      auto d = dir->durable_entries.find(name);
      std::snprintf(line, sizeof line, "%s: %zu bytes, %zu durable%s\n", path.c_str(),
                    n->data.size(), n->durable.size(),
                    d != dir->durable_entries.end() && d->second == n ? "" : ", name not durable");
      *out += line;
    }
  }
};

namespace {

using State = FakeFileSystem::State;

class FakeFile : public File {
 public:
  FakeFile(std::shared_ptr<State> state, std::string path, NodePtr node, bool writable, bool append)
      : state_(std::move(state)),
        path_(std::move(path)),
        node_(std::move(node)),
        writable_(writable),
        append_(append),
        generation_(state_->generation) {}

  const std::string& path() const override { return path_; }
  FileKind Kind() const override { return node_->directory ? FileKind::kDirectory : node_->kind; }

  FsStatus Read(void* buf, size_t n, size_t* got) override {
    *got = 0;
    FsStatus s = Begin(FsOp::kRead);
    if (!s.ok()) return s;
    if (node_->directory) return FsError("read", path_, EISDIR);
    if (position_ < node_->data.size()) {
      *got = std::min(n, node_->data.size() - position_);
      node_->data.copy(static_cast<char*>(buf), *got, position_);
      position_ += *got;
    }
    return {};
  }

  FsStatus Write(const void* data, size_t n) override {
    if (append_ && !closed_) position_ = node_->data.size();
    size_t at = position_;
    FsStatus s = Put(at, data, n);
    position_ = at;
    return s;
  }

  FsStatus WriteAt(int64_t offset, const void* data, size_t n) override {
    if (offset < 0) return FsError("write", path_, EINVAL);
    size_t at = static_cast<size_t>(offset);
    return Put(at, data, n);
  }

  FsStatus Seek(int64_t offset) override {
    FsStatus s = Begin(FsOp::kSeek);
    if (!s.ok()) return s;
    if (offset < 0) return FsError("seek", path_, EINVAL);
    position_ = static_cast<size_t>(offset);
    return {};
  }

  FsStatus Skip(int64_t count) override {
    FsStatus s = Begin(FsOp::kSeek);
    if (!s.ok()) return s;
    if (count < 0 && static_cast<size_t>(-count) > position_) {
      return FsError("seek", path_, EINVAL);
    }
    position_ = static_cast<size_t>(static_cast<int64_t>(position_) + count);
    return {};
  }

  FsStatus Truncate(int64_t size) override {
    FsStatus s = Begin(FsOp::kTruncate);
    if (!s.ok()) return s;
    if (!writable_) return FsError("truncate", path_, EBADF);
    if (size < 0) return FsError("truncate", path_, EINVAL);
    node_->data.resize(static_cast<size_t>(size), '\0');
    return {};
  }

  FsStatus Size(int64_t* size) override {
    *size = 0;
    FsStatus s = Begin(FsOp::kSize);
    if (!s.ok()) return s;
    *size = static_cast<int64_t>(node_->data.size());
    return {};
  }

  FsStatus Sync() override {
    FsStatus s = Begin(FsOp::kSync);
    if (!s.ok()) return s;
    node_->durable = node_->data;
    return {};
  }

  FsStatus Close() override {
    if (closed_) return {};
    // Closed whatever the outcome, as a descriptor is.
    FsStatus s = state_->Begin(FsOp::kClose, path_);
    closed_ = true;
    return s;
  }

 private:
  // Counts the call; fails on a closed or dead file.
  FsStatus Begin(FsOp op, size_t* written = nullptr) {
    FsStatus s = state_->Begin(op, path_, written);
    if (!s.ok()) return s;
    if (closed_) return FsError(FsOpName(op), path_, EBADF);
    if (generation_ != state_->generation) {
      return FsError(FsOpName(op), path_, EIO, "opened before a power cut");
    }
    return {};
  }

  // Writes |n| bytes at |at| (moved past what was written). An injected
  // failure may still let its first bytes through, as a short write does.
  FsStatus Put(size_t& at, const void* data, size_t n) {
    size_t written = 0;
    FsStatus s = state_->Begin(FsOp::kWrite, path_, &written);
    if (closed_) return FsError("write", path_, EBADF);
    if (generation_ != state_->generation) {
      return s.ok() ? FsError("write", path_, EIO, "opened before a power cut") : s;
    }
    if (!writable_) return FsError("write", path_, EBADF);
    if (!s.ok()) {
      n = std::min(n, written);
      if (n == 0) return s;
    }
    std::string& d = node_->data;
    if (d.size() < at + n) d.resize(at + n, '\0');
    d.replace(at, n, static_cast<const char*>(data), n);
    at += n;
    return s;
  }

  std::shared_ptr<State> state_;
  std::string path_;
  NodePtr node_;
  bool writable_;
  bool append_;
  uint64_t generation_;
  size_t position_ = 0;
  bool closed_ = false;
};

class FakeLock : public FileLock {
 public:
  FakeLock(std::shared_ptr<State> state, uint64_t node)
      : state_(std::move(state)), node_(node), generation_(state_->generation) {}
  ~FakeLock() override {
    auto it = state_->locks.find(node_);
    if (it != state_->locks.end() && it->second == generation_) state_->locks.erase(it);
  }

 private:
  std::shared_ptr<State> state_;
  uint64_t node_;
  uint64_t generation_;
};

}  // namespace

FakeFileSystem::FakeFileSystem() : state_(std::make_shared<State>()) {}
FakeFileSystem::~FakeFileSystem() = default;

FsStatus FakeFileSystem::Open(const std::string& path, const OpenOptions& options,
                              std::unique_ptr<File>* file) {
  file->reset();
  FsStatus s = state_->Begin(FsOp::kOpen, path);
  Place p;
  if (s.ok()) s = state_->Resolve(FsOp::kOpen, path, &p);
  if (!s.ok()) return s;
  if (p.node == nullptr) return FsError("open", path, ENOENT);
  if (p.node->directory && options.write) return FsError("open", path, EISDIR);
  if (p.node->unreadable) return FsError("open", path, EACCES);
  *file = std::make_unique<FakeFile>(state_, path, p.node, options.write, false);
  return {};
}

FsStatus FakeFileSystem::Create(const std::string& path, CreateMode mode,
                                std::unique_ptr<File>* file) {
  file->reset();
  FsStatus s = state_->Begin(FsOp::kCreate, path);
  Place p;
  if (s.ok()) s = state_->Resolve(FsOp::kCreate, path, &p);
  if (!s.ok()) return s;
  if (p.node != nullptr) {
    if (mode == CreateMode::kExclusive) return FsError("create", path, EEXIST);
    if (p.node->directory) return FsError("create", path, EISDIR);
    if (mode == CreateMode::kTruncate) p.node->data.clear();
  } else {
    p.node = state_->NewNode(false);
    state_->SetEntry(p.dir, p.name, p.node, state_->next_change++);
  }
  *file = std::make_unique<FakeFile>(state_, path, p.node, true, mode == CreateMode::kAppend);
  return {};
}

FsStatus FakeFileSystem::Rename(const std::string& from, const std::string& to) {
  const std::string both = from + " to " + to;
  FsStatus s = state_->Begin(FsOp::kRename, both);
  if (!s.ok()) return s;
  Place a, b;
  s = state_->Resolve(FsOp::kRename, from, &a);
  if (s.ok()) s = state_->Resolve(FsOp::kRename, to, &b);
  if (!s.ok()) return FsError("rename", both, s.code());
  if (a.node == nullptr) return FsError("rename", both, ENOENT);
  if (a.node->directory) return FsError("rename", both, EINVAL, "the fake renames files only");
  if (b.node != nullptr && b.node->directory) return FsError("rename", both, EISDIR);
  if (a.node == b.node) return {};
  uint64_t id = state_->next_change++;
  NodePtr node = a.node;
  state_->EraseEntry(a.dir, a.name, id);
  state_->SetEntry(b.dir, b.name, node, id);
  return {};
}

FsStatus FakeFileSystem::Remove(const std::string& path) {
  FsStatus s = state_->Begin(FsOp::kRemove, path);
  Place p;
  if (s.ok()) s = state_->Resolve(FsOp::kRemove, path, &p);
  if (!s.ok()) return s;
  if (p.node == nullptr) return FsError("remove", path, ENOENT);
  if (p.node->directory) return FsError("remove", path, EISDIR);
  state_->EraseEntry(p.dir, p.name, state_->next_change++);
  return {};
}

FsStatus FakeFileSystem::SyncDirectory(const std::string& dir) {
  const std::string name = dir.empty() ? "." : dir;
  FsStatus s = state_->Begin(FsOp::kSyncDirectory, name);
  Place p;
  if (s.ok()) s = state_->Resolve(FsOp::kSyncDirectory, dir, &p);
  if (!s.ok()) return s;
  if (p.node == nullptr) return FsError("sync directory", name, ENOENT);
  if (!p.node->directory) return FsError("sync directory", name, ENOTDIR);
  for (const Change& c : p.node->pending) state_->durable_changes.insert(c.id);
  p.node->pending.clear();
  p.node->durable_entries = p.node->entries;
  return {};
}

FsStatus FakeFileSystem::Stat(const std::string& path, FileInfo* info) {
  *info = FileInfo{};
  FsStatus s = state_->Begin(FsOp::kStat, path);
  Place p;
  if (s.ok()) s = state_->Resolve(FsOp::kStat, path, &p);
  if (!s.ok() && s.code() != ENOENT && s.code() != ENOTDIR) return s;
  if (!s.ok() || p.node == nullptr) {
    info->missing = s.ok() ? ENOENT : s.code();
    return {};
  }
  info->exists = true;
  info->directory = p.node->directory;
  info->regular = !p.node->directory && p.node->kind == FileKind::kRegular;
  if (info->regular) info->size = static_cast<int64_t>(p.node->data.size());
  return {};
}

FsStatus FakeFileSystem::ListDirectory(const std::string& dir, std::vector<std::string>* names) {
  names->clear();
  const std::string name = dir.empty() ? "." : dir;
  FsStatus s = state_->Begin(FsOp::kList, name);
  Place p;
  if (s.ok()) s = state_->Resolve(FsOp::kList, dir, &p);
  if (!s.ok()) return s;
  if (p.node == nullptr) return FsError("list", name, ENOENT);
  if (!p.node->directory) return FsError("list", name, ENOTDIR);
  for (const auto& [entry, node] : p.node->entries) names->push_back(entry);
  return {};
}

FsStatus FakeFileSystem::MakeDirectory(const std::string& path) {
  FsStatus s = state_->Begin(FsOp::kMakeDirectory, path);
  Place p;
  if (s.ok()) s = state_->Resolve(FsOp::kMakeDirectory, path, &p);
  if (!s.ok()) return s;
  if (p.node != nullptr) return FsError("make directory", path, EEXIST);
  state_->SetEntry(p.dir, p.name, state_->NewNode(true), state_->next_change++);
  return {};
}

FsStatus FakeFileSystem::Lock(const std::string& path, std::unique_ptr<FileLock>* lock,
                              int* holder_pid) {
  lock->reset();
  if (holder_pid != nullptr) *holder_pid = 0;
  FsStatus s = state_->Begin(FsOp::kLock, path);
  Place p;
  if (s.ok()) s = state_->Resolve(FsOp::kLock, path, &p);
  if (!s.ok()) return s;
  if (p.node == nullptr) {
    // A lock file is made when missing, like any new name not yet durable.
    p.node = state_->NewNode(false);
    state_->SetEntry(p.dir, p.name, p.node, state_->next_change++);
  }
  if (state_->locks.count(p.node->id) != 0) {
    if (holder_pid != nullptr) *holder_pid = state_->pid;
    return FsError("lock", path, EAGAIN);
  }
  state_->locks[p.node->id] = state_->generation;
  *lock = std::make_unique<FakeLock>(state_, p.node->id);
  return {};
}

void FakeFileSystem::Inject(const FsFault& fault) { state_->faults.push_back({fault, 0}); }
void FakeFileSystem::ClearFaults() { state_->faults.clear(); }
int FakeFileSystem::Calls(FsOp op) const { return state_->calls[static_cast<int>(op)]; }
int FakeFileSystem::Calls() const { return state_->all_calls; }

void FakeFileSystem::CutPower(const Survivors& survivors) { state_->Cut(survivors); }

void FakeFileSystem::CutPowerBefore(int n, const Survivors& survivors) {
  state_->cut_countdown = n;
  state_->cut_survivors = survivors;
}

void FakeFileSystem::PowerOn() {
  state_->power_off = false;
  state_->cut_countdown = 0;
}

bool FakeFileSystem::PowerIsOff() const { return state_->power_off; }

int FakeFileSystem::PendingChanges() const {
  std::vector<uint64_t> changes;
  std::vector<NodePtr> dirty;
  state_->Choices(&changes, &dirty);
  return static_cast<int>(changes.size() + dirty.size());
}

std::optional<std::string> FakeFileSystem::Contents(const std::string& path) const {
  Place p;
  if (!state_->Resolve(FsOp::kStat, path, &p).ok() || p.node == nullptr || p.node->directory) {
    return std::nullopt;
  }
  return p.node->data;
}

void FakeFileSystem::MakeDirectoriesDurably(const std::string& path) {
  NodePtr dir = state_->root;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    i = j + 1;
    if (part.empty() || part == ".") continue;
    NodePtr& next = dir->entries[part];
    if (next == nullptr || !next->directory) next = state_->NewNode(true);
    dir->durable_entries[part] = next;
    dir = next;
  }
}

void FakeFileSystem::PutDurably(const std::string& path, const std::string& bytes) {
  std::string parent = ParentDirectory(path);
  MakeDirectoriesDurably(parent);
  Place p;
  state_->Resolve(FsOp::kCreate, path, &p);
  if (p.node == nullptr || p.node->directory) p.node = state_->NewNode(false);
  p.node->data = p.node->durable = bytes;
  p.dir->entries[p.name] = p.node;
  p.dir->durable_entries[p.name] = p.node;
}

void FakeFileSystem::PutSpecialDurably(const std::string& path, FileKind kind) {
  PutDurably(path, "");
  Place p;
  state_->Resolve(FsOp::kStat, path, &p);
  if (p.node != nullptr) p.node->kind = kind;
}

void FakeFileSystem::DenyReading(const std::string& path) {
  Place p;
  state_->Resolve(FsOp::kStat, path, &p);
  if (p.node != nullptr) p.node->unreadable = true;
}

std::vector<std::string> FakeFileSystem::ListFiles() const {
  std::vector<std::string> out;
  std::vector<std::pair<NodePtr, std::string>> todo{{state_->root, ""}};
  while (!todo.empty()) {
    auto [dir, prefix] = todo.back();
    todo.pop_back();
    for (const auto& [name, n] : dir->entries) {
      if (n->directory) {
        todo.emplace_back(n, prefix + name + "/");
      } else {
        out.push_back(prefix + name);
      }
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string FakeFileSystem::Describe() const {
  std::string out;
  state_->Describe(state_->root, "", &out);
  return out;
}

void FakeFileSystem::set_pid(int pid) { state_->pid = pid; }

}  // namespace kavelin2
