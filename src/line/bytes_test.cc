// The byte primitives against the fake line, on the fake clock.
#include <gtest/gtest.h>

#include <cstring>

#include "line/line.h"
#include "station/station.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

class Bytes : public ::testing::Test {
 protected:
  void SetUp() override {
    std::strcpy(t.st.CurrentLanguage, "Francais");
    t.st.Ports.line[0].ACTIVE = 'O';
    t.st.Ports.line[0].IRDA = 'N';
    t.st.LineTable[0].PortHandle = t.serial.Open("COM1");
    ASSERT_NE(nullptr, t.st.LineTable[0].PortHandle);
    t.st.CurrentLine = 0;
  }
  FakeLine& line() { return com1; }
  LineEntry& entry() { return t.st.LineTable[0]; }
  int32_t queued() { return static_cast<int32_t>(com1.queue().size()); }

  TestStation t;
  FakeLine& com1 = t.serial.AddLine("COM1");
};

TEST_F(Bytes, PollByteOnAnEmptyQueueReturnsAtOnceAndLeavesTheByte) {
  uint8_t b = 0xAA;
  EXPECT_EQ(0, PollByte(t.st, &b));
  EXPECT_EQ(0xAA, b);
  EXPECT_EQ(0, t.clock.now());
  line().ArriveNow(std::vector<uint8_t>{0x05, 0x06});
  EXPECT_EQ(1, PollByte(t.st, &b));
  EXPECT_EQ(0x05, b);
  EXPECT_EQ(1, queued());  // one byte per call
}

TEST_F(Bytes, PollByteOnALineThatIsNotOpenReturnsZero) {
  entry().PortHandle.reset();
  uint8_t b = 0x11;
  EXPECT_EQ(0, PollByte(t.st, &b));
  EXPECT_EQ(0x11, b);
}

TEST_F(Bytes, WaitByteTimesOutAfterOneSecondAndLeavesTheCountToTheExchange) {
  EXPECT_EQ(ByteRead{Io::kTimeout}, WaitByte(t.st));
  EXPECT_GE(t.clock.now(), 1000);
  EXPECT_LE(t.clock.now(), 1002);
  EXPECT_EQ(0, entry().TimeoutCount);
  // It blocked on the line instead of polling it over and over.
  EXPECT_LE(t.serial.waits, 3);
}

TEST_F(Bytes, WaitByteReceivingANulIsAByteNotATimeout) {
  line().Arrive(500, {0x00});
  EXPECT_EQ((ByteRead{Io::kOk, 0x00}), WaitByte(t.st));
  EXPECT_EQ(500, t.clock.now());
}

TEST_F(Bytes, WaitByteTakesALateByteOnlyBeforeItsDeadline) {
  line().Arrive(999, {0x41});
  EXPECT_EQ((ByteRead{Io::kOk, 0x41}), WaitByte(t.st));
  EXPECT_EQ(999, t.clock.now());
  line().Arrive(t.clock.now() + 1005, {0x42});
  EXPECT_EQ(ByteRead{Io::kTimeout}, WaitByte(t.st));
  // The late byte stays for the next reader.
  t.clock.Advance(10);
  EXPECT_EQ(1, queued());
}

TEST_F(Bytes, WaitByteAcrossTheWrapOfTheMillisecondClockWaitsItsFullSecond) {
  // 24.8 days after start the signed millisecond clock turns negative.
  t.clock.Advance(int64_t{0x7FFFFFFF} - 500);
  int64_t start = t.clock.now();
  EXPECT_EQ(ByteRead{Io::kTimeout}, WaitByte(t.st));
  EXPECT_GE(t.clock.now() - start, 1000);
  EXPECT_LE(t.clock.now() - start, 1002);
}

TEST_F(Bytes, ReadBytesGivesUpAfterThreeSecondsOfSilence) {
  uint8_t buf[20];
  EXPECT_EQ(Io::kTimeout, ReadBytes(t.st, buf, 20));
  EXPECT_GE(t.clock.now(), 3000);
  EXPECT_LE(t.clock.now(), 3002);
}

TEST_F(Bytes, ReadBytesGivesUpOneSecondAfterAPartialFrameStopped) {
  line().Arrive(500, std::vector<uint8_t>(10, 0x33));
  uint8_t buf[20];
  std::memset(buf, 0xEE, sizeof buf);
  EXPECT_EQ(Io::kTimeout, ReadBytes(t.st, buf, 20));
  EXPECT_GE(t.clock.now(), 1500);
  EXPECT_LE(t.clock.now(), 1502);
  // A failed read leaves the caller's buffer as it was.
  for (uint8_t b : buf) EXPECT_EQ(0xEE, b);
}

TEST_F(Bytes, ReadBytesKeepsWaitingWhileBytesTrickleIn) {
  std::vector<uint8_t> expected;
  for (int i = 0; i < 10; ++i) {
    std::vector<uint8_t> two{static_cast<uint8_t>(2 * i), static_cast<uint8_t>(2 * i + 1)};
    line().Arrive(900 * i, two);  // the last pair at 8100 ms
    expected.insert(expected.end(), two.begin(), two.end());
  }
  uint8_t buf[20] = {};
  EXPECT_EQ(Io::kOk, ReadBytes(t.st, buf, 20));
  EXPECT_EQ(8100, t.clock.now());
  EXPECT_EQ(expected, std::vector<uint8_t>(buf, buf + 20));
}

TEST_F(Bytes, ReadBytesTimesOutWhenTheFirstByteComesLate) {
  line().Arrive(3005, std::vector<uint8_t>(20, 0x01));
  uint8_t buf[20];
  EXPECT_EQ(Io::kTimeout, ReadBytes(t.st, buf, 20));
  EXPECT_LE(t.clock.now(), 3002);
}

TEST_F(Bytes, ReadBytesLeavesBytesBeyondItsCountQueued) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 25; ++i) bytes.push_back(static_cast<uint8_t>(i));
  line().ArriveNow(bytes);
  uint8_t buf[20];
  EXPECT_EQ(Io::kOk, ReadBytes(t.st, buf, 20));
  EXPECT_EQ(0, t.clock.now());
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 20),
            std::vector<uint8_t>(buf, buf + 20));
  EXPECT_EQ(5, queued());
  uint8_t b;
  ASSERT_EQ(1, PollByte(t.st, &b));
  EXPECT_EQ(20, b);
}

TEST_F(Bytes, ReadBytesAssemblesAFrameThatArrivesInPieces) {
  line().Arrive(100, {1, 2, 3});
  line().Arrive(1050, {4, 5});  // 950 ms after the first piece
  line().Arrive(2000, {6, 7, 8});
  uint8_t buf[8];
  EXPECT_EQ(Io::kOk, ReadBytes(t.st, buf, 8));
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}), std::vector<uint8_t>(buf, buf + 8));
  EXPECT_EQ(2000, t.clock.now());
}

TEST_F(Bytes, ReadBytesNeverReadsPastTheFrameBuffer) {
  std::vector<uint8_t> bytes(kFrameBufferSize + 100, 0x5A);
  line().ArriveNow(bytes);
  std::vector<uint8_t> buf(kFrameBufferSize, 0);
  EXPECT_EQ(Io::kOk, ReadBytes(t.st, buf.data(), 5000));
  EXPECT_EQ(100, queued());
}

TEST_F(Bytes, SendByteRecordsTheLowByteAsLastSentEvenWhenTheWriteFails) {
  SendByte(t.st, 0x106);
  EXPECT_EQ((std::vector<uint8_t>{0x06}), line().written());
  EXPECT_EQ(0x06, entry().LastSentByte);
  line().fail_writes = true;
  SendByte(t.st, NAK);
  EXPECT_EQ(NAK, entry().LastSentByte);
  EXPECT_EQ(0, t.clock.now());  // no infrared pause without IRDA
}

TEST_F(Bytes, InfraredPausesBeforeControlBytesOnlyOutsideTheDownload) {
  t.st.Ports.line[0].IRDA = 'O';
  for (char state : {'0', '1', '2', '8'}) {
    entry().LineState = state;
    int64_t before = t.clock.now();
    SendByte(t.st, ACK);
    EXPECT_EQ(before + 20, line().writes().back().at_ms) << "state " << state;
  }
  for (char state : {'3', '4', '5', '6', '7'}) {
    entry().LineState = state;
    int64_t before = t.clock.now();
    SendByte(t.st, ENQ);
    EXPECT_EQ(before, line().writes().back().at_ms) << "state " << state;
  }
}

TEST_F(Bytes, WriteBytesSendsTheBufferAsItIsInOneBurst) {
  const uint8_t data[] = {0x02, 0x00, 0xFF, 0x03};
  WriteBytes(t.st, data, sizeof data);
  ASSERT_EQ(1u, line().writes().size());
  EXPECT_EQ(std::vector<uint8_t>(data, data + 4), line().written());
  EXPECT_EQ(0, entry().LastSentByte);
}

TEST_F(Bytes, PrimitivesActOnTheCurrentLine) {
  FakeLine& com2 = t.serial.AddLine("COM2");
  t.st.LineTable[1].PortHandle = t.serial.Open("COM2");
  com2.ArriveNow(std::vector<uint8_t>{0x1E});
  line().ArriveNow(std::vector<uint8_t>{0x05});
  t.st.CurrentLine = 1;
  uint8_t b = 0;
  EXPECT_EQ(1, PollByte(t.st, &b));
  EXPECT_EQ(0x1E, b);
  SendByte(t.st, ACK);
  EXPECT_EQ((std::vector<uint8_t>{ACK}), com2.written());
  EXPECT_TRUE(line().written().empty());
  EXPECT_EQ(1, queued());
  PurgeLine(t.st, 0);
  EXPECT_EQ(0, queued());
  EXPECT_EQ(1, line().purges);
  EXPECT_EQ(0, com2.purges);
}

}  // namespace
}  // namespace kavelin2
