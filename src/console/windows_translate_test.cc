#include "console/windows_translate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/backend_memory.h"
#include "console/console.h"

namespace console {
namespace {

constexpr std::uint16_t kVkShift = 0x10;
constexpr std::uint16_t kVkControl = 0x11;
constexpr std::uint16_t kVkMenu = 0x12;
constexpr std::uint16_t kVkCapital = 0x14;
constexpr std::uint16_t kVkLeft = 0x25;
constexpr std::uint16_t kVkUp = 0x26;
constexpr std::uint16_t kVkRight = 0x27;
constexpr std::uint16_t kVkDown = 0x28;
constexpr std::uint16_t kVkPrior = 0x21;
constexpr std::uint16_t kVkNext = 0x22;
constexpr std::uint16_t kVkF1 = 0x70;

WinKeyRecord Down(std::uint16_t virtual_key, std::uint16_t scan_code, char16_t character,
                  std::uint32_t control_state = 0) {
  return WinKeyRecord{true, virtual_key, scan_code, character, control_state};
}

WinKey MakeExtendedKey(unsigned char scan_code) {
  return WinKey{WinKey::Kind::kExtended, 0, scan_code};
}

WinKey Character(char16_t character) { return WinKey{WinKey::Kind::kCharacter, character, 0}; }

// "mouse K B R,C" for a mouse event: easy to read in a failure.
std::vector<std::string> Describe(const std::vector<InputEvent>& events) {
  std::vector<std::string> text;
  for (const InputEvent& event : events) {
    text.push_back("mouse " + std::to_string(event.mouse_kind) + " " +
                   std::to_string(event.mouse_button) + " " + std::to_string(event.row) + "," +
                   std::to_string(event.column));
  }
  return text;
}

TEST(WindowsTranslateKeyTest, ArrowsGiveNulAndScanCodeWithAndWithoutEnhancedFlag) {
  // The grey arrow keys carry the enhanced-key flag; the keypad's, with Num Lock off, not.
  EXPECT_EQ(TranslateKey(Down(kVkLeft, 75, 0, kWinEnhancedKey)), MakeExtendedKey(75));
  EXPECT_EQ(TranslateKey(Down(kVkLeft, 75, 0)), MakeExtendedKey(75));
  EXPECT_EQ(TranslateKey(Down(kVkRight, 77, 0, kWinEnhancedKey)), MakeExtendedKey(77));
  EXPECT_EQ(TranslateKey(Down(kVkRight, 77, 0)), MakeExtendedKey(77));
  EXPECT_EQ(TranslateKey(Down(kVkUp, 72, 0, kWinEnhancedKey)), MakeExtendedKey(72));
  EXPECT_EQ(TranslateKey(Down(kVkDown, 80, 0)), MakeExtendedKey(80));
  EXPECT_EQ(TranslateKey(Down(kVkPrior, 73, 0, kWinEnhancedKey)), MakeExtendedKey(73));
  EXPECT_EQ(TranslateKey(Down(kVkNext, 81, 0)), MakeExtendedKey(81));
  EXPECT_EQ(TranslateKey(Down(kVkF1, 59, 0)), MakeExtendedKey(59));
}

TEST(WindowsTranslateKeyTest, MissingScanCodeIsTakenFromVirtualKey) {
  EXPECT_EQ(TranslateKey(Down(kVkLeft, 0, 0)), MakeExtendedKey(75));
  EXPECT_EQ(TranslateKey(Down(kVkDown, 0, 0, kWinEnhancedKey)), MakeExtendedKey(80));
  EXPECT_EQ(TranslateKey(Down(0x24, 0, 0)), MakeExtendedKey(71));  // Home
  EXPECT_EQ(TranslateKey(Down(0x23, 0, 0)), MakeExtendedKey(79));  // End
  EXPECT_EQ(TranslateKey(Down('X', 0, u'x', kWinLeftAltPressed)), MakeExtendedKey(45));
  // Nothing to go by at all: no key.
  EXPECT_EQ(TranslateKey(Down(0, 0, 0)), std::nullopt);
}

TEST(WindowsTranslateKeyTest, ModifiersAloneGiveNothing) {
  EXPECT_EQ(TranslateKey(Down(kVkShift, 42, 0, kWinShiftPressed)), std::nullopt);
  EXPECT_EQ(TranslateKey(Down(kVkShift, 54, 0, kWinShiftPressed)), std::nullopt);
  EXPECT_EQ(TranslateKey(Down(kVkControl, 29, 0, kWinLeftCtrlPressed)), std::nullopt);
  EXPECT_EQ(TranslateKey(Down(kVkControl, 29, 0, kWinRightCtrlPressed | kWinEnhancedKey)),
            std::nullopt);
  EXPECT_EQ(TranslateKey(Down(kVkMenu, 56, 0, kWinLeftAltPressed)), std::nullopt);
  EXPECT_EQ(TranslateKey(Down(kVkCapital, 58, 0)), std::nullopt);
  EXPECT_EQ(TranslateKey(Down(0x90, 69, 0)), std::nullopt);  // Num Lock
  EXPECT_EQ(TranslateKey(Down(0x91, 70, 0)), std::nullopt);  // Scroll Lock
  // Some consoles give the left and right virtual keys, or no scan code.
  EXPECT_EQ(TranslateKey(Down(0xA0, 0, 0)), std::nullopt);
  EXPECT_EQ(TranslateKey(Down(kVkShift, 0, 0)), std::nullopt);
}

TEST(WindowsTranslateKeyTest, ReleasesGiveNothing) {
  WinKeyRecord release = Down('A', 30, u'a');
  release.key_down = false;
  EXPECT_EQ(TranslateKey(release), std::nullopt);
}

TEST(WindowsTranslateKeyTest, CharactersAsTyped) {
  EXPECT_EQ(TranslateKey(Down('A', 30, u'a')), Character(u'a'));
  EXPECT_EQ(TranslateKey(Down('A', 30, u'A', kWinShiftPressed)), Character(u'A'));
  EXPECT_EQ(TranslateKey(Down(0x0D, 28, 13)), Character(13));                   // Enter
  EXPECT_EQ(TranslateKey(Down(0x0D, 28, 13, kWinEnhancedKey)), Character(13));  // keypad
  EXPECT_EQ(TranslateKey(Down(0x1B, 1, 27)), Character(27));                    // Esc
  EXPECT_EQ(TranslateKey(Down(0x1B, 1, 0)), Character(27));  // Esc as wine's tty gives it
  EXPECT_EQ(TranslateKey(Down(0x08, 14, 8)), Character(8));  // Backspace
  EXPECT_EQ(TranslateKey(Down(0x09, 15, 9)), Character(9));  // Tab
  EXPECT_EQ(TranslateKey(Down('C', 46, 3, kWinLeftCtrlPressed)), Character(3));  // Ctrl+C
  EXPECT_EQ(TranslateKey(Down(0, 0, u'\u00E9')), Character(u'\u00E9'));          // typed é
  // Keypad 4 with Num Lock on is the digit.
  EXPECT_EQ(TranslateKey(Down(0x64, 75, u'4', kWinNumLockOn)), Character(u'4'));
}

TEST(WindowsTranslateKeyTest, AltWithLetterGivesNulAndScanCode) {
  EXPECT_EQ(TranslateKey(Down('X', 45, u'x', kWinLeftAltPressed)), MakeExtendedKey(45));
  EXPECT_EQ(TranslateKey(Down('Q', 16, u'q', kWinRightAltPressed)), MakeExtendedKey(16));
  EXPECT_EQ(TranslateKey(Down('P', 25, 0, kWinLeftAltPressed)), MakeExtendedKey(25));
  EXPECT_EQ(TranslateKey(Down('A', 30, u'a', kWinLeftAltPressed)), MakeExtendedKey(30));
  EXPECT_EQ(TranslateKey(Down('L', 38, u'l', kWinLeftAltPressed)), MakeExtendedKey(38));
  EXPECT_EQ(TranslateKey(Down('Z', 44, u'z', kWinLeftAltPressed)), MakeExtendedKey(44));
  EXPECT_EQ(TranslateKey(Down('M', 50, u'm', kWinLeftAltPressed)), MakeExtendedKey(50));
  // Not a letter key: the character.
  EXPECT_EQ(TranslateKey(Down('1', 2, u'1', kWinLeftAltPressed)), Character(u'1'));
  // AltGr (right Alt with Ctrl) types a character.
  EXPECT_EQ(TranslateKey(Down('Q', 16, u'@', kWinRightAltPressed | kWinLeftCtrlPressed)),
            Character(u'@'));
}

TEST(WindowsTranslateKeyTest, CharactersOutsideBasicPlaneBecomeOneQuestionMark) {
  EXPECT_EQ(TranslateKey(Down(0, 0, 0xD83D)), std::nullopt);
  EXPECT_EQ(TranslateKey(Down(0, 0, 0xDE00)), Character(u'?'));
}

TEST(WindowsTranslateKeyTest, TheLfOfAPastedCrLfIsDropped) {
  struct Case {
    const char* name;
    std::u16string keys;
    std::u16string kept;
  };
  const Case cases[] = {
      {"pasted line", u"w1aw\r\nKEY\r\n", u"w1aw\rKEY\r"},
      {"lone CR", u"a\rb", u"a\rb"},
      {"lone LF", u"a\nb", u"a\nb"},
      {"LF CR", u"\n\r", u"\n\r"},
      {"CR CR LF LF", u"\r\r\n\n", u"\r\r\n"},
  };
  for (const Case& c : cases) {
    bool after_cr = false;
    std::u16string kept;
    for (const char16_t key : c.keys) {
      if (!IsLineFeedOfCrLf(Character(key), after_cr)) kept += key;
    }
    EXPECT_EQ(kept, c.kept) << c.name;
  }
  bool after_cr = true;  // an Extended key between a CR and an LF parts them
  EXPECT_FALSE(IsLineFeedOfCrLf(MakeExtendedKey(72), after_cr));
  EXPECT_FALSE(IsLineFeedOfCrLf(Character(u'\n'), after_cr));
}

TEST(WindowsTranslateMouseTest, LeftPressAndReleaseFromOne) {
  std::uint32_t held = 0;
  EXPECT_EQ(Describe(TranslateMouse({4, 2, kWinLeftButton, 0}, held, 0, 0)),
            std::vector<std::string>{"mouse 4 1 3,5"});
  EXPECT_EQ(held, kWinLeftButton);
  EXPECT_EQ(Describe(TranslateMouse({4, 2, 0, 0}, held, 0, 0)),
            std::vector<std::string>{"mouse 8 1 3,5"});
  EXPECT_EQ(held, 0u);
}

TEST(WindowsTranslateMouseTest, DoubleClickAsTheConsoleReportsIt) {
  std::uint32_t held = 0;
  std::vector<std::string> all;
  for (const WinMouseRecord& record :
       {WinMouseRecord{9, 0, kWinLeftButton, 0}, WinMouseRecord{9, 0, 0, 0},
        WinMouseRecord{9, 0, kWinLeftButton, kWinDoubleClick}, WinMouseRecord{9, 0, 0, 0}}) {
    for (const std::string& text : Describe(TranslateMouse(record, held, 0, 0))) {
      all.push_back(text);
    }
  }
  EXPECT_EQ(all, (std::vector<std::string>{"mouse 4 1 1,10", "mouse 8 1 1,10", "mouse 2 1 1,10",
                                           "mouse 8 1 1,10"}));
}

TEST(WindowsTranslateMouseTest, RightAndMiddleButtons) {
  std::uint32_t held = 0;
  EXPECT_EQ(Describe(TranslateMouse({0, 0, kWinRightmostButton, 0}, held, 0, 0)),
            std::vector<std::string>{"mouse 4 2 1,1"});
  // Middle goes down while right goes up: both, in button order.
  EXPECT_EQ(Describe(TranslateMouse({0, 0, kWinSecondButton, 0}, held, 0, 0)),
            (std::vector<std::string>{"mouse 8 2 1,1", "mouse 4 4 1,1"}));
}

TEST(WindowsTranslateMouseTest, MovesWheelsAndOrigin) {
  std::uint32_t held = 0;
  EXPECT_EQ(Describe(TranslateMouse({3, 3, 0, kWinMouseMoved}, held, 0, 0)),
            std::vector<std::string>{"mouse 1 0 4,4"});
  EXPECT_EQ(Describe(TranslateMouse({3, 3, kWinLeftButton, kWinMouseMoved}, held, 0, 0)),
            std::vector<std::string>{"mouse 1 1 4,4"});
  // The wheel's high word is its distance, not buttons; nothing, and the buttons stay.
  EXPECT_TRUE(TranslateMouse({3, 3, 0x00780000, kWinMouseWheeled}, held, 0, 0).empty());
  EXPECT_EQ(held, kWinLeftButton);
  // Cells counted from the window's top left at buffer cell (2, 100).
  held = 0;
  EXPECT_EQ(Describe(TranslateMouse({2, 100, kWinLeftButton, 0}, held, 2, 100)),
            std::vector<std::string>{"mouse 4 1 1,1"});
}

// What the console model makes of the translated events, with the program's mouse setting
// (left button, presses and double-clicks).
TEST(WindowsTranslateMouseTest, ThroughTheModelOnlyLeftPressesAndDoubleClicks) {
  MemoryBackend backend;
  std::uint32_t held = 0;
  for (const WinMouseRecord& record :
       {WinMouseRecord{5, 1, kWinRightmostButton, 0}, WinMouseRecord{5, 1, 0, 0},
        WinMouseRecord{7, 1, 0, kWinMouseMoved}, WinMouseRecord{7, 1, kWinLeftButton, 0},
        WinMouseRecord{7, 1, 0, 0}, WinMouseRecord{7, 1, kWinLeftButton, kWinDoubleClick},
        WinMouseRecord{7, 1, 0, 0}}) {
    for (const InputEvent& event : TranslateMouse(record, held, 0, 0)) {
      backend.AddMouse(event.mouse_kind, event.mouse_button, event.row, event.column);
    }
  }
  Console console(backend);
  console.EnableMouse(kMouseLeft, kMousePressed | kMouseDoubleClick);
  EXPECT_EQ(console.WaitKey(1000), std::string("\xff\xff\x04\x01", 4));
  EXPECT_EQ(console.mouse_position().row, 2);
  EXPECT_EQ(console.mouse_position().column, 8);
  EXPECT_EQ(console.WaitKey(1000), std::string("\xff\xff\x02\x01", 4));
  EXPECT_EQ(console.WaitKey(1000), "");
}

TEST(WindowsCellTest, CharactersForCells) {
  EXPECT_EQ(CellCharacter(U'A'), u'A');
  EXPECT_EQ(CellCharacter(U'\u2500'), u'\u2500');
  EXPECT_EQ(CellCharacter(U'\u00E9'), u'\u00E9');
  EXPECT_EQ(CellCharacter(1), u'\u263A');
  EXPECT_EQ(CellCharacter(13), u'\u266A');
  EXPECT_EQ(CellCharacter(127), u'\u2302');
  EXPECT_EQ(CellCharacter(U'\U0001F600'), u'?');
  EXPECT_EQ(CellCharacter(0xD800), u'?');
  EXPECT_EQ(CellCharacter(0xFFFFFFFF), u'?');
}

}  // namespace
}  // namespace console
