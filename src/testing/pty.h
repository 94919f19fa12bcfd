// The handheld's end of a pseudo-terminal pair, for tests that need a real
// descriptor: the test holds the master side, the station opens the slave by
// its path as if it were a serial device.
#pragma once

#include <cstdint>
#include <string>

namespace kavelin2 {

class TestPty {
 public:
  TestPty();
  ~TestPty() { Hangup(); }
  TestPty(const TestPty&) = delete;
  TestPty& operator=(const TestPty&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  int master() const { return master_; }

  // Writes |bytes| to the station (a failed or short write fails the test).
  void Send(const std::string& bytes);
  // What the station wrote: up to |n| bytes, waiting at most |timeout_ms| for
  // each piece.
  std::string Receive(size_t n, int timeout_ms = 2000);
  // Closes the master side: the station's side sees a hang-up.
  void Hangup();

 private:
  int master_ = -1;
  std::string path_;
};

// Sets an environment variable for the object's lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();

 private:
  const char* name_;
};

// CPU time used by this process so far, in nanoseconds.
int64_t ProcessCpuNs();

}  // namespace kavelin2
