// The UI runtime as a shared library, loaded with dlopen and bound with dlsym.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "ui/ui_channel.h"

namespace kavelin2 {
namespace {

constexpr const char* kDefaultLibrary = "libkavelin2ui.so";

using InitFn = int32_t (*)(uint8_t*);
using BlockFn = void (*)(uint8_t*);

// The runtime installed with the program, whatever the search path says:
// beside it (the build tree), else in the private library directory of an
// installed tree (PREFIX/bin/kavelin2 and PREFIX/lib/kavelin2/). When neither
// exists, the path beside the program, which the loader's message then names.
std::string LibraryBesideProgram() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string path;
  if (n > 0) {
    path.assign(exe, static_cast<size_t>(n));
  } else {
    // Without /proc: the object that holds this function is the program.
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&LibraryBesideProgram), &info) != 0 &&
        info.dli_fname != nullptr && info.dli_fname[0] == '/')
      path = info.dli_fname;
  }
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return kDefaultLibrary;
  std::string dir = path.substr(0, slash + 1);
  std::string beside = dir + kDefaultLibrary;
  if (access(beside.c_str(), F_OK) == 0) return beside;
  std::string installed = dir + "../lib/kavelin2/" + kDefaultLibrary;
  if (access(installed.c_str(), F_OK) == 0) return installed;
  return beside;
}

class DynamicUiRuntimeLink : public UiRuntimeLink {
 public:
  // |library|: a path (with a '/') or a name for the dynamic loader's search.
  explicit DynamicUiRuntimeLink(std::string library) : library_(std::move(library)) {}
  ~DynamicUiRuntimeLink() override { Unload(); }

  LoadResult Load() override {
    if (handle_ != nullptr) return LoadResult::kOk;
    handle_ = dlopen(library_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
      Diagnose();
      return LoadResult::kLibraryMissing;
    }
    // In the runtime's own order; the first missing name ends the binding.
    void** slots[] = {&entry_[0], &entry_[1], &entry_[2], &entry_[3], &entry_[4]};
    static const char* const kNames[] = {"WDInitInstance", "FinInstance", "WDCALLC",
                                         "AffTexteLongC", "WSIPPARTAGE"};
    for (size_t i = 0; i < 5; ++i) {
      dlerror();
      *slots[i] = dlsym(handle_, kNames[i]);
      if (*slots[i] == nullptr) {
        Diagnose();
        // A half-bound library is never used: unload it, so that IsLoaded
        // stays false and nothing calls through an empty slot.
        Unload();
        return LoadResult::kEntryPointMissing;
      }
    }
    return LoadResult::kOk;
  }

  bool IsLoaded() const override { return handle_ != nullptr; }

  int32_t InitInstance(uint8_t* block) override {
    return entry_[0] ? reinterpret_cast<InitFn>(entry_[0])(block) : 0;
  }
  void FinInstance(uint8_t* block) override {
    if (entry_[1]) reinterpret_cast<BlockFn>(entry_[1])(block);
  }
  void Call(uint8_t* block) override {
    if (entry_[2]) reinterpret_cast<BlockFn>(entry_[2])(block);
  }

  void Unload() override {
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = nullptr;
    for (void*& e : entry_) e = nullptr;
  }

 private:
  // The loader's reason, before the station's own message box text.
  static void Diagnose() {
    const char* why = dlerror();
    if (why != nullptr) std::fprintf(stderr, "kavelin2: %s\n", why);
  }

  std::string library_;
  void* handle_ = nullptr;
  void* entry_[5] = {};
};

}  // namespace

std::unique_ptr<UiRuntimeLink> NewDynamicUiRuntimeLink() {
  const char* named = std::getenv("KAVELIN2_UI_LIBRARY");
  return NewDynamicUiRuntimeLink(named != nullptr ? named : "");
}

std::unique_ptr<UiRuntimeLink> NewDynamicUiRuntimeLink(const std::string& library) {
  return std::make_unique<DynamicUiRuntimeLink>(library.empty() ? LibraryBesideProgram() : library);
}

}  // namespace kavelin2
