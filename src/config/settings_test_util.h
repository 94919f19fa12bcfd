// Byte images and script helpers shared by the configuration tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "testing/fake_ui.h"

namespace kavelin2 {

// Little-endian 32-bit number as 4 bytes.
inline std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

// |text| padded with zero bytes to |width|.
inline std::string Field(const std::string& text, size_t width) {
  std::string s = text.substr(0, width);
  s.resize(width, '\0');
  return s;
}

inline std::string PortEntryImage(char active, const std::string& port, uint32_t vitesse,
                                  uint32_t donnees, uint32_t parite, uint32_t stopbit, char irda) {
  return std::string(1, active) + Field(port, 5) + Le32(vitesse) + Le32(donnees) + Le32(parite) +
         Le32(stopbit) + std::string(1, irda);
}

inline std::string DefaultPortImage() {
  return PortEntryImage('N', "COM1", 1, 2, 1, 1, 'N') +
         PortEntryImage('N', "COM2", 1, 2, 1, 1, 'N');
}

inline std::string DefaultModemImage() {
  std::string s(64, '\0');
  s[31] = 'N';
  s[63] = 'N';
  return s;
}

inline std::string ScheduleImage(char avant, const std::string& heurec, char selc,
                                 const std::string& progc, const std::string& heured, char seld,
                                 const std::string& progd, char selfin,
                                 const std::string& progfin) {
  return std::string(1, avant) + Field(heurec, 5) + std::string(1, selc) + Field(progc, 129) +
         Field(heured, 5) + std::string(1, seld) + Field(progd, 129) + std::string(1, selfin) +
         Field(progfin, 129);
}

inline std::string DefaultScheduleImage() {
  return ScheduleImage('O', "00:00", 'N', "", "00:00", 'N', "", 'N', "");
}

// A reply carrying only a value (text, and its decimal value as intValue).
inline FakeReply Value(const std::string& text) {
  return FakeReply{std::nullopt, text, std::nullopt};
}

}  // namespace kavelin2
