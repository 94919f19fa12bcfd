#include "wire/codec.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kavelin2 {
namespace {

TEST(PadZero5, PadsShortTextsAndKeepsFullOnes) {
  char a[6] = "42";
  PadZero5(a);
  EXPECT_STREQ("00042", a);
  char b[6] = "12345";
  PadZero5(b);
  EXPECT_STREQ("12345", b);
  char c[6] = "";
  PadZero5(c);
  EXPECT_STREQ("00000", c);
}

TEST(FrameBcc, IncludesEtxButNotTheLeadByte) {
  const uint8_t abc[] = {0x41, 0x42, 0x43};
  EXPECT_EQ(0x43, FrameBcc(abc, 3));
  EXPECT_EQ(0x03, FrameBcc(nullptr, 0));
  auto frame = BuildFrame(0x02, "ABC", true);
  EXPECT_EQ((std::vector<uint8_t>{0x02, 0x41, 0x42, 0x43, 0x03, 0x43}), frame);
  EXPECT_EQ((std::vector<uint8_t>{0x01, 0x03, 0x03}), BuildFrame(0x01, "", true));
  EXPECT_EQ((std::vector<uint8_t>{'A', 'T', 'Z', '\r'}), BuildFrame('A', "TZ\r", false));
}

TEST(TrimFileName, JoinsBaseAndExtension) {
  char a[13] = "CDE     .001";
  TrimFileName(a);
  EXPECT_STREQ("CDE.001", a);
  char b[13] = "ARTICLES.DAT";
  TrimFileName(b);
  EXPECT_STREQ("ARTICLES.DAT", b);
  char c[13] = "CDE001      ";
  TrimFileName(c);
  EXPECT_STREQ("CDE001", c);
}

TEST(TrimFileName, FirstSpaceInTheExtensionEndsTheName) {
  char a[13] = "ABCDEFGH.0 1";
  TrimFileName(a);
  EXPECT_STREQ("ABCDEFGH.0", a);
}

TEST(IsSafeFileName, RefusesSeparatorsParentsAndControls) {
  EXPECT_TRUE(IsSafeFileName("CDE.001"));
  EXPECT_FALSE(IsSafeFileName(""));
  EXPECT_FALSE(IsSafeFileName("A/B.001"));
  EXPECT_FALSE(IsSafeFileName("A\\B.001"));
  EXPECT_FALSE(IsSafeFileName("...001"));
  EXPECT_FALSE(IsSafeFileName("."));
  EXPECT_FALSE(IsSafeFileName("A\x01.001"));
}

TEST(DecimalValue, ReadsLikeAtoiWithinTheWidth) {
  EXPECT_EQ(2, DecimalValue("02", 2));
  EXPECT_EQ(12, DecimalValue("  12x", 5));
  EXPECT_EQ(-3, DecimalValue("-3", 2));
  EXPECT_EQ(0, DecimalValue("ab", 2));
  EXPECT_EQ(12, DecimalValue("12345", 2));
}

TEST(NameField, PadsBaseAndExtension) {
  EXPECT_EQ("CDE     .001", NameField("CDE.001"));
  EXPECT_EQ("ARTICLES.DAT", NameField("ARTICLES.DAT"));
  EXPECT_EQ("CDE001  .   ", NameField("CDE001"));
}

}  // namespace
}  // namespace kavelin2
