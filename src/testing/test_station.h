// A station on fakes, in a fresh temporary working directory.
#pragma once

#include <memory>
#include <string>

#include "platform/file_system.h"
#include "station/station.h"
#include "testing/fake_clock.h"
#include "testing/fake_launcher.h"
#include "testing/fake_serial.h"
#include "testing/fake_ui.h"

namespace kavelin2 {

// Creates a fresh directory and makes it the working directory for the
// object's lifetime (the previous one is restored and the directory removed).
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

// Reads a whole file ("" when absent) / writes one.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

struct TestStation {
  // A station whose files go to |fs| (not owned; a FakeFileSystem, say), or,
  // by default, to the platform's file system in the temporary directory.
  explicit TestStation(FileSystem* fs = nullptr);
  ScopedTempDir dir;
  std::unique_ptr<FileSystem> own_fs;  // the platform's, when no other is given
  FileSystem& fs;
  FakeClock clock;
  FakeSerialSystem serial{clock};
  FakeLauncher launcher;
  FakeUiRuntime* ui;  // owned by st.ui
  Station st;

  // Fills the settings records with their defaults in memory (nothing on disk)
  // and the language "Francais".
  void UseDefaultSettings();
};

}  // namespace kavelin2
