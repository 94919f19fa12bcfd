// Throughput of the station program: records of 64 bytes uploaded and then
// downloaded over a pseudo-terminal pair by an in-process handheld, the
// station's CPU time per record, the answer times, and the CPU an idle
// station uses while it watches a line.
//
// Each leg is measured against an ideal stop-and-wait pair on a pseudo-
// terminal pair of its own: one thread writes frames of the station's size,
// the other answers each with one ACK byte, both blocking in read() and doing
// nothing else. That pair is what the kernel's ptys allow at best on this
// machine, so the station's share of its rate says how much the station
// itself costs. The pair runs just before and just after each station leg, so
// that the load of a shared machine weighs on both alike.
//
//   kavelin2_bench [--records N] [--runs N] [--strace]
//
// --strace attaches `strace -c -f` to the station for each leg (one run) and
// prints its system calls per record; rates under strace are not comparable.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "e2e_support.h"
#include "handheld_frames.h"
#include "handheld_port.h"
#include "handheld_session.h"

namespace {

using namespace kavelin2;

constexpr int kRecordLength = 64;
constexpr int kIdleSeconds = 5;

struct Options {
  int records = 10000;
  int runs = 3;
  bool strace = false;
};

double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Seconds |pid| ran, from /proc/<pid>/schedstat (nanoseconds, finer than the
// clock ticks of /proc/<pid>/stat); -1 when the kernel does not keep it.
double RunSeconds(pid_t pid) {
  std::string text = e2e::ReadFile("/proc/" + std::to_string(pid) + "/schedstat");
  unsigned long long ns = 0;
  if (sscanf(text.c_str(), "%llu", &ns) != 1) return -1;
  return static_cast<double>(ns) / 1e9;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

double Median(std::vector<double> v) { return Percentile(std::move(v), 0.5); }

// "24,800": rates read at a glance.
std::string Thousands(double value) {
  std::string digits = std::to_string(static_cast<long long>(value + 0.5));
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string Records(char seed, int count) {
  std::string data;
  data.reserve(static_cast<size_t>(count) * kRecordLength);
  for (int i = 0; i < count; ++i) {
    char head[16];
    snprintf(head, sizeof head, "%c%07d", seed, i);
    std::string rec = head;
    while (rec.size() < kRecordLength) rec += static_cast<char>('a' + (rec.size() + i) % 26);
    data += rec;
  }
  return data;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto count = [&](int* value) {
      if (i + 1 >= argc) return false;
      char* end = nullptr;
      long v = strtol(argv[++i], &end, 10);
      if (*end != '\0' || v < 1 || v > 99999) return false;
      *value = static_cast<int>(v);
      return true;
    };
    if (arg == "--records") {
      if (!count(&options->records)) return false;
    } else if (arg == "--runs") {
      if (!count(&options->runs)) return false;
    } else if (arg == "--strace") {
      options->strace = true;
    } else {
      return false;
    }
  }
  return true;
}

// --- The ideal pair ---------------------------------------------------------

bool WriteAll(int fd, const uint8_t* data, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, data, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// Blocks until |n| bytes have come.
bool ReadExactly(int fd, uint8_t* data, size_t n) {
  while (n > 0) {
    ssize_t r = read(fd, data, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    data += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

// Both ends of a fresh pseudo-terminal pair, raw, with reads that block until
// at least one byte has come.
struct PtyPair {
  int master = -1;
  int slave = -1;
  ~PtyPair() {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
  }
  bool Open() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) return false;
    slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) return false;
    for (int fd : {master, slave}) {
      termios t;
      if (tcgetattr(fd, &t) != 0) return false;
      cfmakeraw(&t);
      t.c_iflag &= ~(IXON | IXOFF | IXANY);
      t.c_cflag |= CLOCAL | CREAD;
      t.c_cc[VMIN] = 1;
      t.c_cc[VTIME] = 0;
      if (tcsetattr(fd, TCSANOW, &t) != 0) return false;
    }
    return true;
  }
};

struct IdealRun {
  double rate = -1;      // frames per second; -1 when the pair failed
  double answer_us = 0;  // p50 of the answer time, as the handheld measures it
};

// The ideal pair: |frames| copies of |frame|, each answered with one ACK
// before the next goes. |handheld_sends| puts the sender on the master side,
// where the benchmark's handheld sits (the upload); otherwise the sender is
// on the slave side, the station's (the download). The answer time runs from
// the end of a write to the answer's arrival, as in the handheld's session.
IdealRun RunIdealPair(const handheld::Bytes& frame, int frames, bool handheld_sends) {
  IdealRun result;
  PtyPair pty;
  if (!pty.Open()) return result;
  const int sender = handheld_sends ? pty.master : pty.slave;
  const int receiver = handheld_sends ? pty.slave : pty.master;
  std::atomic<bool> receiver_ok{true};
  std::thread answering([&] {
    std::vector<uint8_t> buf(frame.size());
    const uint8_t ack = handheld::kAck;
    for (int i = 0; i < frames; ++i) {
      if (!ReadExactly(receiver, buf.data(), buf.size()) || buf != frame ||
          !WriteAll(receiver, &ack, 1)) {
        receiver_ok = false;
        // Unblocks the sender, which waits for this answer.
        const uint8_t nak = handheld::kNak;
        WriteAll(receiver, &nak, 1);
        return;
      }
    }
  });
  bool ok = true;
  std::vector<double> answer_us(static_cast<size_t>(frames));
  const double t0 = Now();
  for (int i = 0; i < frames && ok; ++i) {
    uint8_t answer = 0;
    ok = WriteAll(sender, frame.data(), frame.size());
    const double sent = Now();
    ok = ok && ReadExactly(sender, &answer, 1) && answer == handheld::kAck;
    answer_us[static_cast<size_t>(i)] = (Now() - sent) * 1e6;
  }
  const double seconds = Now() - t0;
  if (!ok) {
    // The answering side may still wait for a frame: its read ends with ours.
    close(sender);
    (handheld_sends ? pty.master : pty.slave) = -1;
  }
  answering.join();
  if (!ok || !receiver_ok) return result;
  result.rate = frames / seconds;
  result.answer_us = Median(std::move(answer_us));
  return result;
}

// --- System calls of the station --------------------------------------------

// `strace -c -f` attached to a running process, its table read on detach.
class StraceCount {
 public:
  // Attaches to |pid| and waits until every thread of it is traced.
  bool Attach(pid_t pid, const std::string& out) {
    out_ = out;
    tracer_ = fork();
    if (tracer_ < 0) return false;
    if (tracer_ == 0) {
      std::string p = std::to_string(pid);
      execlp("strace", "strace", "-q", "-c", "-f", "-o", out.c_str(), "-p", p.c_str(),
             static_cast<char*>(nullptr));
      _exit(127);
    }
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    return e2e::WaitFor(
        [&] {
          std::vector<std::string> ids = e2e::ListDir(tasks);
          if (ids.empty()) return false;
          for (const std::string& id : ids) {
            std::string status = e2e::ReadFile(tasks + "/" + id + "/status");
            size_t at = status.find("TracerPid:");
            if (at == std::string::npos || atoi(status.c_str() + at + 10) != tracer_) return false;
          }
          return true;
        },
        5000);
  }

  // Detaches; the calls counted, by name, most frequent first. Empty on
  // failure.
  std::vector<std::pair<std::string, long>> Detach() {
    std::vector<std::pair<std::string, long>> calls;
    if (tracer_ <= 0) return calls;
    kill(tracer_, SIGINT);
    int status = 0;
    waitpid(tracer_, &status, 0);
    tracer_ = -1;
    // Rows: % time, seconds, usecs/call, calls, [errors,] syscall.
    std::istringstream in(e2e::ReadFile(out_));
    for (std::string line; std::getline(in, line);) {
      std::istringstream row(line);
      std::vector<std::string> fields;
      for (std::string f; row >> f;) fields.push_back(f);
      if (fields.size() < 5 || fields[0][0] == '%' || fields[0][0] == '-') continue;
      if (fields.back() == "total") continue;
      calls.emplace_back(fields.back(), atol(fields[3].c_str()));
    }
    std::sort(calls.begin(), calls.end(),
              [](const auto& a, const auto& b) { return a.second > b.second; });
    return calls;
  }

 private:
  pid_t tracer_ = -1;
  std::string out_;
};

void PrintCallsPerRecord(const char* leg, const std::vector<std::pair<std::string, long>>& calls,
                         int records) {
  long total = 0;
  for (const auto& c : calls) total += c.second;
  printf("%s: station system calls per record %.2f:", leg, static_cast<double>(total) / records);
  long other = 0;
  for (const auto& c : calls) {
    // Calls of the exchange as a whole (opening, syncing, renaming files)
    // show as less than one per hundred records.
    if (c.second * 100 < records) {
      other += c.second;
      continue;
    }
    printf(" %s %.2f", c.first.c_str(), static_cast<double>(c.second) / records);
  }
  if (other > 0) printf(" (others together %.3f)", static_cast<double>(other) / records);
  printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    fprintf(stderr, "usage: kavelin2_bench [--records N] [--runs N] [--strace]\n");
    return 2;
  }
  if (options.strace) options.runs = 1;
  const int records = options.records;

  signal(SIGPIPE, SIG_IGN);
  e2e::WorkDir dir;
  e2e::Settings settings;
  dir.WriteSettings(settings);
  const std::string up = Records('U', records), down = Records('D', records);
  e2e::WriteFile(dir / "BENCH.001", up);
  e2e::WriteFile(dir / "TRANS/BENCH.BIN", down);
  e2e::WriteFile(dir / "TABLE/TABLE.002", "BENCH   .BIN 64 B\r\n");

  std::string error;
  auto port = handheld::HandheldPort::CreatePty(dir / "com1", &error);
  if (!port) {
    fprintf(stderr, "kavelin2_bench: %s\n", error.c_str());
    return 1;
  }
  e2e::StationProcess station(dir, {{"COM1", dir / "com1"}}, /*transcript=*/false);
  pid_t pid = station.child().pid();
  if (!port->WaitForStation(10000)) {
    fprintf(stderr, "kavelin2_bench: the station did not open its line\n%s",
            station.Output().c_str());
    return 1;
  }

  handheld::Timing timing;
  handheld::Report report(stdout, /*verbose=*/false);
  mkdir((dir / "rx").c_str(), 0777);
  handheld::Session session(*port, timing, report, dir / "rx");

  handheld::ExchangePlan upload;
  handheld::UploadSpec desc;
  handheld::ParseUploadSpec(dir / "BENCH.001:64", &desc, &error);
  upload.uploads.push_back(desc);
  upload.download = true;
  upload.download_id = "001";  // no table: the download is a single RS
  handheld::ExchangePlan download;
  download.download = true;
  download.download_id = "002";

  // The ideal pair's frames are the station's data frames, byte for byte.
  const handheld::Bytes frame =
      handheld::DataFrame(1, reinterpret_cast<const uint8_t*>(down.data()), kRecordLength);

  printf("kavelin2 over a pseudo-terminal pair: %d records of %d bytes each way, %d run%s\n",
         records, kRecordLength, options.runs, options.runs == 1 ? "" : "s");
  if (!options.strace) {
    printf("ideal pair: %zu-byte frames (a data frame of the station), one ACK each\n",
           frame.size());
    // A stop-and-wait line is bound by wake-ups, which a loaded machine
    // delays at random: the load says how far the figures can be trusted.
    double load = 0;
    if (sscanf(e2e::ReadFile("/proc/loadavg").c_str(), "%lf", &load) == 1) {
      printf("machine load: %.1f runnable on %ld cores (1-minute average)\n", load,
             sysconf(_SC_NPROCESSORS_ONLN));
    }
  }
  bool ok = true;
  struct Leg {
    const char* name;
    const char* word;  // as in the summary lines
    const handheld::ExchangePlan* plan;
    bool handheld_sends;
    const std::vector<double>* answers;  // the session's answer times of this way
    std::vector<double> station = {}, ideal = {}, share = {}, answer_share = {};
    std::vector<std::pair<std::string, long>> calls = {};
  } legs[] = {
      {"upload   (handheld -> station)", "upload", &upload, true, &session.latencies().upload_us},
      {"download (station -> handheld)", "download", &download, false,
       &session.latencies().download_us}};
  for (int run = 1; run <= options.runs && ok; ++run) {
    for (Leg& leg : legs) {
      IdealRun before, after;
      if (!options.strace) before = RunIdealPair(frame, records, leg.handheld_sends);
      StraceCount strace;
      if (options.strace && !strace.Attach(pid, dir / (std::string("strace-") + leg.word))) {
        printf("%s: strace could not attach to the station\n", leg.name);
        ok = false;
        break;
      }
      const size_t answered = leg.answers->size();
      // The station has one thread: its schedstat is its CPU time, to the
      // nanosecond (the clock ticks of /proc stat when the kernel keeps none).
      const bool fine = RunSeconds(pid) >= 0;
      auto station_cpu = [&] { return fine ? RunSeconds(pid) : e2e::ProcessCpuSeconds(pid); };
      double cpu0 = station_cpu(), t0 = Now();
      handheld::ExchangeResult r = session.Run(*leg.plan);
      double seconds = Now() - t0;
      double cpu = station_cpu() - cpu0;
      if (options.strace) leg.calls = strace.Detach();
      if (!r.complete) {
        printf("%s: exchange not complete: %s\n", leg.name, r.failure.c_str());
        ok = false;
        break;
      }
      const double rate = records / seconds;
      const double answer_us = Median(std::vector<double>(
          leg.answers->begin() + static_cast<std::ptrdiff_t>(answered), leg.answers->end()));
      printf("run %d %s: %.3f s, %s records/s; station CPU %.3f s, %.1f us per record\n", run,
             leg.name, seconds, Thousands(rate).c_str(), cpu, cpu * 1e6 / records);
      leg.station.push_back(rate);
      usleep(300 * 1000);  // let the station log the result and go idle
      if (options.strace) continue;
      after = RunIdealPair(frame, records, leg.handheld_sends);
      if (before.rate < 0 || after.rate < 0) {
        printf("%s: the ideal pair failed\n", leg.name);
        ok = false;
        break;
      }
      const double ideal = (before.rate + after.rate) / 2;
      const double ideal_answer_us = (before.answer_us + after.answer_us) / 2;
      printf(
          "run %d %s: station %s records/s, ideal pair %s frames/s (%s before, %s after), "
          "share %.2f\n",
          run, leg.word, Thousands(rate).c_str(), Thousands(ideal).c_str(),
          Thousands(before.rate).c_str(), Thousands(after.rate).c_str(), rate / ideal);
      printf(
          "run %d %s: answer time p50 station %.0f us, ideal pair %.0f us (%.0f before, %.0f "
          "after), share %.2f\n",
          run, leg.word, answer_us, ideal_answer_us, before.answer_us, after.answer_us,
          ideal_answer_us / answer_us);
      leg.ideal.push_back(ideal);
      leg.share.push_back(rate / ideal);
      leg.answer_share.push_back(ideal_answer_us / answer_us);
    }
    if (!ok) break;
    // Each run must deliver every byte; the next one starts from nothing.
    bool up_ok = e2e::ReadFile(dir / "RECU/BENCH.001") == up;
    bool down_ok = e2e::ReadFile(dir / "rx/BENCH.DAT") == down;
    if (!up_ok || !down_ok) {
      printf("run %d data check FAILED:%s%s\n", run, up_ok ? "" : " upload",
             down_ok ? "" : " download");
      ok = false;
    }
    unlink((dir / "RECU/BENCH.001").c_str());
    unlink((dir / "rx/BENCH.DAT").c_str());
  }
  if (ok && options.strace) {
    for (const Leg& leg : legs) PrintCallsPerRecord(leg.word, leg.calls, records);
  }
  if (ok && !options.strace) {
    const char* of = options.runs == 1 ? "" : "median of the runs: ";
    for (const Leg& leg : legs) {
      printf(
          "%s: %sstation %s records/s, ideal pair %s frames/s, share %.2f; answer time share "
          "%.2f\n",
          leg.word, of, Thousands(Median(leg.station)).c_str(),
          Thousands(Median(leg.ideal)).c_str(), Median(leg.share), Median(leg.answer_share));
    }
  }
  const handheld::Latencies& lat = session.latencies();
  printf("answer time, last byte of a frame to the first byte of the station's answer:\n");
  printf("  upload data frame -> ACK:           p50 %6.0f us, p99 %6.0f us (%zu frames)\n",
         Percentile(lat.upload_us, 0.50), Percentile(lat.upload_us, 0.99), lat.upload_us.size());
  printf("  download ACK -> next data frame:    p50 %6.0f us, p99 %6.0f us (%zu frames)\n",
         Percentile(lat.download_us, 0.50), Percentile(lat.download_us, 0.99),
         lat.download_us.size());

  if (!options.strace) {
    // Idle: the line stays open and nobody talks.
    usleep(1000 * 1000);
    double cpu0 = e2e::ProcessCpuSeconds(pid), run0 = RunSeconds(pid), t0 = Now();
    sleep(kIdleSeconds);
    double idle_cpu = e2e::ProcessCpuSeconds(pid) - cpu0, idle_wall = Now() - t0;
    double idle_run = RunSeconds(pid) - run0;
    double share = idle_cpu / idle_wall * 100;
    printf("idle station watching one line, %.1f s: %.2f s CPU (/proc stat) = %.2f%% of a core",
           idle_wall, idle_cpu, share);
    if (run0 >= 0) {
      // /proc/<pid>/stat counts 10 ms ticks; schedstat counts nanoseconds and
      // decides.
      share = idle_run / idle_wall * 100;
      printf("; %.4f s on CPU (schedstat) = %.3f%%", idle_run, share);
    }
    printf(" (limit 1%%): %s\n", share < 1.0 ? "ok" : "TOO HIGH");
    if (share >= 1.0) ok = false;
  }

  int status = station.Stop();
  if (status != 0) {
    printf("the station ended with status %d\n%s", status, station.Output().c_str());
    ok = false;
  }
  return ok ? 0 : 1;
}
