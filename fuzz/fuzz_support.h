// Shared pieces of the fuzz targets: a working directory buried a few levels
// deep, so that a file written through a hostile relative name ("../x") can
// be caught, and a check that fails loudly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kavelin2::fuzz {

// Stops the run with a message: libFuzzer keeps the input that caused it.
[[noreturn]] void Fail(const char* what);
inline void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// A fresh working directory <base>/d1/d2/d3/d4/d5/work holding RECU/, TABLE/,
// TRANS/ and LOG/, made current for the object's lifetime. Names the station
// builds are at most 12 characters, so "../" can climb at most four levels:
// five empty levels above the working directory catch any of them.
class ConfinedDir {
 public:
  ConfinedDir();
  ~ConfinedDir();
  ConfinedDir(const ConfinedDir&) = delete;
  ConfinedDir& operator=(const ConfinedDir&) = delete;

  // Fails unless every level above the working directory still holds its one
  // entry and nothing else, and the working directory holds only |allowed|
  // (directories and files by plain name).
  void CheckConfined(const std::vector<std::string>& allowed) const;

 private:
  std::string base_;
  std::string previous_;
};

// The names in a directory, without "." and "..", sorted.
std::vector<std::string> ListDir(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
// Number of open descriptors of this process.
int OpenDescriptors();

// Reads the fuzz input from the front, as little-endian bytes.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  const uint8_t* rest() const { return data_ + pos_; }
  size_t rest_size() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace kavelin2::fuzz
