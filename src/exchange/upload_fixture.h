// A station with two fake lines and the settings an upload needs, and a
// handheld's side of the frames, for the protocol tests.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "exchange/exchange.h"
#include "line/line.h"
#include "testing/test_station.h"
#include "wire/codec.h"

namespace kavelin2 {

using Bytes = std::vector<uint8_t>;

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The body of an upload header: name field, block count, field count, widths.
inline std::string HeaderBody(const std::string& name_field, const std::string& count,
                              const std::vector<std::string>& widths) {
  char fields[8];
  std::snprintf(fields, sizeof fields, "%02zu", widths.size());
  std::string body = name_field + count + fields;
  for (const auto& w : widths) body += w;
  return body;
}

// A whole header frame, SOH first.
inline Bytes HeaderFrame(const std::string& file_name, const std::string& count,
                         const std::vector<std::string>& widths) {
  return BuildFrame(SOH, HeaderBody(NameField(file_name), count, widths), true);
}

// A whole data frame, STX first.
inline Bytes DataFrame(int number, const std::string& record) {
  char num[8];
  std::snprintf(num, sizeof num, "%05d", number);
  return BuildFrame(STX, num + record, true);
}

// The names in |dir|, without "." and "..".
inline std::set<std::string> DirEntries(const std::string& dir) {
  std::set<std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") out.insert(name);
    }
    closedir(d);
  }
  return out;
}

inline std::string Record(char c, size_t n) { return std::string(n, c); }

// Caps the size of files this process may write, as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit capped = old_;
    capped.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &capped);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_;
  sighandler_t old_handler_;
};

// A station with two fake lines and the settings an upload needs, on the
// platform's file system in a temporary directory or on |fs| (not owned).
// Several can share one FakeFileSystem: a station started again on what a
// power cut left.
struct UploadStation {
  explicit UploadStation(FileSystem* fs = nullptr) : ts(fs) {
    lines[0] = &ts.serial.AddLine("COM1");
    lines[1] = &ts.serial.AddLine("COM2");
    st.LineTable[0].PortHandle = ts.serial.Open("COM1");
    st.LineTable[1].PortHandle = ts.serial.Open("COM2");
    std::strcpy(st.CurrentLanguage, "Francais");
    std::strcpy(st.Paths.RECU, "RECU/");
    if (ts.fs.MakeDirectory("RECU").ok()) ts.fs.SyncDirectory("");
    st.Options.APPEND = 'N';
    st.Options.ADD_CRLF = 'N';
    st.Options.SUP_TAB = 'N';
    st.Options.PORTABLE = 'N';
    st.Ports.line[0].ACTIVE = 'O';
    st.Ports.line[1].ACTIVE = 'O';
    st.Schedule.AVANT = 'N';
    st.Schedule.SELC = 'N';
    st.Schedule.SELD = 'N';
    st.Schedule.SELFIN = 'N';
  }

  // Lets bytes arrive on line |i| (0 or 1) now.
  void Arrive(const Bytes& bytes, int i = 0) { lines[i]->ArriveNow(bytes); }
  // Serves line |i| as the poll loop does, byte by byte, until its queue is empty.
  void Pump(int i = 0) {
    uint8_t b;
    while (PollByte(st.LineTable[i], &b)) DispatchControlByte(st, st.LineTable[i], b);
  }
  void Send(const Bytes& bytes, int i = 0) {
    Arrive(bytes, i);
    Pump(i);
  }
  // What the station answered on line |i| since the last call.
  Bytes Answers(int i = 0) { return lines[i]->TakeWritten(); }
  // Opens an upload and sends a header; returns the answers.
  Bytes OpenFile(const std::string& name, const std::string& count,
                 const std::vector<std::string>& widths, int i = 0) {
    Send({ENQ}, i);
    Send(HeaderFrame(name, count, widths), i);
    return Answers(i);
  }
  LineEntry& line(int i = 0) { return st.LineTable[i]; }
  std::vector<std::string> Commands(const std::string& prefix) {
    return ts.ui->CommandsStartingWith(prefix);
  }

  TestStation ts;
  Station& st = ts.st;
  FakeLine* lines[2] = {};
};

class ProtocolTest : public ::testing::Test, public UploadStation {
 protected:
  explicit ProtocolTest(FileSystem* fs = nullptr) : UploadStation(fs) {}
};

}  // namespace kavelin2
