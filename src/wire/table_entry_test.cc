#include "wire/table_entry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace kavelin2 {
namespace {

// Serves a string as the table file, |chunk| bytes per read at most.
struct StringTable {
  explicit StringTable(std::string bytes, size_t chunk = 1000)
      : data(std::move(bytes)), step(chunk) {}
  TableReadFn Reader() {
    return [this](uint8_t* buf, size_t n) {
      size_t k = std::min({n, step, data.size() - pos});
      std::memcpy(buf, data.data() + pos, k);
      pos += k;
      return k;
    };
  }
  std::string data;
  size_t step;
  size_t pos = 0;
};

TEST(ReadTableEntry, ReadsEveryLayoutAndStaysAlignedOnTheNextEntry) {
  StringTable table(
      "ARTICLES.DAT 64\r\n"
      "CLIENTS .DAT 32XS\r\n"
      "STOCK   .DAT 16 B\r\n"
      "CLI     .TXT TB030031010100 trailing text\r\n"
      "PRIX    .PD3\r\n"
      "LAST    .DAT;08\r\n",
      3);  // short reads must not disturb the layout
  auto read = table.Reader();
  TableEntry e;

  ASSERT_TRUE(ReadTableEntry(read, &e));
  EXPECT_STREQ("ARTICLES.DAT", e.name);
  EXPECT_STREQ("64", e.block_size);
  EXPECT_STREQ("\r\n", e.kind);
  EXPECT_TRUE(e.well_formed);

  ASSERT_TRUE(ReadTableEntry(read, &e));
  EXPECT_STREQ("CLIENTS .DAT", e.name);
  EXPECT_STREQ("32", e.block_size);
  EXPECT_STREQ("XS", e.kind);

  ASSERT_TRUE(ReadTableEntry(read, &e));
  EXPECT_STREQ("STOCK   .DAT", e.name);
  EXPECT_STREQ(" B", e.kind);

  ASSERT_TRUE(ReadTableEntry(read, &e));
  EXPECT_STREQ("CLI     .TXT", e.name);
  EXPECT_STREQ("TB", e.kind);
  EXPECT_STREQ("030", e.block_size);
  EXPECT_STREQ("03", e.field_count);
  EXPECT_STREQ("101010", e.field_widths);
  EXPECT_TRUE(e.well_formed);

  ASSERT_TRUE(ReadTableEntry(read, &e));
  EXPECT_STREQ("PRIX    .PD3", e.name);
  EXPECT_STREQ("128", e.block_size);
  EXPECT_EQ(kKindPd3, e.kind[1]);
  EXPECT_TRUE(e.pd3);

  ASSERT_TRUE(ReadTableEntry(read, &e));
  EXPECT_STREQ("LAST    .DAT", e.name);
  EXPECT_STREQ("08", e.block_size);

  EXPECT_FALSE(ReadTableEntry(read, &e));
}

TEST(ReadTableEntry, FewerThanTwelveBytesEndTheTable) {
  StringTable table("ARTICLES.DA");
  TableEntry e;
  EXPECT_FALSE(ReadTableEntry(table.Reader(), &e));
  StringTable empty("");
  EXPECT_FALSE(ReadTableEntry(empty.Reader(), &e));
}

TEST(ReadTableEntry, PlainEntryWithTwoExtraCharactersTakesTheLineEndAsTheNextEntry) {
  // "XY" is read as the kind; its second character is neither 'S' nor 'B',
  // so the CR LF that follows starts the next name field.
  StringTable table("ARTICLES.DAT 64XY\r\nABCDEFGHIJ 08\r\n");
  auto read = table.Reader();
  TableEntry e;
  ASSERT_TRUE(ReadTableEntry(read, &e));
  EXPECT_STREQ("XY", e.kind);
  ASSERT_TRUE(ReadTableEntry(read, &e));
  EXPECT_EQ(std::string("\r\nABCDEFGHIJ"), e.name);
}

TEST(ReadTableEntry, TooManyFieldsOrNonDigitsMarkTheEntryButKeepTheTableAligned) {
  std::string seventeen = "CLI     .TXT TB03017" + std::string(34, '1') + "\r\n";
  StringTable table(seventeen + "BAD     .DAT 6x\r\nNEXT    .DAT 10\r\n");
  auto read = table.Reader();
  TableEntry e;
  ASSERT_TRUE(ReadTableEntry(read, &e));
  EXPECT_FALSE(e.well_formed);
  ASSERT_TRUE(ReadTableEntry(read, &e));
  EXPECT_STREQ("BAD     .DAT", e.name);
  EXPECT_FALSE(e.well_formed);
  ASSERT_TRUE(ReadTableEntry(read, &e));
  EXPECT_STREQ("NEXT    .DAT", e.name);
  EXPECT_TRUE(e.well_formed);
}

TEST(ReadTableEntry, SixteenFieldsFitTheWidthsField) {
  std::string widths;
  for (int i = 0; i < 16; ++i) widths += "05";
  StringTable table("CLI     .TXT T 08016" + widths + "\n");
  TableEntry e;
  ASSERT_TRUE(ReadTableEntry(table.Reader(), &e));
  EXPECT_TRUE(e.well_formed);
  EXPECT_EQ(widths, e.field_widths);
}

TEST(ReadTableEntry, TruncatedFieldEntryIsMalformed) {
  StringTable table("CLI     .TXT TB030031010");
  TableEntry e;
  ASSERT_TRUE(ReadTableEntry(table.Reader(), &e));
  EXPECT_FALSE(e.well_formed);
}

TableEntry Entry(const char* size, const char* kind) {
  TableEntry e;
  std::memcpy(e.name, "X       .DAT", 13);
  std::snprintf(e.block_size, sizeof e.block_size, "%s", size);
  std::snprintf(e.kind, sizeof e.kind, "%s", kind);
  return e;
}

TEST(PlanBlocks, EachLayoutCountsWholeRecordsOnly) {
  BlockPlan plan;
  ASSERT_TRUE(PlanBlocks(Entry("64", " B"), 640, &plan));
  EXPECT_EQ(10, plan.total);
  EXPECT_EQ(0, plan.start);
  EXPECT_FALSE(plan.line_ends);

  ASSERT_TRUE(PlanBlocks(Entry("64", "\r\n"), 660, &plan));
  EXPECT_EQ(10, plan.total);
  EXPECT_TRUE(plan.line_ends);
  ASSERT_TRUE(PlanBlocks(Entry("64", "\r\n"), 659, &plan));
  EXPECT_EQ(9, plan.total);

  ASSERT_TRUE(PlanBlocks(Entry("32", " S"), 4 + 3 * 32 + 31, &plan));
  EXPECT_EQ(3, plan.total);
  EXPECT_EQ(4, plan.start);
  EXPECT_EQ(32, plan.block_size);
}

TEST(PlanBlocks, FileShorterThanItsHeaderHasNoBlocks) {
  BlockPlan plan;
  ASSERT_TRUE(PlanBlocks(Entry("32", " S"), 2, &plan));
  EXPECT_EQ(0, plan.total);
}

TEST(PlanBlocks, RefusesEntriesThatCannotBeSent) {
  BlockPlan plan;
  EXPECT_FALSE(PlanBlocks(Entry("00", " S"), 100, &plan));
  EXPECT_FALSE(PlanBlocks(Entry("00", " B"), 100, &plan));
  EXPECT_FALSE(PlanBlocks(Entry("00", "\r\n"), 100, &plan));
  EXPECT_FALSE(PlanBlocks(Entry("6x", " B"), 100, &plan));
  EXPECT_FALSE(PlanBlocks(Entry("6 ", " B"), 100, &plan));
  EXPECT_FALSE(PlanBlocks(Entry("  ", " B"), 100, &plan));
  // Leading blanks are skipped like in every decimal field of the protocol.
  ASSERT_TRUE(PlanBlocks(Entry(" 6", " B"), 100, &plan));
  EXPECT_EQ(16, plan.total);
  EXPECT_FALSE(PlanBlocks(Entry("6", " B"), 100, &plan));
  // Five-digit block counts: 99999 blocks fit, 100000 do not.
  EXPECT_TRUE(PlanBlocks(Entry("01", " B"), 99999, &plan));
  EXPECT_EQ(99999, plan.total);
  EXPECT_FALSE(PlanBlocks(Entry("01", " B"), 100000, &plan));
  TableEntry malformed = Entry("10", " B");
  malformed.well_formed = false;
  EXPECT_FALSE(PlanBlocks(malformed, 100, &plan));
}

TEST(PlanBlocks, FieldEntriesAndPd3UseThreeDigitSizes) {
  BlockPlan plan;
  TableEntry t = Entry("999", "TB");
  ASSERT_TRUE(PlanBlocks(t, 1998, &plan));  // 999 + 8 still fits 1032 bytes
  EXPECT_EQ(2, plan.total);
  TableEntry pd3 = Entry("128", " P");
  pd3.pd3 = true;
  ASSERT_TRUE(PlanBlocks(pd3, 260, &plan));
  EXPECT_EQ(2, plan.total);
  EXPECT_TRUE(plan.line_ends);
  // A plain entry carrying kind 'P' is still a two-digit entry.
  ASSERT_TRUE(PlanBlocks(Entry("10", " P"), 24, &plan));
  EXPECT_EQ(2, plan.total);
}

}  // namespace
}  // namespace kavelin2
