// "DECONEX.WDW": the three scheduled programs, their times and AVANT, with the
// current time shown while the window is open.
#include <cstring>

#include "config/settings.h"
#include "dialogs/dialogs.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

// Between two non-blocking inputs the dialog sleeps this long, so it neither
// spins nor lets the shown second lag by more than this.
constexpr int32_t kInputPassMs = 100;

// A time field holds exactly five characters, NUL-padded, no terminator.
void CopyTime(char (&field)[5], const char* text) {
  std::memset(field, 0, sizeof field);
  std::memcpy(field, text, strnlen(text, sizeof field));
}

void ShowClockIfChanged(Station& st, char (&shown)[9]) {
  char now[9];
  FormatTimeText(st.clock.LocalTime(), now);
  if (std::strcmp(now, shown) == 0) return;
  st.ui.UiCall("AFFICHE, HEUREAC,=%s", now);
  std::memcpy(shown, now, sizeof shown);
}

void Validate(Station& st) {
  UiChannel& ui = st.ui;
  const char* text = ui.UiReply.text;
  ScheduleSettings& s = st.Schedule;
  s = ScheduleSettings{};
  // SELFIN is fetched before PROGFIN, the reverse of the fill order.
  ui.UiCall("ECRAN,RECUPERE,HEUREC");
  CopyTime(s.HEUREC, text);
  ui.UiCall("ECRAN,RECUPERE,SELC");
  s.SELC = text[0];
  ui.UiCall("ECRAN,RECUPERE,PROGC");
  CopyField(s.PROGC, sizeof s.PROGC, text);
  ui.UiCall("ECRAN,RECUPERE,HEURED");
  CopyTime(s.HEURED, text);
  ui.UiCall("ECRAN,RECUPERE,SELD");
  s.SELD = text[0];
  ui.UiCall("ECRAN,RECUPERE,PROGD");
  CopyField(s.PROGD, sizeof s.PROGD, text);
  ui.UiCall("ECRAN,RECUPERE,SELFIN");
  s.SELFIN = text[0];
  ui.UiCall("ECRAN,RECUPERE,PROGFIN");
  CopyField(s.PROGFIN, sizeof s.PROGFIN, text);
  ui.UiCall("ECRAN,RECUPERE,AVANT");
  s.AVANT = text[0];
  StoreSettings(st, SettingsFile::kSchedule);
}

}  // namespace

void EditSchedule(Station& st) {
  ReloadOrCreate(st, SettingsFile::kSchedule);
  UiChannel& ui = st.ui;
  const ScheduleSettings& s = st.Schedule;
  ui.UiCall("OUVRE,DECONEX.WDW");
  ui.UiCall("AFFICHE, HEUREC,=%.5s", s.HEUREC);
  ui.UiCall("AFFICHE, SELC,=%c", s.SELC);
  ui.UiCall("AFFICHE, PROGC,=%s", s.PROGC);
  ui.UiCall("AFFICHE, HEURED,=%.5s", s.HEURED);
  ui.UiCall("AFFICHE, SELD,=%c", s.SELD);
  ui.UiCall("AFFICHE, PROGD,=%s", s.PROGD);
  ui.UiCall("AFFICHE, PROGFIN,=%s", s.PROGFIN);
  ui.UiCall("AFFICHE, SELFIN,=%c", s.SELFIN);
  ui.UiCall("AFFICHE, AVANT,=%c", s.AVANT);

  char shown[9] = {};  // nothing shown yet: the first pass always shows the time
  for (;;) {
    ShowClockIfChanged(st, shown);
    ui.UiCall("ECRAN,SAISIE,/NONBLOCANTE");
    if (!ui.StatusIs("*N*")) break;
    st.clock.SleepMs(kInputPassMs);
  }
  if (ui.StatusIs("*V*")) Validate(st);
  // The status is left as the input set it.
  ui.UiCall("FERME");
}

}  // namespace kavelin2
