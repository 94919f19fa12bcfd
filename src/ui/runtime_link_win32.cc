// The UI runtime as a DLL, loaded with LoadLibraryA and bound with
// GetProcAddress.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "ui/ui_channel.h"

namespace kavelin2 {
namespace {

constexpr const char* kDefaultLibrary = "kavelin2ui.dll";

using InitFn = int32_t(__cdecl*)(uint8_t*);
using BlockFn = void(__cdecl*)(uint8_t*);

// The runtime beside the running program, whatever the search path says.
std::string LibraryBesideProgram() {
  char exe[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
  if (n == 0 || n >= sizeof exe) return kDefaultLibrary;
  std::string path(exe, n);
  size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return kDefaultLibrary;
  return path.substr(0, slash + 1) + kDefaultLibrary;
}

class Win32UiRuntimeLink : public UiRuntimeLink {
 public:
  explicit Win32UiRuntimeLink(std::string library) : library_(std::move(library)) {}
  ~Win32UiRuntimeLink() override { Unload(); }

  LoadResult Load() override {
    if (module_ != nullptr) return LoadResult::kOk;
    // No "cannot find the DLL" box from the system: the station says it.
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    module_ = LoadLibraryA(library_.c_str());
    SetErrorMode(previous);
    if (module_ == nullptr) {
      Diagnose(library_.c_str());
      return LoadResult::kLibraryMissing;
    }
    // In the runtime's own order; the first missing name ends the binding.
    static const char* const kNames[] = {"WDInitInstance", "FinInstance", "WDCALLC",
                                         "AffTexteLongC", "WSIPPARTAGE"};
    for (size_t i = 0; i < 5; ++i) {
      entry_[i] = GetProcAddress(module_, kNames[i]);
      if (entry_[i] == nullptr) {
        Diagnose(kNames[i]);
        // A half-bound library is never used.
        Unload();
        return LoadResult::kEntryPointMissing;
      }
    }
    return LoadResult::kOk;
  }

  bool IsLoaded() const override { return module_ != nullptr; }

  int32_t InitInstance(uint8_t* block) override {
    return entry_[0] ? reinterpret_cast<InitFn>(reinterpret_cast<void*>(entry_[0]))(block) : 0;
  }
  void FinInstance(uint8_t* block) override {
    if (entry_[1]) reinterpret_cast<BlockFn>(reinterpret_cast<void*>(entry_[1]))(block);
  }
  void Call(uint8_t* block) override {
    if (entry_[2]) reinterpret_cast<BlockFn>(reinterpret_cast<void*>(entry_[2]))(block);
  }

  void Unload() override {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
    for (FARPROC& e : entry_) e = nullptr;
  }

 private:
  // The system's reason (126: no such module, 127: no such entry point),
  // before the station's own message box text.
  static void Diagnose(const char* what) {
    std::fprintf(stderr, "kavelin2: %s: error %lu\n", what,
                 static_cast<unsigned long>(GetLastError()));
  }

  std::string library_;
  HMODULE module_ = nullptr;
  FARPROC entry_[5] = {};
};

}  // namespace

std::unique_ptr<UiRuntimeLink> NewDynamicUiRuntimeLink() {
  const char* named = std::getenv("KAVELIN2_UI_LIBRARY");
  return NewDynamicUiRuntimeLink(named != nullptr ? named : "");
}

std::unique_ptr<UiRuntimeLink> NewDynamicUiRuntimeLink(const std::string& library) {
  return std::make_unique<Win32UiRuntimeLink>(library.empty() ? LibraryBesideProgram() : library);
}

}  // namespace kavelin2
