// A station on the fakes of src/testing, for the fuzz targets: fake clock,
// fake lines, fake UI runtime, fake launcher.
#pragma once

#include <memory>

#include "station/station.h"
#include "testing/fake_clock.h"
#include "testing/fake_launcher.h"
#include "testing/fake_serial.h"
#include "testing/fake_ui.h"

namespace kavelin2::fuzz {

struct FuzzStation {
  FuzzStation() : st(Platform{&clock, &serial, &launcher}, MakeUi(&ui)) {}
  FakeClock clock;
  FakeSerialSystem serial{clock};
  FakeLauncher launcher;
  FakeUiRuntime* ui = nullptr;  // owned by st.ui
  Station st;

 private:
  static std::unique_ptr<UiRuntimeLink> MakeUi(FakeUiRuntime** raw) {
    auto ui = std::make_unique<FakeUiRuntime>();
    *raw = ui.get();
    return ui;
  }
};

}  // namespace kavelin2::fuzz
