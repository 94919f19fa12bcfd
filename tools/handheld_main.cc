// kavelin2-handheld: plays a handheld terminal against a kavelin2 station,
// on a serial line or on a pseudo-terminal pair it creates.
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "handheld_options.h"
#include "handheld_port.h"
#include "handheld_session.h"

namespace {

using namespace kavelin2::handheld;

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

// Every upload's file must exist and hold whole records before anything is
// sent, so that a typing error never leaves a half exchange on the line.
bool CheckUploads(const Options& o, std::string* error) {
  for (const auto& plan : o.exchanges) {
    for (const auto& u : plan.uploads) {
      struct stat st;
      if (stat(u.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "cannot read the file to upload " + u.path;
        return false;
      }
      if (st.st_size % u.record_length != 0) {
        *error = u.path + ": " + std::to_string(st.st_size) + " bytes is not a whole number of " +
                 std::to_string(u.record_length) + "-byte records";
        return false;
      }
      if (st.st_size / u.record_length > 99999) {
        *error = u.path + ": more than 99999 records";
        return false;
      }
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string error;
  if (!ParseOptions(argc, argv, &o, &error)) {
    fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
    return 2;
  }
  if (o.help) {
    fputs(Usage(argv[0]).c_str(), stdout);
    return 0;
  }
  if (!CheckUploads(o, &error)) {
    fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
    return 2;
  }
  if (!o.receive_dir.empty()) mkdir(o.receive_dir.c_str(), 0777);

  std::unique_ptr<HandheldPort> port =
      o.use_pty ? HandheldPort::CreatePty(o.pty_link, &error)
                : HandheldPort::OpenDevice(o.device, o.speed, o.format, &error);
  if (!port) {
    fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
    return 3;
  }
  InstallSignalHandlers(o.use_pty ? o.pty_link : std::string());
  FILE* sent_log = o.log_sent.empty() ? nullptr : fopen(o.log_sent.c_str(), "wb");
  FILE* received_log = o.log_received.empty() ? nullptr : fopen(o.log_received.c_str(), "wb");
  port->SetLogs(sent_log, received_log);

  Report report(stdout, !o.quiet);
  if (o.use_pty)
    report.Line("line: %s (station end, published as %s)", port->peer_path().c_str(),
                o.pty_link.c_str());
  else
    report.Line("line: %s at %d baud, %d%c%d", o.device.c_str(), o.speed, o.format.data_bits,
                o.format.parity, o.format.stop_bits);

  if (o.use_pty) {
    report.Line("waiting for the station to open the line");
    if (port->WaitForStation(o.timing.connect_timeout_ms))
      report.Line("the station opened the line");
    else
      report.Line("the station has not configured the line; trying anyway");
  }
  // The noise starts once the station is there: its opening of the line is
  // no part of the exchange.
  port->SetNoise(o.ber, o.seed);
  Session session(*port, o.timing, report, o.receive_dir);
  session.SetPersistent(o.persistent);
  int status = 0;
  for (size_t i = 0; i < o.exchanges.size(); ++i) {
    if (i > 0) {
      timespec gap{0, o.timing.gap_ms * 1000000L};
      nanosleep(&gap, nullptr);
    }
    if (o.exchanges.size() > 1) report.Line("exchange %zu of %zu", i + 1, o.exchanges.size());
    ExchangeResult r = session.Run(o.exchanges[i]);
    report.Summary(
        "exchange %zu: %s; %d steps, %d frames sent again, %d NAKs received, "
        "%d NAKs sent, %d prompts",
        i + 1, r.complete ? "complete" : "NOT complete", r.steps, r.resends, r.naks_received,
        r.naks_sent, r.prompts);
    if (!r.complete) report.Summary("  reason: %s", r.failure.c_str());
    for (const auto& u : r.uploads) report.Summary("  sent     %s", u.c_str());
    for (const auto& u : r.refused) report.Summary("  refused  '%s'", u.c_str());
    for (const auto& d : r.downloads) {
      report.Summary("  received %s: %d blocks (name frame %d, header %d)%s%s", d.name.c_str(),
                     d.blocks, d.announced, d.header_count, d.stored_path.empty() ? "" : " -> ",
                     d.stored_path.c_str());
    }
    if (!r.complete) {
      status = 1;
      break;
    }
  }
  if (o.ber > 0)
    report.Summary("line noise: %lld bytes hit", static_cast<long long>(port->injected()));
  const Latencies& lat = session.latencies();
  if (!lat.upload_us.empty())
    report.Summary("answer time to upload blocks: p50 %.0f us, p99 %.0f us (%zu blocks)",
                   Percentile(lat.upload_us, 0.50), Percentile(lat.upload_us, 0.99),
                   lat.upload_us.size());
  if (!lat.download_us.empty())
    report.Summary("answer time to download ACKs: p50 %.0f us, p99 %.0f us (%zu blocks)",
                   Percentile(lat.download_us, 0.50), Percentile(lat.download_us, 0.99),
                   lat.download_us.size());
  port.reset();
  if (sent_log) fclose(sent_log);
  if (received_log) fclose(received_log);
  return status;
}
