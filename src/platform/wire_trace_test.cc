// The wire trace decorator over a fake line.
#include "platform/wire_trace.h"

#include <gtest/gtest.h>

#include <sstream>

#include "testing/test_station.h"

namespace kavelin2 {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TEST(WireTrace, LineShowsTimePortDirectionHexAndText) {
  const uint8_t frame[] = {0x02, 0x41, 0x42, 0x43, 0x03, 0x43};
  EXPECT_EQ("1234 COM1 TX 02 41 42 43 03 43 |.ABC.C|",
            FormatTraceLine(1234, "COM1", true, frame, 6));
  const uint8_t odd[] = {0x00, 0x7F, 0x80, 0xFF, 0x20, 0x7E};
  EXPECT_EQ("0 USB0 RX 00 7F 80 FF 20 7E |.... ~|", FormatTraceLine(0, "USB0", false, odd, 6));
}

TEST(WireTrace, EveryBurstBothWaysIsAppendedWithTheStationTime) {
  TestStation t;
  FakeLine& com1 = t.serial.AddLine("COM1");
  WriteFile("trace.txt", "earlier\n");
  auto trace = std::make_shared<WireTrace>(t.fs, "trace.txt", t.clock);
  ASSERT_TRUE(trace->IsOpen());
  auto port = NewTracingPort(t.serial.Open("COM1"), "COM1", trace);
  ASSERT_NE(nullptr, port);

  t.clock.Advance(15);
  const uint8_t ack = 0x06;
  EXPECT_TRUE(port->Write(&ack, 1));
  com1.ArriveNow(
      "\x05"
      "AB");
  t.clock.Advance(2);
  uint8_t buf[8];
  EXPECT_EQ(0, port->Read(buf, 0));  // nothing read, nothing traced
  EXPECT_EQ(3, port->Read(buf, 8));
  EXPECT_EQ(0, port->Read(buf, 8));
  com1.fail_writes = true;
  EXPECT_FALSE(port->Write(&ack, 1));
  port.reset();

  EXPECT_EQ((std::vector<std::string>{"earlier", "15 COM1 TX 06 |.|", "17 COM1 RX 05 41 42 |.AB|",
                                      "17 COM1 TX 06 |.|", "17 COM1 TX FAILED", "17 COM1 CLOSE"}),
            Lines(ReadFile("trace.txt")));
  // The decorator passes the bytes through untouched.
  EXPECT_EQ((std::vector<uint8_t>{0x06}), com1.written());
}

TEST(WireTrace, FileThatCannotBeOpenedIsReported) {
  TestStation t;
  WireTrace trace(t.fs, "no-such-directory/trace.txt", t.clock);
  EXPECT_FALSE(trace.IsOpen());
  const uint8_t b = 0;
  trace.Bytes("COM1", true, &b, 1);  // harmless
}

}  // namespace
}  // namespace kavelin2
