// The console back end's keys and attributes. The console itself cannot be
// driven under Wine without a window: the front end above it runs on the
// in-memory terminal in terminal_test.
#include "ui/runtime/terminal_console_win32.h"

#include <gtest/gtest.h>

#include "ui/runtime/terminal_io.h"

namespace kavelin2::uirt::term {
namespace {

KEY_EVENT_RECORD Key(WORD vk, wchar_t c, DWORD state = 0, BOOL down = TRUE) {
  KEY_EVENT_RECORD k{};
  k.bKeyDown = down;
  k.wRepeatCount = 1;
  k.wVirtualKeyCode = vk;
  k.uChar.UnicodeChar = c;
  k.dwControlKeyState = state;
  return k;
}

TEST(ConsoleKeys, EveryKeyOfTheFrontEndComesFromItsConsoleEvent) {
  struct Row {
    KEY_EVENT_RECORD event;
    int key;
  };
  const Row rows[] = {
      {Key(VK_UP, 0), kKeyUp},
      {Key(VK_DOWN, 0), kKeyDown},
      {Key(VK_LEFT, 0), kKeyLeft},
      {Key(VK_RIGHT, 0), kKeyRight},
      {Key(VK_HOME, 0), kKeyHome},
      {Key(VK_END, 0), kKeyEnd},
      {Key(VK_PRIOR, 0), kKeyPageUp},
      {Key(VK_NEXT, 0), kKeyPageDown},
      {Key(VK_DELETE, 0), kKeyDelete},
      {Key(VK_BACK, 8), kKeyBackspace},
      {Key(VK_TAB, 9), kKeyTab},
      {Key(VK_TAB, 9, SHIFT_PRESSED), kKeyBackTab},
      {Key(VK_RETURN, 13), kKeyEnter},
      {Key(VK_ESCAPE, 27), kKeyEscape},
      {Key(VK_F1, 0), kKeyF1},
      {Key(VK_F10, 0), kKeyF10},
      {Key('L', kCtrlL, LEFT_CTRL_PRESSED), kKeyRedraw},
      {Key('A', L'a'), 'a'},
      {Key('E', L'\u00e9'), 0xE9},  // é typed on a French keyboard
      {Key(0, L'\u00f1'), 0xF1},    // ñ
      {Key(VK_SHIFT, 0, SHIFT_PRESSED), kNoKey},
      {Key('A', L'a', 0, FALSE), kNoKey},  // a release
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "vk " << r.event.wVirtualKeyCode);
    EXPECT_EQ(r.key, KeyFromConsoleEvent(r.event));
  }
}

TEST(ConsoleKeys, AttributesMarkBoldReverseAndUnderlineOnTheConsoleColours) {
  const WORD normal = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;  // grey on black
  EXPECT_EQ(normal, AttributesFor(kPlain, normal));
  EXPECT_EQ(normal | FOREGROUND_INTENSITY, AttributesFor(kBold, normal));
  EXPECT_EQ(normal | COMMON_LVB_UNDERSCORE, AttributesFor(kUnderline, normal));
  // Reverse: black on grey.
  EXPECT_EQ(BACKGROUND_RED | BACKGROUND_GREEN | BACKGROUND_BLUE, AttributesFor(kReverse, normal));
  EXPECT_EQ(BACKGROUND_RED | BACKGROUND_GREEN | BACKGROUND_BLUE | BACKGROUND_INTENSITY,
            AttributesFor(kReverse | kBold, normal));
}

}  // namespace
}  // namespace kavelin2::uirt::term
