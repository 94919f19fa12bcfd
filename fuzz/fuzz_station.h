// A station on the fakes of src/testing, for the fuzz targets: fake clock,
// fake lines, fake UI runtime, fake launcher.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "exchange/exchange.h"
#include "exchange/supervision.h"
#include "line/line.h"
#include "online/consumers.h"
#include "platform/clock.h"
#include "station/station.h"
#include "testing/fake_clock.h"
#include "testing/fake_launcher.h"
#include "testing/fake_serial.h"
#include "testing/fake_ui.h"

namespace kavelin2::fuzz {

struct FuzzStation {
  FuzzStation()
      : st(Platform{.clock = &clock, .serial = &serial, .launcher = &launcher, .fs = fs.get()},
           MakeUi(&ui)) {
    AddStationConsumers(st);
  }
  FakeClock clock;
  FakeSerialSystem serial{clock};
  FakeLauncher launcher;
  std::unique_ptr<FileSystem> fs = NewPlatformFileSystem();
  FakeUiRuntime* ui = nullptr;  // owned by st.ui
  Station st;

  // Serves line 1 as the poll loop serves a line, for at most |max_steps|
  // steps or until the line is idle with nothing more to arrive; when nothing
  // is queued the clock moves to the next arrival or the line's deadline.
  // |after_step| runs after every step (the targets' invariants).
  void ServeLine(FakeLine& line, int max_steps, const std::function<void()>& after_step = {}) {
    for (int step = 0; step < max_steps; ++step) {
      LineEntry& l = st.LineTable[0];
      uint8_t byte = 0;
      if (PollByte(st.LineTable[0], &byte)) {
        l.LineDeadline = Deadline::After(st.clock.NowMs(), kSilenceMs);
        l.TimeoutCount = 0;
        DispatchControlByte(st, st.LineTable[0], byte);
      } else if (l.LinePhase != kPhaseNone && l.LineDeadline.PassedAt(st.clock.NowMs())) {
        HandleTimeout(st, st.LineTable[0]);
      } else {
        int64_t next = line.NextArrival();
        if (next < 0 && l.LinePhase == kPhaseNone) break;
        int64_t to = l.LinePhase != kPhaseNone ? l.LineDeadline.ms() + 1 : next;
        if (next >= 0 && next < to) to = next;
        clock.Advance(to > clock.now() ? to - clock.now() : 1);
      }
      if (after_step) after_step();
    }
  }

 private:
  static std::unique_ptr<UiRuntimeLink> MakeUi(FakeUiRuntime** raw) {
    auto ui = std::make_unique<FakeUiRuntime>();
    *raw = ui.get();
    return ui;
  }
};

}  // namespace kavelin2::fuzz
