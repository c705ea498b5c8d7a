#include "console/terminal_colours.h"

#include <gtest/gtest.h>

#include <iterator>

namespace console {
namespace {

struct DescribeCase {
  const char* term;
  int colour_count;
  TerminalColours colours;
};

TEST(DescribeColours, PaletteFromTheColourCountAndBlinkOnlyOnTheLinuxConsole) {
  const DescribeCase cases[] = {
      {"xterm-256color", 256, {Palette::kSixteen, false}},
      {"tmux-256color", 256, {Palette::kSixteen, false}},
      {"xterm-16color", 16, {Palette::kSixteen, false}},
      {"linux-16color", 16, {Palette::kSixteen, true}},
      {"xterm", 8, {Palette::kEight, false}},
      {"screen", 8, {Palette::kEight, false}},
      {"rxvt", 8, {Palette::kEight, false}},
      {"linux", 8, {Palette::kEight, true}},
      {"linux-c", 8, {Palette::kEight, true}},
      {"vt100", 0, {Palette::kNone, false}},
      {"", 8, {Palette::kEight, false}},
  };
  for (const DescribeCase& test_case : cases) {
    EXPECT_EQ(DescribeColours(test_case.term, test_case.colour_count), test_case.colours)
        << test_case.term << " " << test_case.colour_count;
  }
}

struct StyleCase {
  const char* name;
  std::uint8_t attribute;
  CellStyle style;
};

void ExpectStyles(TerminalColours colours, const StyleCase* begin, const StyleCase* end) {
  for (const StyleCase* test_case = begin; test_case != end; ++test_case) {
    const CellStyle style = ChooseCellStyle(test_case->attribute, colours);
    SCOPED_TRACE(test_case->name);
    EXPECT_EQ(style.foreground, test_case->style.foreground);
    EXPECT_EQ(style.background, test_case->style.background);
    EXPECT_EQ(style.bold, test_case->style.bold);
    EXPECT_EQ(style.blink, test_case->style.blink);
    EXPECT_EQ(style.reverse, test_case->style.reverse);
  }
}

TEST(ChooseCellStyle, SixteenColoursShowEveryColourAsItIs) {
  const StyleCase cases[] = {
      {"light grey on black", 0x07, {7, 0}},  {"bright white on blue", 0x1F, {15, 4}},
      {"yellow on red", 0x4E, {11, 1}},       {"black on bright white", 0xF0, {0, 15}},
      {"bright blue on cyan", 0x39, {12, 6}},
  };
  ExpectStyles({Palette::kSixteen, false}, std::begin(cases), std::end(cases));
  ExpectStyles({Palette::kSixteen, true}, std::begin(cases), std::end(cases));
}

TEST(ChooseCellStyle, EightColoursBrightenTheForegroundInBoldAndNeverBlink) {
  const StyleCase cases[] = {
      {"light grey on black", 0x07, {7, 0}},
      {"bright white on blue", 0x1F, {7, 4, true}},
      {"yellow on red", 0x4E, {3, 1, true}},
      {"black on bright white: the dark partner", 0xF0, {0, 7}},
      {"light grey on dark grey", 0x87, {7, 0}},
      {"bright white on bright blue", 0x9F, {7, 4, true}},
      {"dark grey on bright yellow", 0xE8, {0, 3, true}},
  };
  ExpectStyles({Palette::kEight, false}, std::begin(cases), std::end(cases));
}

TEST(ChooseCellStyle, OnTheLinuxConsoleBlinkIsTheBrightBackground) {
  const StyleCase cases[] = {
      {"light grey on black", 0x07, {7, 0}},
      {"bright white on blue", 0x1F, {7, 4, true}},
      {"black on bright white", 0xF0, {0, 7, false, true}},
      {"black on light grey", 0x70, {0, 7}},
      {"bright white on bright blue", 0x9F, {7, 4, true, true}},
  };
  ExpectStyles({Palette::kEight, true}, std::begin(cases), std::end(cases));
}

TEST(ChooseCellStyle, WithoutColoursBoldAndReverseVideoStandIn) {
  const StyleCase cases[] = {
      {"light grey on black", 0x07, {7, 0}},
      {"bright white on black", 0x0F, {7, 0, true}},
      {"black on light grey", 0x70, {7, 0, false, false, true}},
      {"bright white on blue", 0x1F, {7, 0, true, false, true}},
  };
  ExpectStyles({Palette::kNone, false}, std::begin(cases), std::end(cases));
  ExpectStyles({Palette::kNone, true}, std::begin(cases), std::end(cases));
}

}  // namespace
}  // namespace console
