#include "testing/pty.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace kavelin2 {

TestPty::TestPty() {
  int slave = -1;
  char name[256] = {};
  if (openpty(&master_, &slave, name, nullptr, nullptr) == 0) {
    close(slave);  // the station opens it by name
    path_ = name;
  }
}

void TestPty::Send(const std::string& bytes) {
  ASSERT_EQ(static_cast<ssize_t>(bytes.size()), write(master_, bytes.data(), bytes.size()));
}

std::string TestPty::Receive(size_t n, int timeout_ms) {
  std::string out;
  while (out.size() < n) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) break;
    char buf[4096];
    ssize_t r = read(master_, buf, std::min(sizeof buf, n - out.size()));
    if (r <= 0) break;
    out.append(buf, static_cast<size_t>(r));
  }
  return out;
}

void TestPty::Hangup() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() { unsetenv(name_); }

int64_t ProcessCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

}  // namespace kavelin2
