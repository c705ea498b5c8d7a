// How a terminal shows the console's sixteen colours, as a pure function of what the
// terminal is (its TERM name and how many colours it has), so that the rule is tested on
// any platform. The console numbers its colours as a Windows console does (1 blue, 4 red;
// 8 to 15 the bright ones); a terminal numbers them the ANSI way (1 red, 4 blue).
//
// A terminal with sixteen colours or more shows each colour as it is. One with eight shows
// a bright foreground as its dark colour in bold, which terminals draw brighter. A bright
// background has no such attribute: blink is one only on the Linux console, which shows it
// as a bright background; everywhere else it makes the text blink, so a bright background
// falls back to its dark partner (15 to 7, 9 to 1) and nothing ever blinks. A terminal
// without colours shows a bright foreground in bold and any background but black in
// reverse video.
#ifndef STATEKEEPER_CONSOLE_TERMINAL_COLOURS_H_
#define STATEKEEPER_CONSOLE_TERMINAL_COLOURS_H_

#include <cstdint>
#include <string_view>

namespace console {

enum class Palette { kNone, kEight, kSixteen };

// What a terminal can show of colour.
struct TerminalColours {
  Palette palette = Palette::kNone;
  // Blink shows as a bright background rather than as blinking (the Linux console).
  bool blink_brightens_background = false;

  friend bool operator==(const TerminalColours&, const TerminalColours&) = default;
};

// The colours of a terminal of type `term` (the TERM variable) with `colour_count` colours
// (0 when it has none): sixteen at 16 or more, eight below, none at 0. Blink brightens the
// background on the Linux console, whose terminal types are "linux" and its variants
// ("linux-c", "linux2.6" ...).
[[nodiscard]] TerminalColours DescribeColours(std::string_view term, int colour_count);

// How a cell is drawn: ANSI colour numbers (0 to 15; 0 to 7 on eight colours; unused
// without colours) and the attributes that stand in for what the colours cannot show.
struct CellStyle {
  int foreground = 7;
  int background = 0;
  bool bold = false;
  bool blink = false;
  bool reverse = false;

  friend bool operator==(const CellStyle&, const CellStyle&) = default;
};

// The style of a cell with the console attribute `attribute` (background x 16 + foreground)
// on a terminal with `colours`.
[[nodiscard]] CellStyle ChooseCellStyle(std::uint8_t attribute, TerminalColours colours);

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_TERMINAL_COLOURS_H_
