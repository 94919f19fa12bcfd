// The station program's alerts, end to end: the real program headless on two
// pseudo-terminals, a handheld that times out, one refused with NAKs whose
// line then goes away and comes back, an overdue handheld, and an alert
// program that writes down each call.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace kavelin2::e2e {
namespace {

// One call of the alert program: its arguments after the program's path and
// its KAVELIN2_ALERT_ variables.
struct Call {
  std::vector<std::string> args;
  std::map<std::string, std::string> env;
  std::string Arg(const std::string& key) const {
    for (const std::string& a : args)
      if (a.rfind(key + "=", 0) == 0) return a.substr(key.size() + 1);
    return "<none>";
  }
};

std::vector<Call> Calls(const std::string& dir) {
  std::vector<Call> calls;
  for (const std::string& name : ListDir(dir)) {
    if (name.size() < 5 || name.substr(name.size() - 5) != ".call") continue;
    std::ifstream in(dir + "/" + name);
    Call c;
    std::string line;
    bool in_env = false;
    while (std::getline(in, line)) {
      if (line == "--env--") {
        in_env = true;
      } else if (in_env) {
        size_t eq = line.find('=');
        c.env[line.substr(0, eq)] = eq == std::string::npos ? "" : line.substr(eq + 1);
      } else {
        c.args.push_back(line);
      }
    }
    calls.push_back(c);
  }
  return calls;
}

std::vector<Call> Of(const std::vector<Call>& calls, const std::string& event) {
  std::vector<Call> out;
  for (const Call& c : calls)
    if (!c.args.empty() && c.args[0] == event) out.push_back(c);
  return out;
}

// Children of |pid| that ended and were never collected.
int Zombies(pid_t pid) {
  int n = 0;
  DIR* d = opendir("/proc");
  if (d == nullptr) return -1;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;  // processes only
    std::string stat = ReadFile(std::string("/proc/") + e->d_name + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 4 >= stat.size()) continue;
    char state = stat[close + 2];
    long ppid = std::strtol(stat.c_str() + close + 4, nullptr, 10);
    if (ppid == pid && state == 'Z') ++n;
  }
  closedir(d);
  return n;
}

TEST(AlertsE2E, AlertProgramIsCalledForEachEventWithItsArgumentsAndEnvironment) {
  WorkDir dir;
  Settings settings;
  settings.active[1] = true;
  dir.WriteSettings(settings);
  WriteFile(dir / "TRANS/ARTICLES.DAT", std::string(64, 'a') + "\r\n");
  for (const char* id : {"001", "002", "009"})
    WriteFile(dir / (std::string("TABLE/TABLE.") + id), "ARTICLES.DAT 64\r\n");
  const std::string calls_dir = dir / "calls";
  mkdir(calls_dir.c_str(), 0755);
  const std::string program = dir / "alert.sh";
  WriteFile(program,
            "#!/bin/sh\n"
            "f=\"" +
                calls_dir +
                "/$$\"\n"
                "{ printf '%s\\n' \"$@\"; echo --env--; env | grep '^KAVELIN2_ALERT_' | sort; }"
                " > \"$f.tmp\"\n"
                "mv \"$f.tmp\" \"$f.call\"\n");
  chmod(program.c_str(), 0755);
  const std::string link1 = dir / "com1", link2 = dir / "com2";
  auto sim = [&](const std::string& name, const std::string& link, std::vector<std::string> args) {
    args.insert(args.begin(), {"--pty", link, "--connect-timeout", "20000"});
    auto p = std::make_unique<SimulatorProcess>(dir, name, args);
    EXPECT_TRUE(WaitFor([&] { return FileExists(link); }, 5000));
    return p;
  };

  // Line 1: handheld 001 names itself and stays silent (TO after ~33 s).
  // Line 2: handheld 002 refuses the station's frame with NAKs (ER), then
  // goes away; another comes back on its line later.
  auto silent = sim("silent", link1, {"--download", "001", "--silent-after", "1"});
  auto naks = sim("naks", link2, {"--download", "002", "--nak", "2:12", "--listen", "0"});
  StationProcess station(dir, {{"COM1", link1}, {"COM2", link2}}, true,
                         {{"KAVELIN2_ALERT_PROGRAM", program}, {"KAVELIN2_ALERT_AFTER_S", "2"}});
  EXPECT_EQ(1, naks->Finish()) << naks->Output() << station.Output();
  naks.reset();
  ASSERT_TRUE(WaitFor([&] { return Of(Calls(calls_dir), "line-lost").size() == 1; }, 15000))
      << station.Output();
  const Call lost = Of(Calls(calls_dir), "line-lost").at(0);
  auto back = sim("back", link2, {"--download", "002"});
  EXPECT_EQ(0, back->Finish(30000)) << back->Output() << station.Output();
  ASSERT_TRUE(WaitFor([&] { return Of(Calls(calls_dir), "line-back").size() == 1; }, 15000))
      << station.Output();
  EXPECT_EQ(1, silent->Finish(60000)) << silent->Output();
  ASSERT_TRUE(WaitFor([&] { return Of(Calls(calls_dir), "exchange-failed").size() == 2; }, 15000))
      << station.Output();
  // The 10 s look at the overdue handhelds comes round once more.
  WaitFor([] { return false; }, 11000);
  const std::vector<Call> calls = Calls(calls_dir);

  // Failed exchanges: the handheld, the result and the reason, both ways.
  std::map<std::string, Call> failed;
  for (const Call& c : Of(calls, "exchange-failed")) failed[c.Arg("handheld")] = c;
  ASSERT_EQ(1u, failed.count("001"));
  ASSERT_EQ(1u, failed.count("002"));
  const Call& to = failed["001"];
  EXPECT_EQ("1", to.Arg("line"));
  EXPECT_EQ("COM1", to.Arg("port"));
  EXPECT_EQ("TO", to.Arg("result"));
  EXPECT_EQ("11 time-outs in a row", to.Arg("reason"));
  EXPECT_GE(std::stoi(to.Arg("duration")), 30);
  EXPECT_EQ("exchange-failed", to.env.at("KAVELIN2_ALERT_EVENT"));
  EXPECT_EQ("001", to.env.at("KAVELIN2_ALERT_HANDHELD"));
  EXPECT_EQ("TO", to.env.at("KAVELIN2_ALERT_RESULT"));
  EXPECT_EQ(to.Arg("reason"), to.env.at("KAVELIN2_ALERT_REASON"));
  EXPECT_EQ(to.Arg("text"), to.env.at("KAVELIN2_ALERT_TEXT"));
  const Call& er = failed["002"];
  EXPECT_EQ("2", er.Arg("line"));
  EXPECT_EQ("ER", er.Arg("result"));
  EXPECT_NE(std::string::npos, er.Arg("reason").find("NAK")) << er.Arg("reason");

  // The line lost for longer than 2 s, once per loss, and its return. Each
  // handheld's end closes its pseudo-terminal: line 2 was lost twice (after
  // the NAKs, after the last exchange), line 1 once, after its time-out;
  // only line 2's first loss ended.
  EXPECT_EQ("2", lost.Arg("line"));
  EXPECT_EQ("COM2", lost.Arg("port"));
  EXPECT_EQ("COM2 (" + link2 + ")", lost.Arg("device"));
  EXPECT_EQ(lost.Arg("device"), lost.env.at("KAVELIN2_ALERT_DEVICE"));
  EXPECT_FALSE(lost.Arg("reason").empty());
  EXPECT_GE(std::stoi(lost.Arg("seconds")), 2);
  std::map<std::string, int> losses;
  for (const Call& c : Of(calls, "line-lost")) ++losses[c.Arg("line")];
  EXPECT_EQ((std::map<std::string, int>{{"1", 1}, {"2", 2}}), losses);
  ASSERT_EQ(1u, Of(calls, "line-back").size());
  const Call returned = Of(calls, "line-back").at(0);
  EXPECT_EQ("2", returned.Arg("line"));
  EXPECT_EQ(lost.Arg("since"), returned.Arg("since"));
  EXPECT_GE(std::stoi(returned.Arg("seconds")), std::stoi(lost.Arg("seconds")));

  // 009 has a table and never synced: overdue from the start, told once; no
  // handheld is told twice within its period.
  std::map<std::string, int> overdue;
  for (const Call& c : Of(calls, "handheld-overdue")) {
    ++overdue[c.Arg("handheld")];
    EXPECT_EQ("24", c.Arg("hours"));
    EXPECT_EQ(c.Arg("handheld"), c.env.at("KAVELIN2_ALERT_HANDHELD"));
  }
  EXPECT_EQ(1, overdue["009"]);
  EXPECT_EQ("never", Of(calls, "handheld-overdue").at(0).Arg("last_ok"));
  for (const auto& [id, n] : overdue) EXPECT_EQ(1, n) << id;
  // Nothing else: two failed exchanges, three losses, one return.
  EXPECT_EQ(calls.size(), 2u + 3u + 1u + Of(calls, "handheld-overdue").size());

  // Every call names its time; none left a zombie behind the station.
  for (const Call& c : calls) EXPECT_EQ(c.Arg("time"), c.env.at("KAVELIN2_ALERT_TIME"));
  EXPECT_EQ(0, Zombies(station.child().pid()));
  EXPECT_EQ(0, station.Stop()) << station.Output();
}

// A program that is not there stops the station before it goes on line.
TEST(AlertsE2E, AnAlertProgramThatIsNotAnExecutableFileStopsTheStation) {
  WorkDir dir;
  dir.WriteSettings(Settings{});
  StationProcess station(dir, {{"COM1", dir / "com1"}}, false,
                         {{"KAVELIN2_ALERT_PROGRAM", dir / "missing"}});
  EXPECT_EQ(2, station.child().Wait(15000));
  EXPECT_EQ("kavelin2: KAVELIN2_ALERT_PROGRAM=" + (dir / "missing") + ": not an executable file\n",
            station.Output());
}

}  // namespace
}  // namespace kavelin2::e2e
