// What the Windows console backend decides on its own, as pure functions of plain values:
// which Key string a console key record gives, which mouse events a console mouse record
// gives, and how a cell's character is written as UTF-16 (what it shares with the other
// backends is console/paint_record.h). The
// values of the console's input records are spelled out here, so that every rule is tested
// on any platform, without a console.
#ifndef STATEKEEPER_CONSOLE_WINDOWS_TRANSLATE_H_
#define STATEKEEPER_CONSOLE_WINDOWS_TRANSLATE_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "console/backend.h"

namespace console {

// Bits of a key record's control key state.
inline constexpr std::uint32_t kWinRightAltPressed = 0x0001;
inline constexpr std::uint32_t kWinLeftAltPressed = 0x0002;
inline constexpr std::uint32_t kWinRightCtrlPressed = 0x0004;
inline constexpr std::uint32_t kWinLeftCtrlPressed = 0x0008;
inline constexpr std::uint32_t kWinShiftPressed = 0x0010;
inline constexpr std::uint32_t kWinNumLockOn = 0x0020;
inline constexpr std::uint32_t kWinEnhancedKey = 0x0100;

// Bits of a mouse record's button state, and its event flags (0: a button changed).
inline constexpr std::uint32_t kWinLeftButton = 0x0001;
inline constexpr std::uint32_t kWinRightmostButton = 0x0002;
inline constexpr std::uint32_t kWinSecondButton = 0x0004;
inline constexpr std::uint32_t kWinMouseMoved = 0x0001;
inline constexpr std::uint32_t kWinDoubleClick = 0x0002;
inline constexpr std::uint32_t kWinMouseWheeled = 0x0004;
inline constexpr std::uint32_t kWinMouseHorizontalWheeled = 0x0008;

// The fields of a console key event record.
struct WinKeyRecord {
  bool key_down = true;
  std::uint16_t virtual_key = 0;
  std::uint16_t scan_code = 0;
  char16_t character = 0;
  std::uint32_t control_state = 0;
};

// What a key record gives: a character (to be put into the ANSI code page by the caller)
// or an Extended key (NUL and the scan code).
struct WinKey {
  enum class Kind { kCharacter, kExtended };
  Kind kind = Kind::kCharacter;
  char16_t character = 0;
  unsigned char scan_code = 0;

  friend bool operator==(const WinKey&, const WinKey&) = default;
};

// The key that a key record gives, or nothing: for releases; for Ctrl, Shift, Alt, Caps
// Lock, Num Lock and Scroll Lock on their own; for the first half of a character outside
// the Basic Multilingual Plane (the second half gives '?', which is what such a character
// becomes in the ANSI code page anyway); and for a record with neither a character nor a
// scan code. Alt with a letter key gives NUL and the letter's scan code, unless Ctrl is
// held as well and the key has a character (AltGr, which types characters such as @ on
// many keyboards). A scan code of 0 (some consoles send one) is worked out from the
// virtual key where it names a key of the PC keyboard, and an Esc without its character
// (as wine's console on a terminal gives it) is still 27. The enhanced-key flag changes
// nothing: the grey arrows and the keypad's arrows with Num Lock off share scan codes.
[[nodiscard]] std::optional<WinKey> TranslateKey(const WinKeyRecord& record);

// Whether `key` is the LF of a CR LF that came in together, as a line pasted from a
// clipboard does where the console passes the pair on as two keys: the CR has already
// given the Enter, so the LF is to be dropped. `after_cr` tells whether the key before
// `key` in the same input was a CR, and is updated for the next key; the caller sets it
// to false when the input runs dry. A lone LF or CR is kept.
[[nodiscard]] bool IsLineFeedOfCrLf(const WinKey& key, bool& after_cr);

// The fields of a console mouse event record; x and y are the cell in the screen buffer,
// from 0.
struct WinMouseRecord {
  int x = 0;
  int y = 0;
  std::uint32_t button_state = 0;
  std::uint32_t event_flags = 0;
};

// The mouse events that a mouse record gives, with rows and columns from 1 counted from
// the cell (origin_x, origin_y) of the buffer. `held_buttons` is the button state of the
// previous record and is updated: a record with no flags reports the buttons that changed
// since (each pressed one as kMousePressed, each released one as kMouseReleased). A
// double-click is reported by the console itself and gives kMouseDoubleClick for the
// button that went down; a movement gives kMouseMoved with the lowest held button (0 when
// none is held). Wheel records give nothing. Which of these reach the program is the
// console model's business.
[[nodiscard]] std::vector<InputEvent> TranslateMouse(const WinMouseRecord& record,
                                                     std::uint32_t& held_buttons, int origin_x,
                                                     int origin_y);

// The UTF-16 character that shows `character` in a console cell: control codes and DEL
// as ChooseGlyph shows them, characters outside the Basic Multilingual Plane (which would
// need two cells' worth of UTF-16) and invalid ones as '?'.
[[nodiscard]] char16_t CellCharacter(char32_t character);

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_WINDOWS_TRANSLATE_H_
