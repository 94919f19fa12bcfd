// The clock's text forms, the same on every platform.
#include "platform/clock.h"

#include <cstdio>

namespace kavelin2 {
namespace {

// Two decimal digits of a broken-down time field.
unsigned Two(int v) { return static_cast<unsigned>(v < 0 ? -v : v) % 100u; }

}  // namespace

void FormatTimeText(const std::tm& t, char out[9]) {
  std::snprintf(out, 9, "%02u:%02u:%02u", Two(t.tm_hour), Two(t.tm_min), Two(t.tm_sec));
}

void FormatDateText(const std::tm& t, char out[9]) {
  std::snprintf(out, 9, "%02u/%02u/%02u", Two(t.tm_mon + 1), Two(t.tm_mday), Two(t.tm_year));
}

}  // namespace kavelin2
