#include <functional>

#include "exchange/upload_fixture.h"
#include "online/online.h"

namespace kavelin2 {
namespace {

constexpr char kPoll[] = "ECRAN,SAISIE/NONBLOCANTE";
constexpr int64_t kGuardMs = 30 * 60 * 1000;

// The loop ends when the UI runtime answers "*P*" with both lines idle: each
// test decides, pass by pass, what the user does.
class PollLines : public ProtocolTest {
 protected:
  PollLines() {
    ts.ui->responder = [this](const std::string& command) -> std::optional<FakeReply> {
      if (command != kPoll) return std::nullopt;
      ++passes;
      bool stop = on_pass ? on_pass() : false;
      if (ts.clock.now() - run_started > kGuardMs) {  // a broken loop must not hang the test
        EndExchange(0);
        EndExchange(1);
        stop = true;
      }
      return FakeReply{std::string(stop ? "*P*" : "*N*"), std::nullopt, std::nullopt};
    };
  }
  // Stops at the first pass at or after |ms| of station time.
  void StopAt(int64_t ms) {
    on_pass = [this, ms] { return ts.clock.now() >= ms; };
  }
  int Run() {
    run_started = ts.clock.now();
    return kavelin2::PollLines(st);
  }
  int64_t Now() { return ts.clock.now(); }
  // A busy line the test ends itself (as the end of an exchange would).
  void EndExchange(int i) {
    line(i).LinePhase = '2';
    line(i).LineState = '2';
  }

  std::function<bool()> on_pass;
  int passes = 0;
  int64_t run_started = 0;
};

TEST_F(PollLines, StopWithBothLinesIdleReturnsOneAtOnce) {
  StopAt(0);
  EXPECT_EQ(1, Run());
  EXPECT_EQ(std::vector<std::string>{kPoll}, ts.ui->commands);
}

TEST_F(PollLines, IdleLoopShowsTheClockOncePerSecondAndBlocks) {
  StopAt(2500);
  EXPECT_EQ(1, Run());
  EXPECT_EQ((std::vector<std::string>{"AFFICHE, HEURE,=09:15:02", "AFFICHE, HEURE,=09:15:03",
                                      "AFFICHE, HEURE,=09:15:04"}),
            Commands("AFFICHE, HEURE,"));
  EXPECT_EQ(26, passes);  // one pass per 100 ms of waiting
  EXPECT_EQ(0, ts.clock.slept());
}

TEST_F(PollLines, WithoutActiveLinesClockScheduleAndStopStillWork) {
  st.Ports.line[0].ACTIVE = 'N';
  st.Ports.line[1].ACTIVE = 'N';
  Arrive({ENQ}, 0);
  Arrive({ENQ}, 1);
  StopAt(1100);
  EXPECT_EQ(1, Run());
  EXPECT_EQ(1100, Now());
  EXPECT_EQ(2u, Commands("AFFICHE, HEURE,").size());
  EXPECT_TRUE(lines[0]->written().empty());
  EXPECT_TRUE(lines[1]->written().empty());
}

TEST_F(PollLines, OnlyTheSecondLineIsServedWhenTheFirstIsInactive) {
  st.Ports.line[0].ACTIVE = 'N';
  Arrive({ENQ}, 0);
  Arrive({ENQ}, 1);
  on_pass = [this] {
    if (line(1).LinePhase == '0') EndExchange(1);
    return Now() >= 500;
  };
  Run();
  EXPECT_TRUE(lines[0]->written().empty());
  EXPECT_EQ(Bytes{ACK}, lines[1]->written());
}

TEST_F(PollLines, IdleWaitWakesAtOnceOnAByte) {
  lines[0]->Arrive(50, {ENQ});
  on_pass = [this] {
    if (line(0).LinePhase != '0') return false;
    EndExchange(0);
    return true;
  };
  Run();
  ASSERT_EQ(1u, lines[0]->writes().size());
  EXPECT_EQ(50, lines[0]->writes()[0].at_ms);
  EXPECT_EQ(Bytes{ACK}, lines[0]->writes()[0].bytes);
}

TEST_F(PollLines, SilentLineTimesOutOncePerElapsedDeadlineWithoutSpinning) {
  Arrive({ENQ});
  std::vector<int64_t> timeouts;
  int32_t last = 0;
  on_pass = [&] {
    if (line().TimeoutCount != last) {
      last = line().TimeoutCount;
      timeouts.push_back(Now());
    }
    if (last < 3) return false;
    EndExchange(0);
    return true;
  };
  EXPECT_EQ(1, Run());
  // A deadline has passed when it is below the clock: 3000 ms after the byte
  // and after each time-out, the next millisecond.
  EXPECT_EQ((std::vector<int64_t>{3001, 6002, 9003}), timeouts);
  // One pass per displayed second and per time-out: no spinning.
  EXPECT_LE(passes, 16);
  EXPECT_EQ(10u, Commands("AFFICHE, HEURE,").size());
}

TEST_F(PollLines, TimeOutsKeepTheirRhythmAcrossTheWrapOfTheMillisecondClock) {
  const int64_t start = (int64_t{1} << 32) - 4000;  // the 32-bit clock wraps 4 s later
  ts.clock.Advance(start);
  Arrive({ENQ});
  std::vector<int64_t> timeouts;
  int32_t last = 0;
  on_pass = [&] {
    if (line().TimeoutCount != last) {
      last = line().TimeoutCount;
      timeouts.push_back(Now() - start);
    }
    if (last < 3 && Now() - start < 60000) return false;
    EndExchange(0);
    return true;
  };
  Run();
  EXPECT_EQ((std::vector<int64_t>{3001, 6002, 9003}), timeouts);
}

TEST_F(PollLines, AByteAfterTimeOutsBlanksTheCountAndRearmsTheDeadline) {
  Arrive({ENQ});
  lines[0]->Arrive(7000, {'A'});  // no control byte, but a sign of life
  std::vector<int64_t> timeouts;
  int32_t last = 0;
  on_pass = [&] {
    if (line().TimeoutCount > last) timeouts.push_back(Now());
    last = line().TimeoutCount;
    if (timeouts.size() < 3) return false;
    EndExchange(0);
    return true;
  };
  Run();
  EXPECT_EQ(1u, Commands("AFFICHE, timeout,1=  ").size());
  EXPECT_EQ((std::vector<int64_t>{3001, 6002, 10001}), timeouts);
}

TEST_F(PollLines, SilentUploadEndsAtTheEleventhTimeOutWithoutPrompting) {
  Arrive({ENQ});
  on_pass = [this] { return Now() > 0 && line().LinePhase == '2'; };
  EXPECT_EQ(1, Run());
  std::vector<std::string> shown = Commands("AFFICHE, timeout,1=");
  ASSERT_EQ(10u, shown.size());
  EXPECT_EQ("AFFICHE, timeout,1=10", shown.back());
  EXPECT_EQ(11 * 3001, Now());
  // The handheld is the sender in an upload: no ENQ, only the final EOT.
  EXPECT_EQ((Bytes{ACK, EOT}), lines[0]->written());
  EXPECT_EQ(0u, ReadFile("STAT.TXT").rfind("TO ??? 1 ", 0));
}

TEST_F(PollLines, StopRequestWhileALineIsBusyIsDropped) {
  Arrive({ENQ});
  lines[0]->Arrive(500, {'A'});  // makes a pass at 500
  int stops_asked = 0;
  on_pass = [&] {
    if (Now() == 500) {  // asked once, while the upload is open
      ++stops_asked;
      return true;
    }
    if (Now() >= 1500 && line().LinePhase != '2') EndExchange(0);
    return Now() >= 3000;
  };
  EXPECT_EQ(1, Run());
  EXPECT_EQ(1, stops_asked);
  // Not remembered: the loop went on after the line became idle at 2000.
  EXPECT_EQ(3000, Now());
}

TEST_F(PollLines, BusyLineWaitsForTheSecondToChangeNotForAPollPeriod) {
  Arrive({ENQ});
  lines[0]->Arrive(1250, {'A'});
  std::vector<int64_t> at;
  on_pass = [&] {
    at.push_back(Now());
    if (Now() < 2000) return false;
    EndExchange(0);
    return true;
  };
  Run();
  // Entry, then the ENQ, a second, the byte, a second.
  EXPECT_EQ((std::vector<int64_t>{0, 0, 1000, 1250, 2000}), at);
}

// The schedule. The station goes on line at 09:15:02 with both launched flags
// set, as going on line leaves them.
class Schedule : public PollLines {
 protected:
  Schedule() {
    st.ProgCLaunched = 1;
    st.ProgDLaunched = 1;
    std::strcpy(st.Schedule.PROGC, "PROG_C.BAT");
    std::strcpy(st.Schedule.PROGD, "PROG_D.BAT");
    std::strcpy(st.Schedule.PROGFIN, "PROG_FIN.BAT");
  }
  void SetC(const char* hhmm) {
    st.Schedule.SELC = 'O';
    std::memcpy(st.Schedule.HEUREC, hhmm, 5);
  }
  void SetD(const char* hhmm) {
    st.Schedule.SELD = 'O';
    std::memcpy(st.Schedule.HEURED, hhmm, 5);
  }
  std::vector<std::string> Launched() {
    std::vector<std::string> out;
    for (const auto& l : ts.launcher.launched) out.push_back(l.first);
    return out;
  }
  // Station time (ms) of 09:mm:ss on the first day.
  static int64_t At(int mm, int ss) { return ((mm - 15) * 60 + ss - 2) * 1000; }
};

TEST_F(Schedule, GoingOnLineInTheMinuteOfTheEntryDoesNotLaunchIt) {
  SetC("09:15");
  StopAt(At(16, 30));
  EXPECT_EQ(1, Run());
  EXPECT_TRUE(Launched().empty());
  EXPECT_EQ(0, st.ProgCLaunched);  // cleared once the minute was left
}

TEST_F(Schedule, EntryLaunchesOncePerMinuteAndAgainTheNextDay) {
  SetC("09:16");
  std::vector<int64_t> launched_at;
  bool next_day = false;
  on_pass = [&] {
    if (ts.launcher.launched.size() > launched_at.size()) launched_at.push_back(Now());
    if (!next_day && Now() >= At(17, 30)) {
      // Jump to the next day, 09:15:50.
      ts.clock.SetCalendar(ts.clock.NowSeconds() + 86400 - 100);
      next_day = true;
    }
    return launched_at.size() == 2;
  };
  EXPECT_EQ(1, Run());
  EXPECT_EQ((std::vector<std::string>{"PROG_C.BAT", "PROG_C.BAT"}), Launched());
  ASSERT_EQ(2u, launched_at.size());
  EXPECT_EQ(At(16, 0), launched_at[0] - 100);  // seen on the pass after the launch
  EXPECT_EQ(At(17, 30) + 10 * 1000, launched_at[1] - 100);
}

TEST_F(Schedule, BothEntriesInOnePassLaunchDThenC) {
  SetC("09:16");
  SetD("09:16");
  StopAt(At(16, 10));
  Run();
  EXPECT_EQ((std::vector<std::string>{"PROG_D.BAT", "PROG_C.BAT"}), Launched());
}

TEST_F(Schedule, BusyLineDefersTheLaunchUntilBothAreIdle) {
  SetC("09:16");
  line(0).LinePhase = '0';  // in an exchange all through the minute
  for (int64_t t = 0; t < At(17, 30); t += 2000) lines[0]->Arrive(t, {'A'});
  size_t launched_before_idle = 99;
  on_pass = [&] {
    if (Now() >= At(17, 30) && line(0).LinePhase != '2') {
      launched_before_idle = ts.launcher.launched.size();
      EndExchange(0);
    }
    return Now() >= At(17, 40);
  };
  Run();
  EXPECT_EQ(0u, launched_before_idle);
  EXPECT_EQ(std::vector<std::string>{"PROG_C.BAT"}, Launched());
}

TEST_F(Schedule, LaunchWithAvantEndsTheLoopWithZero) {
  SetC("09:16");
  st.Schedule.AVANT = 'O';
  StopAt(At(20, 0));
  EXPECT_EQ(0, Run());
  EXPECT_EQ(std::vector<std::string>{"PROG_C.BAT"}, Launched());
  EXPECT_EQ(At(16, 0), Now());
}

TEST_F(Schedule, PendingEndOfExchangeProgramRunsOnceBothLinesAreIdle) {
  st.PendingProgram = 1;
  line(1).LinePhase = '3';
  for (int64_t t = 0; t < 5000; t += 2000) lines[1]->Arrive(t, {'A'});
  size_t launched_while_busy = 99;
  on_pass = [&] {
    if (Now() >= 5000 && line(1).LinePhase != '2') {
      launched_while_busy = ts.launcher.launched.size();
      EndExchange(1);
    }
    return Now() >= 6000;
  };
  EXPECT_EQ(1, Run());
  EXPECT_EQ(0u, launched_while_busy);
  EXPECT_EQ(std::vector<std::string>{"PROG_FIN.BAT"}, Launched());
  EXPECT_EQ(0, st.PendingProgram);
}

TEST_F(Schedule, PendingProgramWithAvantEndsTheLoopWithZero) {
  st.PendingProgram = 1;
  st.Schedule.AVANT = 'O';
  StopAt(1000);
  EXPECT_EQ(0, Run());
  EXPECT_EQ(std::vector<std::string>{"PROG_FIN.BAT"}, Launched());
}

}  // namespace
}  // namespace kavelin2
