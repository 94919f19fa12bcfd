// What a device server costs: the same upload (2,000 records of 64 bytes) by
// an in-process handheld on a pseudo-terminal pair, the station on the
// terminal directly, then behind the real ser2net on 127.0.0.1 by raw TCP and
// by RFC 2217. Records per second and the answer times of each.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "handheld_frames.h"
#include "handheld_port.h"
#include "handheld_session.h"

namespace {

using namespace kavelin2;

constexpr int kRecords = 2000;
constexpr int kRecordLength = 64;

double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

std::string Records() {
  std::string data;
  for (int i = 0; i < kRecords; ++i) {
    char head[16];
    snprintf(head, sizeof head, "U%07d", i);
    std::string rec = head;
    while (rec.size() < kRecordLength) rec += static_cast<char>('a' + (rec.size() + i) % 26);
    data += rec;
  }
  return data;
}

enum class Way { kDirect, kRawTcp, kRfc2217 };

// One upload the station takes by |way|. False when it did not complete.
bool Leg(Way way, const char* name) {
  e2e::WorkDir dir;
  dir.WriteSettings(e2e::Settings{});
  const std::string up = Records();
  e2e::WriteFile(dir / "BENCH.001", up);
  std::string error;
  auto port = handheld::HandheldPort::CreatePty(dir / "com1", &error);
  if (!port) {
    fprintf(stderr, "ser2net_bench: %s\n", error.c_str());
    return false;
  }
  std::unique_ptr<e2e::Ser2netProcess> server;
  std::string device = dir / "com1";
  if (way != Way::kDirect) {
    int holder = -1;
    const int tcp_port = e2e::ReservedLoopbackPort(&holder);
    close(holder);
    server = std::make_unique<e2e::Ser2netProcess>(dir, tcp_port, dir / "com1",
                                                   way == Way::kRfc2217, "115200n81");
    if (!server->Start()) {
      fprintf(stderr, "ser2net_bench: ser2net did not start (installed?)\n%s",
              server->Output().c_str());
      return false;
    }
    device = std::string(way == Way::kRfc2217 ? "rfc2217" : "tcp") +
             "://127.0.0.1:" + std::to_string(tcp_port);
  }
  e2e::StationProcess station(dir, {{"COM1", device}}, /*transcript=*/false);
  if (!port->WaitForStation(10000)) {
    fprintf(stderr, "ser2net_bench: the station did not open its line\n%s",
            station.Output().c_str());
    return false;
  }
  handheld::Timing timing;
  handheld::Report report(stdout, /*verbose=*/false);
  handheld::Session session(*port, timing, report, dir / "rx");
  handheld::ExchangePlan plan;
  handheld::UploadSpec upload;
  handheld::ParseUploadSpec(dir / "BENCH.001:64", &upload, &error);
  plan.uploads.push_back(upload);
  plan.download = true;
  plan.download_id = "001";  // no table: the download is a single RS

  const double t0 = Now();
  handheld::ExchangeResult r = session.Run(plan);
  const double seconds = Now() - t0;
  if (!r.complete) {
    printf("%-22s exchange not complete: %s\n", name, r.failure.c_str());
    return false;
  }
  e2e::WaitFor([&] { return e2e::ReadFile(dir / "RECU/BENCH.001").size() == up.size(); }, 5000);
  const bool same = e2e::ReadFile(dir / "RECU/BENCH.001") == up;
  const auto& lat = session.latencies().upload_us;
  printf("%-22s %6.3f s, %5.0f records/s; data -> ACK p50 %5.0f us, p99 %6.0f us%s\n", name,
         seconds, kRecords / seconds, Percentile(lat, 0.50), Percentile(lat, 0.99),
         same ? "" : "  DATA CHECK FAILED");
  station.Stop();
  return same;
}

}  // namespace

int main() {
  signal(SIGPIPE, SIG_IGN);
  printf("upload of %d records of %d bytes, the station's line:\n", kRecords, kRecordLength);
  bool ok = Leg(Way::kDirect, "pseudo-terminal");
  ok = Leg(Way::kRawTcp, "ser2net, tcp://") && ok;
  ok = Leg(Way::kRfc2217, "ser2net, rfc2217://") && ok;
  return ok ? 0 : 1;
}
