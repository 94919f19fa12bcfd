// SendFrame against the fake line.
#include <gtest/gtest.h>

#include <cstring>

#include "line/line.h"
#include "station/station.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

class Frames : public ::testing::Test {
 protected:
  void SetUp() override {
    t.st.LineTable[0].PortHandle = t.serial.Open("COM1");
    ASSERT_NE(nullptr, t.st.LineTable[0].PortHandle);
  }
  void Put(const std::vector<uint8_t>& bytes, int checked) {
    LineEntry& e = t.st.LineTable[0];
    std::memcpy(e.FrameBuffer, bytes.data(), bytes.size());
    e.FrameLength = static_cast<int32_t>(bytes.size());
    e.FrameChecked = checked;
  }
  TestStation t;
  FakeLine& com1 = t.serial.AddLine("COM1");
};

TEST_F(Frames, CheckedFrameGoesOutWithEtxAndBccAndCanBeSentAgain) {
  Put({STX, 0x41, 0x42, 0x43}, 1);
  SendFrame(t.st);
  const std::vector<uint8_t> wire{0x02, 0x41, 0x42, 0x43, 0x03, 0x43};
  EXPECT_EQ(wire, com1.TakeWritten());
  SendFrame(t.st);  // as a NAK makes it
  EXPECT_EQ(wire, com1.TakeWritten());
  EXPECT_EQ(2u, com1.writes().size());  // one burst per frame
  EXPECT_EQ(4, t.st.LineTable[0].FrameLength);
  EXPECT_EQ(1, t.st.LineTable[0].FrameChecked);
  EXPECT_EQ(0, t.st.LineTable[0].LastSentByte);
}

TEST_F(Frames, CheckedFrameOfOnlyItsLeadByteHasBccEtx) {
  Put({SOH}, 1);
  SendFrame(t.st);
  EXPECT_EQ((std::vector<uint8_t>{0x01, 0x03, 0x03}), com1.written());
}

TEST_F(Frames, UncheckedFrameGoesOutAsItIs) {
  Put({'A', 'T', 'Z', '\r'}, 0);
  SendFrame(t.st);
  EXPECT_EQ((std::vector<uint8_t>{0x41, 0x54, 0x5A, 0x0D}), com1.written());
}

TEST_F(Frames, LongestCheckedFrameFillsTheBufferExactly) {
  std::vector<uint8_t> frame(1030, 0x55);
  frame[0] = STX;
  Put(frame, 1);
  SendFrame(t.st);
  ASSERT_EQ(1032u, com1.written().size());
  EXPECT_EQ(ETX, com1.written()[1030]);
  // 1029 bytes of 0x55 XOR to 0x55, then ETX.
  EXPECT_EQ(0x55 ^ ETX, com1.written()[1031]);
}

TEST_F(Frames, FrameLengthBeyondTheBufferIsBoundedByIt) {
  LineEntry& e = t.st.LineTable[0];
  e.FrameLength = 5000;
  e.FrameChecked = 1;
  SendFrame(t.st);
  EXPECT_EQ(kFrameBufferSize, com1.TakeWritten().size());
  e.FrameChecked = 0;
  SendFrame(t.st);
  EXPECT_EQ(kFrameBufferSize, com1.TakeWritten().size());
  e.FrameLength = -3;
  SendFrame(t.st);
  EXPECT_TRUE(com1.written().empty());
}

TEST_F(Frames, InfraredPausesTenMillisecondsBeforeEveryFrameInEveryState) {
  t.st.Ports.line[0].IRDA = 'O';
  Put({ENQ}, 0);
  for (char state : {'2', '6'}) {
    t.st.LineTable[0].LineState = state;
    int64_t before = t.clock.now();
    SendFrame(t.st);
    EXPECT_EQ(before + 10, com1.writes().back().at_ms) << "state " << state;
  }
  // In a download state a control byte goes without a pause, a frame with one.
  int64_t before = t.clock.now();
  SendByte(t.st, ENQ);
  EXPECT_EQ(before, com1.writes().back().at_ms);
}

}  // namespace
}  // namespace kavelin2
