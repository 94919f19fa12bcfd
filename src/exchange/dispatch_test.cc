#include "exchange/upload_fixture.h"

namespace kavelin2 {
namespace {

// What a cell of the dispatch table does, as seen from outside:
//   i  ignored: nothing sent, EnqCount kept, state kept, no stamp
//   A  EnqCount reset, ACK sent         N  EnqCount reset, NAK sent
//   H  EnqCount reset, header read      B  EnqCount reset, data frame read
//   U  stamped, reset, upload opened    E  stamped, ENQ rule (count + 1, NAK)
//   D  EnqCount reset, download step (which clears NakCount)
//   K  EnqCount reset, refusal handled: the frame in the buffer goes again
//   R  EnqCount reset, download start (identification awaited), then stamped
//   S  stamped only
struct Expected {
  uint8_t byte;
  const char* cells;  // states in the order below
};
constexpr char kStates[] = "208134567";
const Expected kExpected[] = {
    {SOH, "iHANNNNNN"}, {STX, "iiBBiiiii"},  {EOT, "iNNNNNNNN"}, {ENQ, "UEEEEEEEE"},
    {ACK, "iDDDDDDDD"}, {NAK, "iiiiKKKKK"},  {RS, "RSSSSSSSS"},  {'A', "iiiiiiiii"},
    {ETX, "iiiiiiiii"}, {0x00, "iiiiiiiii"},
};

class DispatchControlByte : public ProtocolTest {};

TEST_F(DispatchControlByte, EveryCellOfTheTableDoesWhatItSays) {
  for (const Expected& row : kExpected) {
    for (int c = 0; c < 9; ++c) {
      const char state = kStates[c];
      const char what = row.cells[c];
      SCOPED_TRACE(testing::Message()
                   << "byte " << int(row.byte) << " state " << state << " cell " << what);
      LineEntry& l = line();
      l.LineState = state;
      l.LinePhase = state == '2' ? '2' : (state >= '3' && state <= '7' ? '3' : '0');
      l.EnqCount = 5;
      l.ExchangeDate[0] = 0;
      l.TimeoutCount = 0;
      l.NextBlockNumber = 1;
      std::strcpy(l.BlockCountText, "00001");
      l.NakCount = 3;
      const uint8_t frame[] = {STX, 'A', 'B', 'C'};
      std::memcpy(l.FrameBuffer, frame, sizeof frame);
      l.FrameLength = 4;
      l.FrameChecked = 1;
      Answers();
      int64_t start = ts.clock.now();

      st.CurrentLine = 0;
      kavelin2::DispatchControlByte(st, row.byte);
      Bytes sent = Answers();
      bool stamped = l.ExchangeDate[0] != 0;

      switch (what) {
        case 'i':
          EXPECT_TRUE(sent.empty());
          EXPECT_EQ(5, l.EnqCount);
          EXPECT_EQ(state, l.LineState);
          EXPECT_FALSE(stamped);
          break;
        case 'A':
        case 'N':
          EXPECT_EQ(Bytes{uint8_t(what == 'A' ? ACK : NAK)}, sent);
          EXPECT_EQ(0, l.EnqCount);
          EXPECT_EQ(state, l.LineState);
          EXPECT_FALSE(stamped);
          break;
        case 'H':
        case 'B':
          // Nothing follows on the line: the frame read gives up at its first
          // time-out (1000 ms a byte for a header, 3000 ms for a data frame).
          EXPECT_TRUE(sent.empty());
          EXPECT_EQ(0, l.EnqCount);
          EXPECT_EQ(1, l.TimeoutCount);
          EXPECT_EQ(what == 'H' ? 1001 : 3001, ts.clock.now() - start);
          EXPECT_EQ(state, l.LineState);
          break;
        case 'U':
          EXPECT_EQ(Bytes{ACK}, sent);
          EXPECT_EQ(0, l.EnqCount);
          EXPECT_EQ('0', l.LineState);
          EXPECT_EQ('0', l.LinePhase);
          EXPECT_TRUE(stamped);
          break;
        case 'E':
          EXPECT_EQ(Bytes{NAK}, sent);
          EXPECT_EQ(6, l.EnqCount);
          EXPECT_EQ(state, l.LineState);
          EXPECT_TRUE(stamped);
          break;
        case 'D':
          EXPECT_EQ(0, l.EnqCount);
          EXPECT_EQ(0, l.NakCount);
          EXPECT_FALSE(stamped);
          break;
        case 'K':
          EXPECT_EQ((Bytes{STX, 'A', 'B', 'C', ETX, 'C'}), sent);
          EXPECT_EQ(0, l.EnqCount);
          EXPECT_EQ(4, l.NakCount);
          EXPECT_EQ(state, l.LineState);
          EXPECT_FALSE(stamped);
          break;
        case 'R':
          // Nothing follows the RS: the identification read gives up at its
          // first time-out, which prompts the handheld outside the upload states.
          EXPECT_EQ(Bytes{ENQ}, sent);
          EXPECT_EQ(0, l.EnqCount);
          EXPECT_EQ('3', l.LinePhase);
          EXPECT_EQ(1, l.TimeoutCount);
          EXPECT_TRUE(stamped);
          break;
        case 'S':
          EXPECT_TRUE(sent.empty());
          EXPECT_EQ(5, l.EnqCount);
          EXPECT_EQ(state, l.LineState);
          EXPECT_TRUE(stamped);
          break;
        default:
          FAIL() << "unknown cell";
      }
    }
  }
}

TEST_F(DispatchControlByte, NinthEnqResendsTheLastByteAndTheTenthIsRefusedAgain) {
  line().LineState = '6';
  line().LinePhase = '3';
  st.CurrentLine = 0;
  for (int i = 0; i < 8; ++i) kavelin2::DispatchControlByte(st, ENQ);
  EXPECT_EQ(Bytes(8, NAK), Answers());
  // Something else went out since, without a reset of the count (as the ENQ
  // that a time-out sends in a download state).
  SendByte(st, ENQ);
  Answers();
  kavelin2::DispatchControlByte(st, ENQ);
  EXPECT_EQ(Bytes{ENQ}, Answers());
  kavelin2::DispatchControlByte(st, ENQ);
  EXPECT_EQ(Bytes{NAK}, Answers());
  EXPECT_EQ(10, line().EnqCount);
}

TEST_F(DispatchControlByte, EndlessRunOfEnqsNeverWrapsTheCountBackToTheNinth) {
  line().LineState = '6';
  line().LinePhase = '3';
  st.CurrentLine = 0;
  line().EnqCount = 2147483647;  // a handheld that has sent nothing else for a day
  SendByte(st, ACK);
  Answers();
  kavelin2::DispatchControlByte(st, ENQ);
  kavelin2::DispatchControlByte(st, ENQ);
  EXPECT_EQ((Bytes{NAK, NAK}), Answers());
  EXPECT_GE(line().EnqCount, 9);
}

TEST_F(DispatchControlByte, RepeatedHeaderIsAcknowledgedAndItsRestConsumedByteByByte) {
  OpenFile("CDE.001", "00001", {"03"});
  EXPECT_EQ('8', line().LineState);
  Send(HeaderFrame("CDE.001", "00001", {"03"}));
  // SOH gets ACK; the name, numbers and ETX are ignored; the BCC happens to
  // be no control byte here.
  EXPECT_EQ(Bytes{ACK}, Answers());
  EXPECT_EQ('8', line().LineState);
  Send(DataFrame(1, "abc"));
  Send({EOT});
  EXPECT_EQ(Concat({{ACK}, {ACK}}), Answers());
  EXPECT_EQ("abc", ReadFile("RECU/CDE.001"));
}

TEST_F(DispatchControlByte, RsOpeningAnExchangeIsStampedAfterTheDownloadStart) {
  std::strcpy(st.Paths.TABLE, "TABLE/");  // no table for the handheld
  Send(Bytes{RS, 'A', '0', '1', uint8_t('A' ^ '0' ^ '1')});
  EXPECT_EQ((Bytes{ACK, RS}), Answers());
  // The download start saw no stamp yet, so it blanked the figures of an
  // earlier exchange; the stamp came right after.
  EXPECT_EQ(1u, Commands("AFFICHE, FICHIER,1=             ").size());
  EXPECT_STREQ("09:15:02", line().ExchangeTime);
}

TEST_F(DispatchControlByte, StampKeepsTheFirstTimeOfTheExchange) {
  Send({ENQ});
  EXPECT_STREQ("12/06/26", line().ExchangeDate);
  EXPECT_STREQ("09:15:02", line().ExchangeTime);
  EXPECT_EQ(ts.clock.NowSeconds(), line().ExchangeStart);
  ts.clock.Advance(65000);
  Send({RS});
  EXPECT_STREQ("09:15:02", line().ExchangeTime);
  line().ExchangeDate[0] = 0;
  StampExchange(st);
  EXPECT_STREQ("09:16:07", line().ExchangeTime);
}

}  // namespace
}  // namespace kavelin2
