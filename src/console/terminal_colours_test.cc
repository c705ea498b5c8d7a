#include "console/terminal_colours.h"

#include <gtest/gtest.h>

#include <string>

namespace console {
namespace {

TEST(DescribeColours, PaletteFromTheColourCountAndBlinkOnlyOnTheLinuxConsole) {
  const struct {
    const char* term;
    int colour_count;
    TerminalColours colours;
  } cases[] = {
      {"xterm-256color", 256, {Palette::kSixteen, false}},
      {"linux-16color", 16, {Palette::kSixteen, true}},
      {"vt100", 0, {Palette::kNone, false}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DescribeColours(c.term, c.colour_count), c.colours) << c.term << c.colour_count;
  }
}

TEST(ChooseCellStyle, EachPaletteShowsTheSixteenColoursAsBestItCan) {
  const TerminalColours sixteen{Palette::kSixteen, false}, eight{Palette::kEight, false};
  const TerminalColours linux_console{Palette::kEight, true}, none{Palette::kNone, false};
  const struct {
    TerminalColours colours;
    std::uint8_t attribute;
    const char* style;  // "fg/bg" plus b(old), k (blink) and r(everse)
  } cases[] = {
      {sixteen, 0x4E, "11/1"},  // every colour as it is
      {eight, 0x07, "7/0"},     // bright foregrounds in bold, the dark partner behind, no blink
      {eight, 0x4E, "3/1b"},          {eight, 0xE8, "0/3b"},
      {linux_console, 0x70, "0/7"},                         // blink is the bright background there
      {linux_console, 0x9F, "7/4bk"}, {none, 0x07, "7/0"},  // bold and reverse video stand in
      {none, 0x0F, "7/0b"},           {none, 0x70, "7/0r"},
  };
  for (const auto& c : cases) {
    const CellStyle style = ChooseCellStyle(c.attribute, c.colours);
    EXPECT_EQ(std::to_string(style.foreground) + "/" + std::to_string(style.background) +
                  (style.bold ? "b" : "") + (style.blink ? "k" : "") + (style.reverse ? "r" : ""),
              c.style)
        << static_cast<int>(c.attribute) << " " << static_cast<int>(c.colours.palette);
  }
}

}  // namespace
}  // namespace console
