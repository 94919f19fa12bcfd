// Throughput of the station program: 10,000 records of 64 bytes uploaded and
// then downloaded over a pseudo-terminal pair by an in-process handheld, the
// station's CPU time per 1,000 records, the answer times, and the CPU an idle
// station uses while it watches a line.
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "handheld_frames.h"
#include "handheld_port.h"
#include "handheld_session.h"

namespace {

using namespace kavelin2;

constexpr int kRecords = 10000;
constexpr int kRecordLength = 64;
constexpr int kIdleSeconds = 5;

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

std::string Records(char seed) {
  std::string data;
  data.reserve(kRecords * kRecordLength);
  for (int i = 0; i < kRecords; ++i) {
    char head[16];
    snprintf(head, sizeof head, "%c%07d", seed, i);
    std::string rec = head;
    while (rec.size() < kRecordLength) rec += static_cast<char>('a' + (rec.size() + i) % 26);
    data += rec;
  }
  return data;
}

}  // namespace

int main() {
  signal(SIGPIPE, SIG_IGN);
  e2e::WorkDir dir;
  e2e::Settings settings;
  dir.WriteSettings(settings);
  const std::string up = Records('U'), down = Records('D');
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

  printf("kavelin2 over a pseudo-terminal pair: %d records of %d bytes each way\n", kRecords,
         kRecordLength);
  bool ok = true;
  struct Leg {
    const char* name;
    const handheld::ExchangePlan* plan;
    double seconds = 0, cpu = 0;
  } legs[] = {{"upload   (handheld -> station)", &upload},
              {"download (station -> handheld)", &download}};
  for (Leg& leg : legs) {
    double cpu0 = e2e::ProcessCpuSeconds(pid), t0 = Now();
    handheld::ExchangeResult r = session.Run(*leg.plan);
    leg.seconds = Now() - t0;
    leg.cpu = e2e::ProcessCpuSeconds(pid) - cpu0;
    if (!r.complete) {
      printf("%s: exchange not complete: %s\n", leg.name, r.failure.c_str());
      ok = false;
      break;
    }
    printf("%s: %.3f s, %.0f records/s; station CPU %.3f s, %.4f s per 1,000 records\n", leg.name,
           leg.seconds, kRecords / leg.seconds, leg.cpu, leg.cpu * 1000 / kRecords);
    usleep(300 * 1000);  // let the station log the result and go idle
  }
  if (ok) {
    bool up_ok = e2e::ReadFile(dir / "RECU/BENCH.001") == up;
    bool down_ok = e2e::ReadFile(dir / "rx/BENCH.DAT") == down;
    if (!up_ok || !down_ok) {
      printf("data check FAILED:%s%s\n", up_ok ? "" : " upload", down_ok ? "" : " download");
      ok = false;
    }
  }
  const handheld::Latencies& lat = session.latencies();
  printf("answer time, last byte of a frame to the first byte of the station's answer:\n");
  printf("  upload data frame -> ACK:           p50 %6.0f us, p99 %6.0f us (%zu frames)\n",
         Percentile(lat.upload_us, 0.50), Percentile(lat.upload_us, 0.99), lat.upload_us.size());
  printf("  download ACK -> next data frame:    p50 %6.0f us, p99 %6.0f us (%zu frames)\n",
         Percentile(lat.download_us, 0.50), Percentile(lat.download_us, 0.99),
         lat.download_us.size());

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

  int status = station.Stop();
  if (status != 0) {
    printf("the station ended with status %d\n%s", status, station.Output().c_str());
    ok = false;
  }
  return ok ? 0 : 1;
}
