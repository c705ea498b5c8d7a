#include "console/terminal_colours.h"

namespace console {
namespace {

// Console colour numbers to ANSI colour numbers: the two palettes swap blue and red, cyan
// and brown. The dark half maps to the dark half, so the dark partner of an ANSI colour is
// that number & 7.
constexpr int kAnsiColour[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};

constexpr int kBright = 8;

}  // namespace

TerminalColours DescribeColours(std::string_view term, int colour_count) {
  TerminalColours colours;
  if (colour_count >= 16) {
    colours.palette = Palette::kSixteen;
  } else if (colour_count > 0) {
    colours.palette = Palette::kEight;
  }
  colours.blink_brightens_background = term.starts_with("linux");
  return colours;
}

CellStyle ChooseCellStyle(std::uint8_t attribute, TerminalColours colours) {
  const int foreground = attribute & 15;
  const int background = attribute >> 4;
  CellStyle style;
  switch (colours.palette) {
    case Palette::kSixteen:
      style.foreground = kAnsiColour[foreground];
      style.background = kAnsiColour[background];
      break;
    case Palette::kEight:
      style.foreground = kAnsiColour[foreground] & 7;
      style.background = kAnsiColour[background] & 7;
      style.bold = foreground >= kBright;
      style.blink = background >= kBright && colours.blink_brightens_background;
      break;
    case Palette::kNone:
      style.bold = foreground >= kBright;
      style.reverse = background != 0;
      break;
  }
  return style;
}

}  // namespace console
