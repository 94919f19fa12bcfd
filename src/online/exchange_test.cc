// Whole exchanges through the dispatcher and the poll loop: the handheld's
// bytes go on the fake line and the station takes them as it does on line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exchange/download_fixture.h"
#include "online/online.h"

namespace kavelin2 {
namespace {

class ExchangeTest : public DownloadFixture {
 protected:
  // The handheld sends |bytes|; the station reads and dispatches each byte as
  // the poll loop would, and what it answered is returned.
  std::string Handheld(const std::string& bytes) {
    line.ArriveNow(bytes);
    uint8_t b;
    while (PollByte(ts.st, &b)) {
      L().LineDeadline = Deadline::After(ts.clock.NowMs(), kSilenceMs);
      DispatchControlByte(ts.st, b);
    }
    return Sent();
  }
  static std::string Str(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }
};

TEST_F(ExchangeTest, ExampleExchangeByteForByte) {
  WriteFile("tables/TABLE.001", "ARTICLES.DAT 64\r\n");
  std::string text;
  for (char c : {'a', 'b', 'c'}) text += std::string(64, c) + "\r\n";
  WriteFile("trans/ARTICLES.DAT", text);

  // The upload of COMMANDE.001: two records of 15 bytes.
  EXPECT_EQ(Byte(ACK), Handheld(Byte(ENQ)));
  EXPECT_EQ(Byte(ACK), Handheld(Str(BuildFrame(SOH, "COMMANDE.00100002021005", true))));
  EXPECT_EQ(kStateHeaderAccepted, L().LineState);
  EXPECT_EQ(Byte(ACK), Handheld(Str(BuildFrame(STX, "00001" + std::string(15, 'x'), true))));
  EXPECT_EQ(Byte(ACK), Handheld(Str(BuildFrame(STX, "00002" + std::string(15, 'y'), true))));
  EXPECT_EQ(Byte(ACK), Handheld(Byte(EOT)));
  EXPECT_EQ(std::string(15, 'x') + std::string(15, 'y'), ReadFile("recu/COMMANDE.001"));
  EXPECT_EQ(kStateIdle, L().LineState);

  // The download.
  std::string id = "001";
  id.push_back(static_cast<char>('0' ^ '0' ^ '1'));
  EXPECT_EQ(Byte(ACK) + Byte(ENQ), Handheld(Byte(RS) + id));
  EXPECT_EQ(Str(BuildFrame(SOH, "ARTICLES.DAT00003", true)), Handheld(Byte(ACK)));
  int64_t before = ts.clock.now();
  EXPECT_EQ(Byte(ENQ), Handheld(Byte(ACK)));
  EXPECT_EQ(before + 200, line.writes().back().at_ms);
  EXPECT_EQ(Str(BuildFrame(SOH, "ARTICLES.DAT000030164", true)), Handheld(Byte(ACK)));
  for (int i = 0; i < 3; ++i) {
    std::string number = "0000" + std::to_string(i + 1);
    EXPECT_EQ(Str(BuildFrame(STX, number + std::string(64, static_cast<char>('a' + i)), true)),
              Handheld(Byte(ACK)));
  }
  EXPECT_EQ(Byte(EOT), Handheld(Byte(ACK)));
  EXPECT_EQ(Byte(RS), Handheld(Byte(ACK)));
  EXPECT_EQ("", Handheld(Byte(ACK)));

  EXPECT_EQ(kStateIdle, L().LineState);
  EXPECT_EQ(kPhaseNone, L().LinePhase);
  std::string stat = ReadFile("STAT.TXT");
  ASSERT_EQ(37u, stat.size());
  EXPECT_EQ("OK 001 1 06/12/26 09:15:02 00.00'00\r\n", stat);
}

TEST_F(ExchangeTest, SilentHandheldInTheLoopGetsTenEnqsThreeSecondsApartThenEot) {
  ts.st.Ports.line[0].ACTIVE = 'O';
  ts.st.Ports.line[1].ACTIVE = 'N';
  WriteFile("tables/TABLE.001", "A       .DAT 02 B\r\n");
  WriteFile("trans/A.DAT", "aabb");
  std::string id = "001";
  id.push_back(static_cast<char>('0' ^ '0' ^ '1'));
  Handheld(Byte(RS) + id);
  Handheld(Byte(ACK));  // name frame sent, state '4'; then silence
  size_t first = line.writes().size();
  int64_t last_byte = ts.clock.now();
  // Stop as soon as both lines are idle again.
  ts.ui->responder = [](const std::string& cmd) -> std::optional<FakeReply> {
    if (cmd.rfind("ECRAN,SAISIE/NONBLOCANTE", 0) == 0) return FakeReply{"*P*", {}, {}};
    return std::nullopt;
  };
  EXPECT_EQ(1, PollLines(ts.st));

  const auto& writes = line.writes();
  ASSERT_EQ(first + 11, writes.size());
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(std::vector<uint8_t>{ENQ}, writes[first + i].bytes);
    int64_t expected = last_byte + 3000 * static_cast<int64_t>(i + 1);
    EXPECT_GE(writes[first + i].at_ms, expected);
    EXPECT_LE(writes[first + i].at_ms, expected + 20);
  }
  EXPECT_EQ(std::vector<uint8_t>{EOT}, writes[first + 10].bytes);
  EXPECT_EQ("TO", ReadFile("STAT.TXT").substr(0, 2));
  EXPECT_EQ(kStateIdle, L().LineState);
}

}  // namespace
}  // namespace kavelin2
