// The dynamic runtime link and the station's fatal outcomes, with the real
// loader.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "ui/ui_channel.h"

namespace kavelin2 {
namespace {

// The message box text as a pattern: the dots are literal.
std::string Pattern(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '.') out += '\\';
    out += c;
  }
  return out;
}

TEST(RuntimeLinkDeathTest, AMissingLibraryStopsTheProgramWithTheFirstMessage) {
  EXPECT_EXIT(
      {
        UiChannel ui(NewDynamicUiRuntimeLink("/nonexistent-dir/libkavelin2ui.so"));
        ui.UiCall("BIBLI,DISQUE,KAVELIN2.WDL");
      },
      ::testing::ExitedWithCode(3),
      Pattern("Erreur\nLa fonction loadlibrary sur la DLL WDEXE a \u00e9chou\u00e9.\n"
              "Programme arr\u00eat\u00e9!\n"));
}

TEST(RuntimeLinkDeathTest, AMissingEntryPointStopsTheProgramWithTheSecondMessage) {
  EXPECT_EXIT(
      {
        UiChannel ui(NewDynamicUiRuntimeLink(KAVELIN2_BUILD_DIR "/libkavelin2ui_partial.so"));
        ui.UiCall("BIBLI,DISQUE,KAVELIN2.WDL");
      },
      ::testing::ExitedWithCode(3),
      Pattern("Erreur\nLa r\u00e9solution des liens avec la DLL WDEXE a \u00e9chou\u00e9.\n"
              "Programme arr\u00eat\u00e9!\n"));
}

TEST(RuntimeLink, FindsTheRuntimeBesideTheProgram) {
  unsetenv("KAVELIN2_UI_LIBRARY");
  auto link = NewDynamicUiRuntimeLink();
  EXPECT_FALSE(link->IsLoaded());
  ASSERT_EQ(link->Load(), UiRuntimeLink::LoadResult::kOk);
  EXPECT_TRUE(link->IsLoaded());
  link->Unload();
  EXPECT_FALSE(link->IsLoaded());
}

TEST(RuntimeLink, Kavelin2UiLibraryNamesAnotherLibrary) {
  setenv("KAVELIN2_UI_LIBRARY", KAVELIN2_BUILD_DIR "/libkavelin2ui_partial.so", 1);
  auto partial = NewDynamicUiRuntimeLink();
  setenv("KAVELIN2_UI_LIBRARY", "libkavelin2ui-not-installed.so", 1);
  auto by_name = NewDynamicUiRuntimeLink();
  unsetenv("KAVELIN2_UI_LIBRARY");
  testing::internal::CaptureStderr();
  EXPECT_EQ(partial->Load(), UiRuntimeLink::LoadResult::kEntryPointMissing);
  // A half-bound library is not kept.
  EXPECT_FALSE(partial->IsLoaded());
  EXPECT_EQ(by_name->Load(), UiRuntimeLink::LoadResult::kLibraryMissing);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("WSIPPARTAGE"), std::string::npos);
  EXPECT_NE(err.find("libkavelin2ui-not-installed.so"), std::string::npos);
}

TEST(RuntimeLink, ABareNameIsLookedUpByTheLoader) {
  // libc is on every search path; it is no runtime, so binding fails at the
  // first entry point, which shows that the name was found and opened.
  auto link = NewDynamicUiRuntimeLink("libc.so.6");
  testing::internal::CaptureStderr();
  EXPECT_EQ(link->Load(), UiRuntimeLink::LoadResult::kEntryPointMissing);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("WDInitInstance"), std::string::npos);
}

TEST(RuntimeLink, AnUnboundLinkAnswersNothing) {
  auto link = NewDynamicUiRuntimeLink("/nonexistent-dir/x.so");
  uint8_t block[kExchangeBlockSize] = {'F', 'E', 'R', 'M', 'E', 0};
  EXPECT_EQ(link->InitInstance(block), 0);
  link->Call(block);
  link->FinInstance(block);
  EXPECT_EQ(block[0], 'F');
}

}  // namespace
}  // namespace kavelin2
