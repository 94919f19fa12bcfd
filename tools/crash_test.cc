// The station program killed (SIGKILL, as a power cut stops it) at many
// points of an exchange of uploads, with APPEND 'N' and 'O', then started
// again on a new pseudo-terminal: every upload the handheld saw acknowledged
// is in its target exactly once, byte for byte, no other upload is there
// twice, and no temporary file is left once the station is back on line.
//
// The kill points come from the station's test hook KAVELIN2_CRASH_AT
// (platform/crash_point.h): "<point>:<records>" fires at <point> of the
// upload that announced <records> records; each upload of the exchange has a
// different number of records. Which uploads were acknowledged comes from
// the simulator's summary.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"

namespace kavelin2::e2e {
namespace {

constexpr int kUploads = 10;
constexpr size_t kRecordLength = 12;

struct Upload {
  std::string target;      // trimmed name in RECU
  std::string name_field;  // as sent
  int records = 0;         // different for every upload: names it for the hook
  std::string data;
};

// Records of upload |u|: their own tag, and bytes a text mode would spoil.
std::string Records(int u, int count) {
  std::string data;
  for (int k = 0; k < count; ++k) {
    char rec[32];
    snprintf(rec, sizeof rec, "U%02dR%02d", u % 100, k % 100);
    std::string r(rec);
    r += '\r';
    r += '\n';
    r += '\0';
    r += '\xff';
    r += static_cast<char>(0x1A);
    r += static_cast<char>('a' + k % 26);
    data += r.substr(0, kRecordLength);
  }
  return data;
}

// Upload 1 creates NEW.001; the others go to CDE.001, which exists before
// the exchange, or to NEW.001 once it exists.
std::vector<Upload> Plan() {
  std::vector<Upload> plan;
  for (int u = 0; u < kUploads; ++u) {
    Upload up;
    bool fresh = u % 3 == 1;
    up.target = fresh ? "NEW.001" : "CDE.001";
    up.name_field = fresh ? "NEW     .001" : "CDE     .001";
    up.records = u + 2;
    up.data = Records(u, up.records);
    plan.push_back(up);
  }
  return plan;
}

const std::string kInitial = Records(99, 2);  // RECU/CDE.001 before the exchange

struct KillPoint {
  char append;
  std::string point;
  int upload;
};

// The numbers of records of the uploads whose end of file the handheld saw
// acknowledged, from its report as it goes (each line is flushed).
std::set<int> AcknowledgedRecords(const std::string& report) {
  std::set<int> acked;
  int current = -1;
  bool eot_sent = false;
  std::istringstream in(report);
  std::string line;
  while (std::getline(in, line)) {
    size_t close = line.find("] ");
    if (line.empty() || line[0] != '[' || close == std::string::npos) continue;
    std::string text = line.substr(close + 2);
    size_t colon = text.find("': ");
    if (text.rfind("upload of '", 0) == 0 && colon != std::string::npos) {
      current = std::stoi(text.substr(colon + 3));
      eot_sent = false;
    } else if (text.rfind("step", 0) == 0) {
      eot_sent = text.find("-> EOT") != std::string::npos;
    } else if (eot_sent && text.find("<- ACK") != std::string::npos) {
      acked.insert(current);
      eot_sent = false;
    }
  }
  return acked;
}

// One kill and restart, driven a step at a time so that several run at once
// (most of their time is spent waiting for processes).
class KillRun {
 public:
  explicit KillRun(KillPoint kp) : kp_(std::move(kp)), plan_(Plan()) {}

  // Takes the next step when it is due; false once the run is over.
  bool Step() {
    switch (stage_) {
      case 0:
        Begin();
        return Next(1, 5000);
      case 1:  // the station starts once the simulator's line exists
        if (!FileExists(dir_ / "link1")) return Waiting("the simulator's line did not appear");
        station_ = StartStation(
            "link1", {{"KAVELIN2_CRASH_AT", kp_.point + ":" + std::to_string(KilledRecords())}},
            "killed");
        return Next(2, 20000);
      case 2:
        if (station_->Running()) return Waiting("the station was not killed at the point");
        if (int status = station_->Wait(0); status != 128 + SIGKILL)
          return Fail("the station ended with status " + std::to_string(status) + ":\n" +
                      station_->Output());
        // The handheld reads and reports an ACK that was on its way.
        return Next(3, 300);
      case 3:
        if (!Due()) return true;
        return AfterKill();
      case 4:
        if (!FileExists(dir_ / "link2")) return Waiting("the second line did not appear");
        station_ = StartStation("link2", {}, "restarted");
        return Next(5, 20000);
      case 5:
        if (sim_->child().Running()) return Waiting("the exchange after the restart did not end");
        if (sim_->child().Wait(0) != 0)
          return Fail("the exchange after the restart failed:\n" + sim_->Output());
        station_->Signal(SIGTERM);
        return Next(6, 15000);
      case 6:
        if (station_->Running()) return Waiting("the restarted station did not stop");
        if (int status = station_->Wait(0); status != 0)
          return Fail("the restarted station ended with status " + std::to_string(status) + ":\n" +
                      station_->Output());
        return Fail(Check());
      default:
        return false;
    }
  }

  const KillPoint& kill_point() const { return kp_; }
  const std::string& problem() const { return problem_; }

 private:
  using Clock = std::chrono::steady_clock;

  int KilledRecords() const { return plan_[kp_.upload].records; }

  bool Next(int stage, int within_ms) {
    stage_ = stage;
    due_ = Clock::now() + std::chrono::milliseconds(within_ms);
    return true;
  }
  bool Due() const { return Clock::now() >= due_; }
  // Still waiting; past the deadline the run fails with |why|.
  bool Waiting(const std::string& why) { return Due() ? Fail(why) : true; }
  bool Fail(const std::string& why) {
    problem_ = why;
    stage_ = 7;
    sim_.reset();  // kills what still runs
    station_.reset();
    return false;
  }

  void StartSimulator(const std::string& link, std::vector<std::string> args,
                      const std::string& tag) {
    args.insert(args.begin(), {"--pty", dir_ / link, "--answer-timeout", "3000"});
    sim_ = std::make_unique<SimulatorProcess>(dir_, "sim-" + tag, args);
  }

  std::unique_ptr<Child> StartStation(const std::string& link,
                                      std::map<std::string, std::string> env,
                                      const std::string& tag) {
    env["KAVELIN2_UI"] = "headless";
    env["KAVELIN2_PORT_COM1"] = dir_ / link;
    return std::make_unique<Child>(BuildDir() + "/kavelin2", std::vector<std::string>{},
                                   dir_.path(), env, dir_ / ("station-" + tag + ".out"));
  }

  void Begin() {
    Settings settings;
    settings.append = kp_.append;
    dir_.WriteSettings(settings);
    WriteFile(dir_ / "RECU/CDE.001", kInitial);
    std::vector<std::string> args;
    for (int u = 0; u < kUploads; ++u) {
      std::string file = "u" + std::to_string(u);
      WriteFile(dir_ / file, plan_[u].data);
      args.insert(args.end(), {"--upload", file + ":" + std::to_string(kRecordLength),
                               "--name-field", plan_[u].name_field});
    }
    args.insert(args.end(), {"--download", "001"});
    StartSimulator("link1", args, "killed");
  }

  bool AfterKill() {
    std::string report = sim_->Output();
    sim_.reset();
    acked_ = AcknowledgedRecords(report);
    for (int u = 0; u < kp_.upload; ++u) {
      if (!acked_.count(plan_[u].records))
        return Fail("upload " + std::to_string(u) + " before the kill was not acknowledged:\n" +
                    report);
    }
    // Back on line on a new pseudo-terminal (the killed station's keeps its
    // exclusive flag), an exchange without upload shows that the station
    // serves the line; then it is stopped. No header came that could have
    // tidied the line's files: going on line alone did.
    StartSimulator("link2", {"--download", "001"}, "restarted");
    return Next(4, 5000);
  }

  // What each target must hold: its first content, then the uploads to it in
  // order (APPEND 'O') or the last of them ('N'). The killed upload, when not
  // acknowledged, may be there once or not at all. Nothing else may be in
  // RECU: no temporary, partial or kept file.
  std::string Check() {
    std::string log = station_->Output();
    if (log.find("append") != std::string::npos) return "the log reports an append:\n" + log;
    std::map<std::string, std::string> with, without;
    with["CDE.001"] = without["CDE.001"] = kInitial;
    bool killed_acked = acked_.count(KilledRecords()) != 0;
    for (int u = 0; u <= kp_.upload; ++u) {
      const Upload& up = plan_[u];
      bool counted = u < kp_.upload || killed_acked;
      if (kp_.append == 'O') {
        with[up.target] += up.data;
        if (counted) without[up.target] += up.data;
      } else {
        with[up.target] = up.data;
        if (counted) without[up.target] = up.data;
      }
    }
    std::map<std::string, std::string> present;
    for (const std::string& name : ListDir(dir_ / "RECU")) {
      // What recovery finished is remembered until the line's next upload,
      // which this exchange does not have.
      if (name == "..AJOUTFIC.1.done") continue;
      present[name] = ReadFile(dir_ / ("RECU/" + name));
    }
    if (present == with || present == without) return "";
    std::string why =
        "RECU holds (killed upload acknowledged: " + std::string(killed_acked ? "yes" : "no") +
        "):\n";
    for (const auto& [name, data] : present) {
      why += "  " + name + ": " + std::to_string(data.size()) + " bytes";
      if (with.count(name)) why += ", expected " + std::to_string(with[name].size());
      if (without.count(name)) why += " or " + std::to_string(without[name].size());
      why += "\n";
    }
    return why;
  }

  KillPoint kp_;
  std::vector<Upload> plan_;
  WorkDir dir_;
  int stage_ = 0;
  Clock::time_point due_;
  std::unique_ptr<SimulatorProcess> sim_;
  std::unique_ptr<Child> station_;
  std::set<int> acked_;
  std::string problem_;
};

TEST(CrashTest, EveryAcknowledgedUploadSurvivesAKillOnceAndByteExact) {
  std::vector<KillPoint> points;
  for (char append : {'N', 'O'}) {
    std::vector<std::string> names = {"block", "eof", "durable", "ack"};
    if (append == 'O') names.insert(names.end(), {"merge-half", "merged", "pending-gone"});
    for (const std::string& point : names) {
      for (int u = 0; u < kUploads; ++u) {
        // The first upload of a name takes it by a rename: no merge to kill.
        bool renamed = u == 1;
        if (renamed && (point == "merge-half" || point == "merged")) continue;
        points.push_back({append, point, u});
      }
    }
  }
  ASSERT_GE(points.size(), 100u);

  // A few runs at once: they mostly wait for their processes.
  constexpr size_t kAtOnce = 4;
  std::vector<std::unique_ptr<KillRun>> running;
  size_t next = 0, failures = 0;
  while ((next < points.size() || !running.empty()) && failures < 5) {
    while (running.size() < kAtOnce && next < points.size())
      running.push_back(std::make_unique<KillRun>(points[next++]));
    for (size_t i = 0; i < running.size();) {
      if (running[i]->Step()) {
        ++i;
        continue;
      }
      const KillRun& r = *running[i];
      if (!r.problem().empty()) {
        ++failures;
        ADD_FAILURE() << "APPEND '" << r.kill_point().append << "', killed at "
                      << r.kill_point().point << " of upload " << r.kill_point().upload << ": "
                      << r.problem();
      }
      running.erase(running.begin() + static_cast<long>(i));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(points.size(), next);
}

// Records of the u-th upload of the random kills: a different number each,
// which names the upload in the handheld's report.
int RandomUploadRecords(int u) { return 800 + u; }

// Counts of an upload in |data|: its records carry their own tag.
int Occurrences(const std::string& data, const std::string& upload) {
  int n = 0;
  for (size_t at = data.find(upload); at != std::string::npos; at = data.find(upload, at + 1)) ++n;
  return n;
}

// Kills at random moments of an exchange of appending uploads, the handheld
// sending again in the next exchange whatever it did not see acknowledged, as
// a real one does, until every upload was acknowledged: none lost, none in
// the target twice (a repeat kept aside after a restart is counted, and
// fine).
TEST(CrashTest, RandomKillsOfAppendingUploadsLoseNoneAndDoubleNone) {
  constexpr int kRandomUploads = 12;
  constexpr int kMaxRounds = 40;
  std::mt19937 random(20261209);
  int campaigns = 0, total_rounds = 0, total_kills = 0, total_acked = 0;
  int lost = 0, doubled = 0, kept_aside = 0;
  const auto started = std::chrono::steady_clock::now();
  auto seconds = [&started] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  };
  // Fresh exchanges until about 40 s have gone, at least three.
  while (campaigns < 3 || (seconds() < 40 && campaigns < 20)) {
    SCOPED_TRACE("campaign " + std::to_string(campaigns));
    WorkDir dir;
    Settings settings;
    settings.append = 'O';
    dir.WriteSettings(settings);
    WriteFile(dir / "RECU/CDE.001", kInitial);
    std::vector<std::string> data;
    for (int u = 0; u < kRandomUploads; ++u) {
      // Long enough that the kills fall inside the exchange, not after it.
      data.push_back(Records(u, RandomUploadRecords(u)));
      WriteFile(dir / ("r" + std::to_string(u)), data.back());
    }
    std::set<int> acked;  // by number of records
    int rounds = 0;
    while (static_cast<int>(acked.size()) < kRandomUploads && rounds < kMaxRounds) {
      const std::string link = "rlink" + std::to_string(rounds);
      std::vector<std::string> args = {"--pty", dir / link, "--answer-timeout", "3000"};
      for (int u = 0; u < kRandomUploads; ++u) {
        if (acked.count(RandomUploadRecords(u))) continue;
        args.insert(args.end(),
                    {"--upload", "r" + std::to_string(u) + ":" + std::to_string(kRecordLength),
                     "--name-field", "CDE     .001"});
      }
      args.insert(args.end(), {"--download", "001"});
      auto sim = std::make_unique<SimulatorProcess>(dir, "rsim" + std::to_string(rounds), args);
      ASSERT_TRUE(WaitFor([&] { return FileExists(dir / link); }, 10000));
      Child station(BuildDir() + "/kavelin2", {}, dir.path(),
                    {{"KAVELIN2_UI", "headless"}, {"KAVELIN2_PORT_COM1", dir / link}},
                    dir / ("rstation" + std::to_string(rounds) + ".out"));
      // The last rounds run undisturbed, so that the test ends.
      const bool kill = rounds < kMaxRounds - 3;
      if (kill) {
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(100, 2000)(random)));
        if (station.Running()) {
          station.Signal(SIGKILL);
          ++total_kills;
        }
        station.Wait(10000);
        // The handheld reads and reports an ACK that was on its way.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
      } else {
        EXPECT_EQ(0, sim->Finish(60000)) << sim->Output();
        station.Signal(SIGTERM);
        EXPECT_EQ(0, station.Wait(15000)) << station.Output();
      }
      for (int records : AcknowledgedRecords(sim->Output())) acked.insert(records);
      sim.reset();
      ++rounds;
    }

    const std::string target = ReadFile(dir / "RECU/CDE.001");
    std::string aside;
    for (const std::string& name : ListDir(dir / "RECU")) {
      if (name.rfind("CDE.001.", 0) == 0) aside += ReadFile(dir / ("RECU/" + name));
    }
    size_t expected_size = kInitial.size();
    for (int u = 0; u < kRandomUploads; ++u) {
      const int in_target = Occurrences(target, data[u]);
      const int in_aside = Occurrences(aside, data[u]);
      if (acked.count(RandomUploadRecords(u)) && in_target == 0 && in_aside == 0) ++lost;
      if (in_target > 1) ++doubled;
      kept_aside += in_aside;
      expected_size += static_cast<size_t>(in_target) * data[u].size();
    }

    EXPECT_EQ(kRandomUploads, static_cast<int>(acked.size()));
    EXPECT_EQ(0u, target.rfind(kInitial, 0));
    EXPECT_EQ(expected_size, target.size());  // whole uploads only, nothing torn
    ++campaigns;
    total_rounds += rounds;
    total_acked += static_cast<int>(acked.size());
  }
  ::testing::Test::RecordProperty("rounds", total_rounds);
  ::testing::Test::RecordProperty("kills", total_kills);
  ::testing::Test::RecordProperty("acknowledged", total_acked);
  ::testing::Test::RecordProperty("lost", lost);
  ::testing::Test::RecordProperty("doubled", doubled);
  ::testing::Test::RecordProperty("kept_aside", kept_aside);
  std::printf(
      "random kills: %d exchanges of %d uploads, %d rounds, %d kills, %d acknowledged, "
      "%d lost, %d doubled, %d kept aside, %.1f s\n",
      campaigns, kRandomUploads, total_rounds, total_kills, total_acked, lost, doubled, kept_aside,
      seconds());
  EXPECT_EQ(0, lost);
  EXPECT_EQ(0, doubled);
  EXPECT_GT(total_kills, campaigns);
}

}  // namespace
}  // namespace kavelin2::e2e
