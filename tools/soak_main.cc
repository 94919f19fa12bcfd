// kavelin2-soak: exchanges through a noisy line against the real station.
//
// The station program runs headless on one pseudo-terminal; a persistent
// handheld (the simulator's session) uploads a new file and asks for its
// download, exchange after exchange, with bit errors on the line both ways.
// Afterwards every uploaded file in RECU/ and every downloaded file is
// compared with what was sent. A wrong file counts as "unseen" when one of
// its frames carried errors the XOR check byte cannot see (the same bit
// flipped an even number of times), otherwise as "other": the soak fails when
// any "other" wrong file shows up.
//
//   kavelin2-soak [--seconds S] [--ber P] [--seed N] [--log FILE] [--keep]
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>

#include "e2e_support.h"
#include "handheld_port.h"
#include "handheld_session.h"

using namespace kavelin2;
using namespace kavelin2::handheld;

namespace {

int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

struct Counts {
  int exchanges = 0;
  int complete = 0;
  int resent = 0;  // frames sent again: ours after NAK or silence, the station's after our NAK
  int uploads_accepted = 0;
  int downloads_accepted = 0;
  int wrong_unseen = 0;
  int wrong_other = 0;
};

// The lines of TRANS/ARTICLES.DAT as the handheld stores them (records back
// to back, without their line ends).
std::string Articles(std::string* stored) {
  std::string file;
  stored->clear();
  for (int i = 1; i <= 12; ++i) {
    char line[80];
    std::snprintf(line, sizeof line, "ART%07d Article number %-3d  EUR %8.2f              ", i, i,
                  i * 1.25);
    std::string rec(line);
    rec.resize(64, ' ');
    file += rec + "\r\n";
    *stored += rec;
  }
  return file;
}

// True when |got| differs from |want| only in ways a frame's XOR check byte
// cannot see: the same length, and in each record of |record| bytes the
// differences XOR to zero (each bit position flipped an even number of times).
bool DiffUnseenByCheckByte(const std::string& got, const std::string& want, size_t record) {
  if (got.size() != want.size()) return false;
  for (size_t start = 0; start < got.size(); start += record) {
    uint8_t x = 0;
    for (size_t i = start; i < start + record && i < got.size(); ++i)
      x ^= static_cast<uint8_t>(got[i] ^ want[i]);
    if (x != 0) return false;
  }
  return true;
}

// The differing bytes of two files, as "offset:mask" pairs (for the log).
std::string Differences(const std::string& got, const std::string& want) {
  std::string out;
  for (size_t i = 0; i < got.size() && i < want.size(); ++i) {
    if (got[i] == want[i]) continue;
    char text[32];
    std::snprintf(text, sizeof text, " %zu:%02x", i, static_cast<uint8_t>(got[i] ^ want[i]));
    out += text;
  }
  if (got.size() != want.size())
    out += " sizes " + std::to_string(got.size()) + "/" + std::to_string(want.size());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 60;
  double ber = 1e-3;
  uint64_t seed = 1;
  bool keep = false;
  std::string log_path;  // every frame of every exchange, when given
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--seconds" && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else if (a == "--ber" && i + 1 < argc) {
      ber = std::strtod(argv[++i], nullptr);
    } else if (a == "--seed" && i + 1 < argc) {
      seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (a == "--log" && i + 1 < argc) {
      log_path = argv[++i];
    } else if (a == "--keep") {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: %s [--seconds S] [--ber P] [--seed N] [--log FILE] [--keep]\n",
                   argv[0]);
      return 2;
    }
  }
  signal(SIGPIPE, SIG_IGN);

  auto dir = std::make_unique<e2e::WorkDir>();
  e2e::Settings settings;
  dir->WriteSettings(settings);
  std::string articles;
  e2e::WriteFile(*dir / "TRANS/ARTICLES.DAT", Articles(&articles));
  e2e::WriteFile(*dir / "TABLE/TABLE.001", "ARTICLES.DAT 64\r\n");
  ::mkdir((*dir / "out").c_str(), 0777);
  ::mkdir((*dir / "in").c_str(), 0777);

  std::string error;
  std::unique_ptr<HandheldPort> port = HandheldPort::CreatePty(*dir / "com1", &error);
  if (!port) {
    std::fprintf(stderr, "soak: %s\n", error.c_str());
    return 1;
  }
  e2e::StationProcess station(*dir, {{"COM1", *dir / "com1"}}, false);
  if (!port->WaitForStation(10000)) {
    std::fprintf(stderr, "soak: the station did not open the line\n");
    return 1;
  }
  port->SetNoise(ber, seed);

  Timing timing;
  timing.answer_timeout_ms = 1200;  // below the station's 3000 ms of silence
  timing.connect_timeout_ms = 5000;
  timing.linger_ms = 3000;
  FILE* devnull = std::fopen(log_path.empty() ? "/dev/null" : log_path.c_str(), "w");
  Report report(devnull, !log_path.empty());
  Session session(*port, timing, report, *dir / "in");
  session.SetPersistent(true);

  std::mt19937 random(static_cast<uint32_t>(seed));
  Counts c;
  std::set<std::string> expected_names;
  const int64_t end = NowMs() + int64_t{seconds} * 1000;
  while (NowMs() < end) {
    // A new upload each time: 1 to 20 records of 32 printable bytes.
    char name[24];
    std::snprintf(name, sizeof name, "S%07d.001", (c.exchanges + 1) % 10000000);
    int records = 1 + static_cast<int>(random() % 20);
    std::string content;
    for (int r = 0; r < records * 32; ++r)
      content += static_cast<char>(' ' + static_cast<int>(random() % 95));
    std::string path = *dir / ("out/" + std::string(name));
    e2e::WriteFile(path, content);
    ExchangePlan plan;
    UploadSpec upload;
    if (!ParseUploadSpec(path + ":32", &upload, &error)) {
      std::fprintf(stderr, "soak: %s\n", error.c_str());
      return 1;
    }
    plan.uploads.push_back(upload);
    plan.download = true;
    plan.download_id = "001";
    ::unlink((*dir / "in/ARTICLES.DAT").c_str());

    size_t stat_before = e2e::StatRecords(*dir).size();
    ExchangeResult r = session.Run(plan);
    ++c.exchanges;
    if (r.complete) ++c.complete;
    c.resent += r.resends + r.naks_sent;

    // The upload: stored under its name, or under a name noise made up.
    expected_names.insert(name);
    std::string stored = *dir / ("RECU/" + std::string(name));
    if (e2e::FileExists(stored)) {
      ++c.uploads_accepted;
      std::string got = e2e::ReadFile(stored);
      if (got != content) {
        bool unseen = !r.unseen_uploads.empty() && DiffUnseenByCheckByte(got, content, 32);
        (unseen ? c.wrong_unseen : c.wrong_other) += 1;
        std::fprintf(stderr, "soak: %s stored wrong (%s):%s\n", name,
                     unseen ? "unseen by the check byte" : "check byte could see it",
                     Differences(got, content).c_str());
      }
    }
    if (!r.complete) {
      // Let the station end the exchange (it logs every end) before the next.
      e2e::WaitFor([&] { return e2e::StatRecords(*dir).size() > stat_before; }, 40000);
    }
    for (const std::string& f : e2e::ListDir(*dir / "RECU")) {
      // The station's own partial and temporary files are no uploads.
      if (expected_names.count(f) || f.rfind("..", 0) == 0 || f.rfind("AJOUTFIC", 0) == 0) continue;
      expected_names.insert(f);  // counted once
      ++c.uploads_accepted;
      (r.unseen_uploads.empty() ? c.wrong_other : c.wrong_unseen) += 1;
      std::fprintf(stderr, "soak: an upload was stored as %s\n", f.c_str());
    }
    // The download, when the handheld got it whole.
    for (const DownloadedFile& d : r.downloads) {
      if (d.stored_path.empty() || d.blocks != d.header_count) continue;
      ++c.downloads_accepted;
      std::string got = e2e::ReadFile(d.stored_path);
      if (d.name != "ARTICLES.DAT" || got != articles) {
        bool unseen = !r.unseen_downloads.empty() &&
                      (d.name != "ARTICLES.DAT" || DiffUnseenByCheckByte(got, articles, 64));
        (unseen ? c.wrong_unseen : c.wrong_other) += 1;
        std::fprintf(stderr, "soak: download %s received wrong (%s):%s\n", d.name.c_str(),
                     unseen ? "unseen by the check byte" : "check byte could see it",
                     Differences(got, articles).c_str());
      }
    }
  }

  bool alive = station.child().Running();
  int status = station.Stop();
  std::map<std::string, int> results;
  for (const std::string& rec : e2e::StatRecords(*dir)) ++results[rec.substr(0, 2)];
  std::printf("soak: %d s at %g errors per byte each way (seed %llu)\n", seconds, ber,
              static_cast<unsigned long long>(seed));
  std::printf("  exchanges:               %d (%d complete for the handheld)\n", c.exchanges,
              c.complete);
  std::printf("  station results:         OK %d, TO %d, ER %d\n", results["OK"], results["TO"],
              results["ER"]);
  std::printf("  injected errors:         %lld bytes hit\n",
              static_cast<long long>(port->injected()));
  std::printf("  frames resent:           %d\n", c.resent);
  std::printf("  files accepted:          %d uploads, %d downloads\n", c.uploads_accepted,
              c.downloads_accepted);
  std::printf("  accepted with wrong content: %d unseen by the check byte, %d other\n",
              c.wrong_unseen, c.wrong_other);
  std::fclose(devnull);
  bool ok = alive && status == 0 && c.wrong_other == 0 && c.complete > 0;
  if (!ok) {
    std::printf("soak: FAILED (station %s, exit status %d)\n", alive ? "alive" : "gone", status);
    keep = true;
  }
  if (keep) {
    std::string kept = dir->path() + ".kept";
    std::rename(dir->path().c_str(), kept.c_str());
    std::printf("soak: working directory kept as %s\n", kept.c_str());
  }
  return ok ? 0 : 1;
}
