// The termios builder, code by code. Only this test can show data bits and
// parity: a pseudo-terminal silently drops them.
#include "platform/termios_settings.h"

#include <gtest/gtest.h>

namespace kavelin2 {
namespace {

LineFormat Entry(int32_t speed, int32_t data, int32_t parity, int32_t stop) {
  return LineFormat{speed, data, parity, stop};
}

// A port as another program might have left it: cooked, echoing, with flow
// control, 4800 baud, 7 data bits, odd parity, two stop bits.
termios Cooked() {
  termios t{};
  t.c_iflag = ICRNL | IXON | IXOFF | IXANY | ISTRIP | BRKINT | IGNPAR;
  t.c_oflag = OPOST | ONLCR;
  t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
  t.c_cflag = CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 5;
  cfsetispeed(&t, B4800);
  cfsetospeed(&t, B4800);
  return t;
}

// The same with no parity and one stop bit.
termios Plain() {
  termios t = Cooked();
  t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CSTOPB);
  return t;
}

tcflag_t ParityBits(const termios& t) { return t.c_cflag & (PARENB | PARODD | CMSPAR); }

TEST(BaudForSpeedCode, FollowsTheSpeedTable) {
  const int32_t expected[] = {0, 256000, 115200, 57600, 38400, 19200, 9600, 2400, 1200, 0};
  for (int32_t code = 0; code <= 9; ++code) EXPECT_EQ(expected[code], BaudForSpeedCode(code));
  EXPECT_EQ(0, BaudForSpeedCode(-1));
}

TEST(LineSettings, EveryTableSpeedSetsBothDirections) {
  const struct {
    int32_t code;
    speed_t speed;
  } rows[] = {{2, B115200}, {3, B57600}, {4, B38400}, {5, B19200},
              {6, B9600},   {7, B2400},  {8, B1200}};
  for (const auto& row : rows) {
    LineSettings s = BuildLineSettings(Entry(row.code, 2, 1, 1), Cooked());
    EXPECT_EQ(row.speed, cfgetospeed(&s.tio)) << "code " << row.code;
    EXPECT_EQ(row.speed, cfgetispeed(&s.tio)) << "code " << row.code;
    EXPECT_EQ(0, s.custom_baud);
  }
}

TEST(LineSettings, Speed256000GoesThroughTermios2) {
  LineSettings s = BuildLineSettings(Entry(1, 2, 1, 1), Cooked());
  EXPECT_EQ(256000, s.custom_baud);
  EXPECT_EQ(static_cast<speed_t>(B4800), cfgetospeed(&s.tio));  // set afterwards, not here
}

TEST(LineSettings, SpeedOutsideTheTableKeepsThePortSpeed) {
  for (int32_t code : {0, 9, -1, 115200}) {
    LineSettings s = BuildLineSettings(Entry(code, 2, 1, 1), Cooked());
    EXPECT_EQ(static_cast<speed_t>(B4800), cfgetospeed(&s.tio)) << "code " << code;
    EXPECT_EQ(static_cast<speed_t>(B4800), cfgetispeed(&s.tio)) << "code " << code;
    EXPECT_EQ(0, s.custom_baud);
  }
}

TEST(LineSettings, OnlyDataCodeOneGivesSevenBits) {
  EXPECT_EQ(static_cast<tcflag_t>(CS7),
            BuildLineSettings(Entry(2, 1, 1, 1), Plain()).tio.c_cflag & CSIZE);
  for (int32_t code : {0, 2, 3, 8}) {
    EXPECT_EQ(static_cast<tcflag_t>(CS8),
              BuildLineSettings(Entry(2, code, 1, 1), Cooked()).tio.c_cflag & CSIZE)
        << "code " << code;
  }
}

TEST(LineSettings, ParityCodesGiveNoneEvenOddAndMark) {
  for (const termios& current : {Cooked(), Plain()}) {
    EXPECT_EQ(0u, ParityBits(BuildLineSettings(Entry(2, 2, 1, 1), current).tio));
    EXPECT_EQ(static_cast<tcflag_t>(PARENB),
              ParityBits(BuildLineSettings(Entry(2, 2, 2, 1), current).tio));
    EXPECT_EQ(static_cast<tcflag_t>(PARENB | PARODD),
              ParityBits(BuildLineSettings(Entry(2, 2, 3, 1), current).tio));
    EXPECT_EQ(static_cast<tcflag_t>(PARENB | PARODD | CMSPAR),
              ParityBits(BuildLineSettings(Entry(2, 2, 4, 1), current).tio));
  }
  // Mark before even: the sticky bit must go.
  termios mark = Plain();
  mark.c_cflag |= PARENB | PARODD | CMSPAR;
  EXPECT_EQ(static_cast<tcflag_t>(PARENB),
            ParityBits(BuildLineSettings(Entry(2, 2, 2, 1), mark).tio));
}

TEST(LineSettings, ParityOutsideTheTableKeepsThePortParity) {
  for (int32_t code : {0, 5, -2}) {
    EXPECT_EQ(static_cast<tcflag_t>(PARENB | PARODD),
              ParityBits(BuildLineSettings(Entry(2, 2, code, 1), Cooked()).tio));
    EXPECT_EQ(0u, ParityBits(BuildLineSettings(Entry(2, 2, code, 1), Plain()).tio));
  }
}

TEST(LineSettings, StopBitCodesGiveOneOrTwo) {
  for (const termios& current : {Cooked(), Plain()}) {
    EXPECT_EQ(0u, BuildLineSettings(Entry(2, 2, 1, 1), current).tio.c_cflag & CSTOPB);
    // One and a half has no termios form with 7 or 8 bits: two, never shorter.
    EXPECT_EQ(static_cast<tcflag_t>(CSTOPB),
              BuildLineSettings(Entry(2, 2, 1, 2), current).tio.c_cflag & CSTOPB);
    EXPECT_EQ(static_cast<tcflag_t>(CSTOPB),
              BuildLineSettings(Entry(2, 2, 1, 3), current).tio.c_cflag & CSTOPB);
  }
  for (int32_t code : {0, 4}) {
    EXPECT_EQ(static_cast<tcflag_t>(CSTOPB),
              BuildLineSettings(Entry(2, 2, 1, code), Cooked()).tio.c_cflag & CSTOPB);
    EXPECT_EQ(0u, BuildLineSettings(Entry(2, 2, 1, code), Plain()).tio.c_cflag & CSTOPB);
  }
}

TEST(LineSettings, RawBytesNoFlowControlAndReadsThatReturnAtOnce) {
  // Whatever the codes, even all outside their tables.
  for (const LineFormat& e : {Entry(1, 2, 1, 1), Entry(0, 0, 0, 0), Entry(8, 1, 4, 3)}) {
    const termios t = BuildLineSettings(e, Cooked()).tio;
    EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO | ECHOE | ISIG | IEXTEN));
    EXPECT_EQ(0u, t.c_oflag & OPOST);
    EXPECT_EQ(0u, t.c_iflag & (ICRNL | ISTRIP | BRKINT | IGNPAR));
    EXPECT_EQ(0u, t.c_iflag & (IXON | IXOFF | IXANY));
    EXPECT_EQ(0u, t.c_cflag & CRTSCTS);
    EXPECT_EQ(static_cast<tcflag_t>(CLOCAL | CREAD), t.c_cflag & (CLOCAL | CREAD));
    EXPECT_EQ(static_cast<tcflag_t>(INPCK), t.c_iflag & INPCK);
    EXPECT_EQ(static_cast<tcflag_t>(IGNBRK), t.c_iflag & IGNBRK);
    EXPECT_EQ(0, t.c_cc[VMIN]);
    EXPECT_EQ(0, t.c_cc[VTIME]);
    EXPECT_EQ(static_cast<tcflag_t>(HUPCL), t.c_cflag & HUPCL);  // not ours to change
  }
}

TEST(LineSettings, DefaultCodesGive256000EightBitsNoParityOneStop) {
  LineSettings s = BuildLineSettings(Entry(1, 2, 1, 1), Cooked());
  EXPECT_EQ(256000, s.custom_baud);
  EXPECT_EQ(static_cast<tcflag_t>(CS8), s.tio.c_cflag & CSIZE);
  EXPECT_EQ(0u, ParityBits(s.tio));
  EXPECT_EQ(0u, s.tio.c_cflag & CSTOPB);
}

}  // namespace
}  // namespace kavelin2
