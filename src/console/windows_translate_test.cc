#include "console/windows_translate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace console {
namespace {

// What a key record gives: "-" for nothing, "00 SC" for an Extended key (scan code in
// decimal), or the character's code.
std::string Show(const std::optional<WinKey>& key) {
  if (!key) return "-";
  if (key->kind == WinKey::Kind::kExtended) return "00 " + std::to_string(key->scan_code);
  return std::to_string(static_cast<int>(key->character));
}

TEST(TranslateKey, Table) {
  constexpr std::uint32_t kAlt = kWinLeftAltPressed, kEnhanced = kWinEnhancedKey;
  const struct {
    WinKeyRecord record;  // virtual key, scan code, character, control state
    const char* key;
  } cases[] = {
      // Cursor keys: NUL and the scan code, a missing one taken from the virtual key; with
      // neither, no key.
      {{true, 0x25, 0, 0}, "00 75"},
      {{true, 0x28, 0, 0}, "00 80"},
      {{true, 0x24, 0, 0, kEnhanced}, "00 71"},  // Home
      {{true, 0x23, 0, 0}, "00 79"},             // End
      {{true, 'X', 0, u'x', kAlt}, "00 45"},
      {{true, 0, 0, 0}, "-"},
      // Modifiers and locks alone, and releases, give nothing.
      {{true, 0x10, 42, 0, kWinShiftPressed}, "-"},
      {{true, 0, 58, 0}, "-"},
      {{false, 'A', 30, u'a'}, "-"},
      // Characters as typed.
      {{true, 0x1B, 1, 0}, "27"},  // Esc as wine's console on a terminal gives it
      {{true, 'C', 46, 3, kWinLeftCtrlPressed}, "3"},
      {{true, 0, 0, u'\u00E9'}, "233"},
      {{true, 0x64, 75, u'4', kWinNumLockOn}, "52"},  // keypad 4 with Num Lock on
      // Alt with a letter: NUL and its scan code; not with a digit, nor AltGr.
      {{true, 'Q', 16, u'q', kWinRightAltPressed}, "00 16"},
      {{true, 'P', 25, 0, kAlt}, "00 25"},
      {{true, 'M', 50, u'm', kAlt}, "00 50"},
      {{true, 'L', 38, u'l', kAlt}, "00 38"},
      {{true, '1', 2, u'1', kAlt}, "49"},
      {{true, 'Q', 16, u'@', kWinRightAltPressed | kWinLeftCtrlPressed}, "64"},
      // Beyond the Basic Multilingual Plane: one '?'.
      {{true, 0, 0, 0xD83D}, "-"},
      {{true, 0, 0, 0xDE00}, "63"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Show(TranslateKey(c.record)), c.key)
        << c.record.virtual_key << " " << c.record.scan_code << " " << c.record.control_state;
  }
}

TEST(IsLineFeedOfCrLf, DropsOnlyTheLfRightAfterACr) {
  // U+0001 stands for an Extended key, which parts a CR and an LF.
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"w1aw\r\nKEY\r\n", u"w1aw\rKEY\r"}, {u"\n\r\r\n\n", u"\n\r\r\n"}, {u"\r\1\n", u"\r\1\n"}};
  for (const auto& [keys, kept] : cases) {
    bool after_cr = false;
    std::u16string left;
    for (const char16_t key : keys) {
      const WinKey win_key = key == 1 ? WinKey{WinKey::Kind::kExtended, 0, 72}
                                      : WinKey{WinKey::Kind::kCharacter, key, 0};
      if (!IsLineFeedOfCrLf(win_key, after_cr)) left += key;
    }
    EXPECT_EQ(left, kept);
  }
}

TEST(TranslateMouse, ButtonChangesMovesAndTheConsolesDoubleClicks) {
  const struct {
    WinMouseRecord record;
    std::vector<std::string> events;  // "kind button row,column"
  } steps[] = {
      {{5, 12, kWinLeftButton, 0}, {"4 1 3,5"}},
      {{5, 12, 0, 0}, {"8 1 3,5"}},
      {{5, 12, kWinLeftButton, kWinDoubleClick}, {"2 1 3,5"}},
      {{5, 12, 0, 0}, {"8 1 3,5"}},
      {{1, 10, kWinRightmostButton, 0}, {"4 2 1,1"}},
      {{1, 10, kWinSecondButton, 0}, {"8 2 1,1", "4 4 1,1"}},  // in button order
      {{4, 13, 0, kWinMouseMoved}, {"1 0 4,4"}},
      {{4, 13, kWinLeftButton, kWinMouseMoved}, {"1 1 4,4"}},
      {{4, 13, 0x00780000, kWinMouseWheeled}, {}},  // the high word is the distance
      {{4, 13, 0, 0}, {"8 1 4,4"}},                 // the buttons stayed through the wheel
  };
  std::uint32_t held = 0;
  for (const auto& step : steps) {
    std::vector<std::string> events;
    // Cells count from the window's top left at buffer cell (10, 1).
    for (const InputEvent& event : TranslateMouse(step.record, held, 1, 10)) {
      events.push_back(std::to_string(event.mouse_kind) + " " + std::to_string(event.mouse_button) +
                       " " + std::to_string(event.row) + "," + std::to_string(event.column));
    }
    EXPECT_EQ(events, step.events) << step.record.x << "," << step.record.y;
  }
}

TEST(CellCharacter, ControlCodesAsGlyphsAndWhatNeedsTwoUnitsAsQuestionMark) {
  const std::pair<char32_t, char16_t> cases[] = {
      {U'A', u'A'},          {U'\u2500', u'\u2500'}, {1, u'\u263A'},    {127, u'\u2302'},
      {U'\U0001F600', u'?'}, {0xD800, u'?'},         {0xFFFFFFFF, u'?'}};
  for (const auto& [character, unit] : cases) EXPECT_EQ(CellCharacter(character), unit);
}

}  // namespace
}  // namespace console
