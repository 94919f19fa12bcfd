#include "ui/runtime/terminal_text.h"

#include <gtest/gtest.h>

#include "ui/runtime/terminal_boxes.h"

namespace kavelin2::uirt::term {
namespace {

TEST(TerminalText, InvalidUtf8SurvivesDecodingAndEncodingByteForByte) {
  const std::string bytes = std::string("caf\xC3\xA9 \xE9t\xE9 \xFF\x80 \xC3", 14);
  EXPECT_EQ(EncodeUtf8(DecodeUtf8(bytes)), bytes);
  EXPECT_EQ(DecodeUtf8("\xC3\xA9").size(), 1u);
  // An overlong encoding of '/' is not text.
  EXPECT_EQ(DecodeUtf8("\xC0\xAF").size(), 2u);
}

TEST(TerminalText, SafeTextNeutralisesControlSequencesAndCutsAtWidth) {
  EXPECT_EQ(SafeText("A\x1b[2JB\r\n"), "A?[2JB??");
  EXPECT_EQ(SafeText("\xFF"), "?");
  EXPECT_EQ(SafeText("Données", 4), "Donn");
  EXPECT_EQ(TextWidth("Données"), 7);
  EXPECT_EQ(PadText("ab", 4), "ab  ");
  // A wide character that does not fit whole is left out.
  EXPECT_EQ(SafeText("a\xE4\xB8\xAD", 2), "a");
}

TEST(TerminalText, LineEditorKeepsTheValueWithinItsBytes) {
  LineEditor e;
  e.Reset("ab", 4);
  EXPECT_TRUE(e.Insert(U'c'));
  EXPECT_FALSE(e.Insert(U'\u00e9'));  // two bytes, one left
  EXPECT_TRUE(e.Insert(U'd'));
  EXPECT_FALSE(e.Insert(U'e'));
  EXPECT_EQ(e.value(), "abcd");
  e.Home();
  e.Delete();
  e.End();
  e.Backspace();
  EXPECT_EQ(e.value(), "bc");
  EXPECT_FALSE(e.Insert(U'\x1b'));
}

TEST(TerminalText, LineEditorScrollsToKeepTheCursorVisible) {
  LineEditor e;
  e.Reset("0123456789", 80);
  int col = -1;
  EXPECT_EQ(e.Visible(5, &col), "6789");
  EXPECT_EQ(col, 4);
  e.Home();
  EXPECT_EQ(e.Visible(5, &col), "01234");
  EXPECT_EQ(col, 0);
}

TEST(TerminalText, WrapTextBreaksAtBlanksAndNewlines) {
  auto lines = WrapText("/tmp/x\nChemin inexistant. Voulez vous le créer?", 22);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "/tmp/x");
  EXPECT_EQ(lines[1], "Chemin inexistant.");
  EXPECT_EQ(lines[2], "Voulez vous le créer?");
  auto long_word = WrapText(std::string(25, 'x'), 10);
  ASSERT_EQ(long_word.size(), 3u);
  EXPECT_EQ(long_word[2], "xxxxx");
}

}  // namespace
}  // namespace kavelin2::uirt::term
