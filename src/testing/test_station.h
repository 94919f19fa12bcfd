// A station on fakes, in a fresh temporary working directory.
#pragma once

#include <string>

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
  TestStation();
  ScopedTempDir dir;
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
