#include "handheld_frames.h"

#include <gtest/gtest.h>

#include "wire/codec.h"

namespace kavelin2::handheld {
namespace {

TEST(HandheldFrames, HeaderOfTheExampleExchangeIsByteExact) {
  Bytes h = HeaderFrame("COMMANDE.001", 2, {10, 5});
  std::string body = "COMMANDE.00100002021005";
  ASSERT_EQ(body.size() + 3, h.size());
  EXPECT_EQ(kSoh, h[0]);
  EXPECT_EQ(body, std::string(h.begin() + 1, h.end() - 2));
  EXPECT_EQ(kEtx, h[h.size() - 2]);
  uint8_t bcc = kEtx;
  for (char c : body) bcc ^= static_cast<uint8_t>(c);
  EXPECT_EQ(bcc, h.back());
}

TEST(HandheldFrames, DataFrameCarriesAnyByteAndAFiveDigitNumber) {
  const uint8_t record[] = {0x03, 0x02, 0x00, 0xFF};
  Bytes f = DataFrame(42, record, sizeof record);
  Bytes want = {kStx, '0', '0', '0', '4', '2', 0x03, 0x02, 0x00, 0xFF, kEtx};
  uint8_t bcc = 0;
  for (size_t i = 1; i < want.size(); ++i) bcc ^= want[i];
  want.push_back(bcc);
  EXPECT_EQ(want, f);
}

TEST(HandheldFrames, IdentificationIsRsIdAndItsXorWithoutEtx) {
  EXPECT_EQ((Bytes{kRs, '0', '0', '1', '0' ^ '0' ^ '1'}), Identification("001"));
  Bytes bad = WithBadCheck(Identification("001"));
  EXPECT_NE(Identification("001").back(), bad.back());
  EXPECT_EQ(5u, bad.size());
}

TEST(HandheldFrames, DownloadHeadersOfEveryLayoutAreRead) {
  DownloadHeader plain = ParseDownloadHeader("ARTICLES.DAT000030164");
  ASSERT_TRUE(plain.ok);
  EXPECT_EQ(3, plain.block_count);
  EXPECT_EQ(64, plain.record_length);
  DownloadHeader fields = ParseDownloadHeader("CLI.DAT     0001003102203");
  ASSERT_TRUE(fields.ok);
  EXPECT_EQ((std::vector<int>{10, 22, 3}), fields.widths);
  EXPECT_EQ(35, fields.record_length);
  DownloadHeader pd3 = ParseDownloadHeader("PRIX    .PD300002");
  ASSERT_TRUE(pd3.ok);
  EXPECT_EQ(128, pd3.record_length);
  EXPECT_FALSE(ParseDownloadHeader("ARTICLES.DAT0000301").ok);    // widths missing
  EXPECT_FALSE(ParseDownloadHeader("ARTICLES.DAT000030299").ok);  // one width for two fields
  EXPECT_FALSE(ParseDownloadHeader("SHORT").ok);
}

TEST(HandheldFrames, NameFramesOfEveryKindGiveTheFileName) {
  int n = 0;
  EXPECT_EQ("ARTICLES.DAT", NameFrameFileName("ARTICLES.DAT00003", &n));
  EXPECT_EQ(3, n);
  EXPECT_EQ("CLI.DAT", NameFrameFileName("CLI     .DAT00012S", &n));
  EXPECT_EQ(12, n);
  EXPECT_EQ("CLI.DAT", NameFrameFileName("CLI.DAT00010", &n));
  EXPECT_EQ(10, n);
  EXPECT_EQ("", NameFrameFileName("0", &n));
}

TEST(HandheldFrames, DescribeNamesControlBytesAndShowsText) {
  EXPECT_EQ("ENQ", Describe({kEnq}));
  EXPECT_EQ("SOH 'AB' ETX BCC=00", Describe(BuildFrame(kSoh, "AB", true)));
  EXPECT_EQ("RS '001' XOR=31", Describe(Identification("001")));
  const uint8_t rec[] = {'A', 0x00};
  EXPECT_EQ("STX '00001A' 00 ETX BCC=73", Describe(DataFrame(1, rec, 2)));
}

TEST(UploadSpec, ReadsLengthWidthsAndNameField) {
  UploadSpec s;
  std::string error;
  ASSERT_TRUE(ParseUploadSpec("dir/COMMANDE.001:15:10,05", &s, &error)) << error;
  EXPECT_EQ("dir/COMMANDE.001", s.path);
  EXPECT_EQ("COMMANDE.001", s.name_field);
  EXPECT_EQ(15, s.record_length);
  EXPECT_EQ((std::vector<int>{10, 5}), s.widths);
  ASSERT_TRUE(ParseUploadSpec("CDE.001:250", &s, &error)) << error;
  EXPECT_EQ("CDE     .001", s.name_field);
  EXPECT_EQ((std::vector<int>{99, 99, 52}), s.widths);
}

TEST(UploadSpec, RefusesWidthsThatDoNotAddUpAndImpossibleLengths) {
  UploadSpec s;
  std::string error;
  EXPECT_FALSE(ParseUploadSpec("A.001:15:10,04", &s, &error));
  EXPECT_NE(std::string::npos, error.find("add up to 14"));
  EXPECT_FALSE(ParseUploadSpec("A.001:0", &s, &error));
  EXPECT_FALSE(ParseUploadSpec("A.001:1026", &s, &error));
  EXPECT_FALSE(ParseUploadSpec("A.001", &s, &error));
  EXPECT_FALSE(ParseUploadSpec("A.001:15:100,-85", &s, &error));
}

}  // namespace
}  // namespace kavelin2::handheld
