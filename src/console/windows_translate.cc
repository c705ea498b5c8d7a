#include "console/windows_translate.h"

#include <algorithm>
#include <array>

#include "console/paint_record.h"

namespace console {
namespace {

// Scan codes of the keys that give nothing on their own: Ctrl, left Shift, right Shift, Alt,
// Caps Lock, Num Lock, Scroll Lock.
constexpr std::array<std::uint16_t, 7> kModifierScanCodes = {29, 42, 54, 56, 58, 69, 70};

// Virtual keys of the same keys (both sides), for consoles that give no scan code.
bool IsModifierVirtualKey(std::uint16_t virtual_key) {
  switch (virtual_key) {
    case 0x10:  // VK_SHIFT
    case 0x11:  // VK_CONTROL
    case 0x12:  // VK_MENU
    case 0x14:  // VK_CAPITAL
    case 0x90:  // VK_NUMLOCK
    case 0x91:  // VK_SCROLL
    case 0xA0:  // VK_LSHIFT
    case 0xA1:  // VK_RSHIFT
    case 0xA2:  // VK_LCONTROL
    case 0xA3:  // VK_RCONTROL
    case 0xA4:  // VK_LMENU
    case 0xA5:  // VK_RMENU
      return true;
    default:
      return false;
  }
}

bool IsLetterScanCode(std::uint16_t scan_code) {
  return (scan_code >= 16 && scan_code <= 25) || (scan_code >= 30 && scan_code <= 38) ||
         (scan_code >= 44 && scan_code <= 50);
}

// The PC keyboard's scan code for a virtual key, or 0 when there is none worth giving.
std::uint16_t ScanCodeOfVirtualKey(std::uint16_t virtual_key) {
  // Letters A to Z on the keyboard's positions (set 1 scan codes).
  static constexpr std::array<std::uint8_t, 26> kLetters = {30, 48, 46, 32, 18, 33, 34, 35, 23,
                                                            36, 37, 38, 50, 49, 24, 25, 16, 19,
                                                            31, 20, 22, 47, 17, 45, 21, 44};
  if (virtual_key >= 'A' && virtual_key <= 'Z') return kLetters[virtual_key - 'A'];
  if (virtual_key >= 0x70 && virtual_key <= 0x79) return 59 + (virtual_key - 0x70);  // F1-F10
  switch (virtual_key) {
    case 0x21:
      return 73;  // VK_PRIOR
    case 0x22:
      return 81;  // VK_NEXT
    case 0x23:
      return 79;  // VK_END
    case 0x24:
      return 71;  // VK_HOME
    case 0x25:
      return 75;  // VK_LEFT
    case 0x26:
      return 72;  // VK_UP
    case 0x27:
      return 77;  // VK_RIGHT
    case 0x28:
      return 80;  // VK_DOWN
    case 0x2D:
      return 82;  // VK_INSERT
    case 0x2E:
      return 83;  // VK_DELETE
    case 0x7A:
      return 87;  // VK_F11
    case 0x7B:
      return 88;  // VK_F12
    default:
      return 0;
  }
}

// Console button bits with the button numbers of mouse events, lowest bit first.
struct ButtonBit {
  std::uint32_t console_bit;
  int button;
};
constexpr std::array<ButtonBit, 3> kButtons = {{{kWinLeftButton, kMouseLeft},
                                                {kWinRightmostButton, kMouseRight},
                                                {kWinSecondButton, kMouseMiddle}}};
constexpr std::uint32_t kKnownButtons = kWinLeftButton | kWinRightmostButton | kWinSecondButton;

int LowestButton(std::uint32_t bits) {
  for (const ButtonBit& b : kButtons) {
    if ((bits & b.console_bit) != 0) return b.button;
  }
  return 0;
}

}  // namespace

std::optional<WinKey> TranslateKey(const WinKeyRecord& record) {
  if (!record.key_down) return std::nullopt;
  if (IsModifierVirtualKey(record.virtual_key)) return std::nullopt;
  if (std::find(kModifierScanCodes.begin(), kModifierScanCodes.end(), record.scan_code) !=
          kModifierScanCodes.end() &&
      record.character == 0) {
    return std::nullopt;
  }
  std::uint16_t scan_code = record.scan_code;
  if (scan_code == 0) scan_code = ScanCodeOfVirtualKey(record.virtual_key);

  const bool alt = (record.control_state & (kWinLeftAltPressed | kWinRightAltPressed)) != 0;
  const bool ctrl = (record.control_state & (kWinLeftCtrlPressed | kWinRightCtrlPressed)) != 0;
  const bool alt_graph = alt && ctrl && record.character >= 32;
  if (alt && !alt_graph && IsLetterScanCode(scan_code)) {
    return WinKey{WinKey::Kind::kExtended, 0, static_cast<unsigned char>(scan_code)};
  }
  char16_t character = record.character;
  // Esc is a character key; wine's console on a terminal sends it without the character.
  if (character == 0 && record.virtual_key == 0x1B) character = 27;
  if (character != 0) {
    if (character >= 0xD800 && character <= 0xDBFF) return std::nullopt;
    if (character >= 0xDC00 && character <= 0xDFFF) {
      return WinKey{WinKey::Kind::kCharacter, u'?', 0};
    }
    return WinKey{WinKey::Kind::kCharacter, character, 0};
  }
  if (scan_code == 0 || scan_code > 255) return std::nullopt;
  return WinKey{WinKey::Kind::kExtended, 0, static_cast<unsigned char>(scan_code)};
}

bool IsLineFeedOfCrLf(const WinKey& key, bool& after_cr) {
  const bool character = key.kind == WinKey::Kind::kCharacter;
  const bool drop = after_cr && character && key.character == u'\n';
  after_cr = character && key.character == u'\r';
  return drop;
}

std::vector<InputEvent> TranslateMouse(const WinMouseRecord& record, std::uint32_t& held_buttons,
                                       int origin_x, int origin_y) {
  const std::uint32_t buttons = record.button_state & kKnownButtons;
  const std::uint32_t previous = held_buttons;
  std::vector<InputEvent> events;
  auto add = [&](int kind, int button) {
    InputEvent event;
    event.type = InputEvent::Type::kMouse;
    event.mouse_kind = kind;
    event.mouse_button = button;
    event.row = record.y - origin_y + 1;
    event.column = record.x - origin_x + 1;
    events.push_back(event);
  };
  if ((record.event_flags & (kWinMouseWheeled | kWinMouseHorizontalWheeled)) != 0) {
    return events;  // the wheel leaves the buttons as they were
  }
  held_buttons = buttons;
  if ((record.event_flags & kWinDoubleClick) != 0) {
    const std::uint32_t went_down = buttons & ~previous;
    const int button = LowestButton(went_down != 0 ? went_down : buttons);
    if (button != 0) add(kMouseDoubleClick, button);
    return events;
  }
  if ((record.event_flags & kWinMouseMoved) != 0) {
    add(kMouseMoved, LowestButton(buttons));
    return events;
  }
  for (const ButtonBit& b : kButtons) {
    const bool now_down = (buttons & b.console_bit) != 0;
    const bool was_down = (previous & b.console_bit) != 0;
    if (now_down && !was_down) add(kMousePressed, b.button);
    if (!now_down && was_down) add(kMouseReleased, b.button);
  }
  return events;
}

char16_t CellCharacter(char32_t character) {
  character = ChooseGlyph(character);
  if (character > 0xFFFF || (character >= 0xD800 && character <= 0xDFFF)) return u'?';
  return static_cast<char16_t>(character);
}

}  // namespace console
