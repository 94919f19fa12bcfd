#include "ui/runtime/script_front_end.h"

#include <gtest/gtest.h>

#include "ui/runtime/runtime_test_util.h"

namespace kavelin2::uirt {
namespace {

TEST(ParseScript, ReadsTabSeparatedRepliesAndSkipsCommentsAndBlankLines) {
  std::vector<std::string> errors;
  auto lines = ParseScript(
      "# the port dialog\n"
      "\n"
      "ECRAN, SAISIE\t*V*\n"
      "   \r\n"
      "ECRAN,RECUPERE,PORT1\t\tCOM3\r\n"
      "ECRAN,RECUPERE,VITESSE1\t\t2\n"
      "OUINON\t\tnon\t0\n"
      "FERME\n"
      "OUINON, a\\nb\\\\c\t*X*\tline\\nbreak\n",
      &errors);
  EXPECT_TRUE(errors.empty());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].prefix, "ECRAN, SAISIE");
  EXPECT_EQ(lines[0].reply.status, "*V*");
  EXPECT_FALSE(lines[0].reply.text);
  EXPECT_EQ(lines[1].prefix, "ECRAN,RECUPERE,PORT1");
  EXPECT_FALSE(lines[1].reply.status);
  EXPECT_EQ(lines[1].reply.text, "COM3");
  EXPECT_FALSE(lines[1].reply.int_value);
  EXPECT_EQ(lines[3].reply.text, "non");
  EXPECT_EQ(lines[3].reply.int_value, 0);
  EXPECT_EQ(lines[4].prefix, "FERME");
  EXPECT_FALSE(lines[4].reply.status);
  EXPECT_FALSE(lines[4].reply.text);
  EXPECT_EQ(lines[5].prefix, "OUINON, a\nb\\c");
  EXPECT_EQ(lines[5].reply.text, "line\nbreak");
}

TEST(ParseScript, SkipsMalformedLinesAndSaysWhy) {
  std::vector<std::string> errors;
  auto lines = ParseScript(
      "\t*V*\n"
      "ECRAN\t*VV*\n"
      "OUINON\t\tyes\tmany\n"
      "OUINON\t\tyes\t1\textra\n"
      "FERME\t*A*\n",
      &errors);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].prefix, "FERME");
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_EQ(errors[0].rfind("line 1:", 0), 0u);
  EXPECT_EQ(errors[3].rfind("line 4:", 0), 0u);
}

struct Script : ::testing::Test {
  CapturedOutput out;
  UiChannel Over(const std::string& text) {
    return ChannelOver(NewScriptFrontEnd(ParseScript(text, nullptr), TestOptions(out)));
  }
};

TEST_F(Script, AnswersMatchingCommandsInOrderAndTheRestLikeHeadless) {
  UiChannel ui = Over(
      "ECRAN, SAISIE\t*M*\tPP\n"
      "ECRAN, SAISIE\t*V*\n"
      "ECRAN,RECUPERE,VITESSE1\t\tabc\t7\n");
  ui.UiCall("OUVRE,MENU.WDW");
  ui.UiCall("ECRAN, SAISIE");
  EXPECT_STREQ(ui.UiReply.status, "*M*");
  EXPECT_STREQ(ui.UiReply.text, "PP");
  ui.UiCall("OUVRE,SERIE.WDW");
  ui.UiCall("AFFICHE, VITESSE1,=%d", 1);
  // Not the next line's command: the headless answer, and the line waits.
  ui.UiCall("ECRAN,RECUPERE,VITESSE1");
  EXPECT_EQ(ui.UiReply.intValue, 1);
  ui.UiCall("ECRAN, SAISIE");
  EXPECT_STREQ(ui.UiReply.status, "*V*");
  ui.UiCall("ECRAN,RECUPERE,VITESSE1");
  EXPECT_STREQ(ui.UiReply.text, "abc");
  EXPECT_EQ(ui.UiReply.intValue, 7);
  // Used up: headless from now on.
  ui.UiCall("ECRAN, SAISIE");
  EXPECT_STREQ(ui.UiReply.status, "ESC");
  ui.UiCall("ECRAN,RECUPERE,VITESSE1");
  EXPECT_STREQ(ui.UiReply.text, "1");
  EXPECT_EQ(ui.UiReply.intValue, 1);
}

TEST_F(Script, AReplyWithoutStatusKeepsTheCallersStatus) {
  UiChannel ui = Over("OUINON\t\t0\nECRAN\t\n");
  ui.UiCall("OUVRE,KAVELIN2.WDW");
  ui.SetStatus("???");
  ui.UiCall("OUINON, Delete of the result file?");
  EXPECT_EQ(ui.UiReply.intValue, 0);
  EXPECT_STREQ(ui.UiReply.status, "???");
  ui.UiCall("ECRAN,SAISIE/NONBLOCANTE");
  EXPECT_STREQ(ui.UiReply.status, "???");
  // The intercepted question was not asked of the headless fallback.
  EXPECT_EQ(out.Text(), "");
}

TEST_F(Script, InterceptedCommandsStillUpdateTheScreen) {
  UiChannel ui = Over("OUVRE\t\nAFFICHE\t\n");
  ui.UiCall("OUVRE,SERIE.WDW");
  ui.UiCall("AFFICHE, PORT1,=%d", 4);
  ui.UiCall("ECRAN,RECUPERE,PORT1");
  EXPECT_STREQ(ui.UiReply.text, "COM4");
}

TEST(ScriptFile, AMissingFileMeansHeadless) {
  testing::internal::CaptureStderr();
  auto front_end = NewScriptFrontEnd(std::string("/nonexistent-dir/replies.txt"));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("/nonexistent-dir/replies.txt"), std::string::npos);
  Screen screen;
  screen.windows.push_back(Window{"KAVELIN2.WDW", "", {}});
  EXPECT_EQ(front_end->Input(screen, InputKind::kNonBlocking).status, "*N*");
}

}  // namespace
}  // namespace kavelin2::uirt
