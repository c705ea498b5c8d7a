#include "console/console.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "console/backend_memory.h"
#include "console/console_fixture.h"
#include "console/text.h"

namespace console {
namespace {

// --- start-up --------------------------------------------------------------------------

TEST_F(ConsoleTest, StartsWithTheTerminalSizeInSevenOnZero) {
  EXPECT_EQ(console_.rows(), kRows);
  EXPECT_EQ(console_.columns(), kColumns);
  EXPECT_EQ(console_.foreground(), 7);
  EXPECT_EQ(console_.background(), 0);
  EXPECT_EQ(console_.cursor_row(), 1);
  EXPECT_EQ(console_.cursor_column(), 1);
  EXPECT_TRUE(console_.cursor_visible());
  EXPECT_EQ(console_.cell(kRows, kColumns), (Cell{U' ', 0x07}));
}

TEST(ConsoleStart, TerminalWithoutSizeGivesTwentyFiveByEighty) {
  MemoryBackend backend({0, 0});
  Console console(backend);
  EXPECT_EQ(console.rows(), 25);
  EXPECT_EQ(console.columns(), 80);
}

// --- writing and the pending scroll -----------------------------------------------------

TEST_F(ConsoleTest, WritesCellsInCurrentColoursAndWrapsAtRowEnd) {
  console_.SetColors(14, 4);
  console_.MoveCursor(1, 65);
  console_.WriteText("ab\rc");
  EXPECT_EQ(console_.cell(1, 65), (Cell{U'a', 0x4E}));
  EXPECT_EQ(console_.cell(1, 66), (Cell{U'b', 0x4E}));
  EXPECT_EQ(console_.cell(2, 1), (Cell{U'\r', 0x4E}));  // nothing is interpreted
  EXPECT_EQ(console_.cell(2, 2).character, U'c');
  EXPECT_EQ(console_.cursor_row(), 2);
  EXPECT_EQ(console_.cursor_column(), 3);
}

TEST_F(ConsoleTest, MultiByteCharactersTakeOneCellEach) {
  console_.WriteText("\xC3\xA4\xE2\x82\xAC\xF0\x9F\x93\xBB!");
  EXPECT_EQ(Row(1).substr(0, 4), U"\u00E4\u20AC\U0001F4FB!");
  EXPECT_EQ(console_.cursor_column(), 5);
}

TEST_F(ConsoleTest, InvalidBytesShowAsReplacementWithoutGarblingWhatFollows) {
  console_.WriteText(
      "a\xFF"
      "b\xC3(c\xE2\x94x");
  EXPECT_EQ(Row(1).substr(0, 9), U"a\uFFFDb\uFFFD(c\uFFFD\uFFFDx");
}

TEST_F(ConsoleTest, BottomRowOfBlanksDoesNotScroll) {
  NumberRows();
  console_.MoveCursor(kRows, 1);
  console_.WriteText(std::string(kColumns, ' '));
  EXPECT_EQ(CountScrolls(), 0);
  EXPECT_EQ(Row(kRows), std::u32string(kColumns, U' '));
  EXPECT_EQ(console_.cursor_row(), kRows);
  EXPECT_EQ(console_.cursor_column(), 1);
}

struct AfterBottomRightCase {
  const char* name;
  void (*step)(Console&);
  int scrolls;
  int character_row;  // where the "x" written afterwards lands
};

TEST_F(ConsoleTest, WhatFollowsTheBottomRightCell) {
  const AfterBottomRightCase cases[] = {
      {"another character scrolls first", [](Console&) {}, 1, kRows},
      {"MoveCursor clears the pending scroll", [](Console& c) { c.MoveCursor(kRows, 1); }, 0,
       kRows},
      {"MoveCursor outside the screen clears it too", [](Console& c) { c.MoveCursor(0, 0); }, 0,
       kRows},
      {"ClearScreen clears it", [](Console& c) { c.ClearScreen(); }, -1, 1},
      {"empty text keeps it", [](Console& c) { c.WriteText(""); }, 1, kRows},
  };
  for (const AfterBottomRightCase& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    console_.ClearScreen();
    NumberRows();
    console_.MoveCursor(kRows, 1);
    console_.WriteText(std::string(kColumns, ' '));
    test_case.step(console_);
    console_.WriteText("x");
    EXPECT_EQ(CountScrolls(), test_case.scrolls);
    EXPECT_EQ(console_.cell(test_case.character_row, 1).character, U'x');
    EXPECT_EQ(console_.cursor_row(), test_case.character_row);
    EXPECT_EQ(console_.cursor_column(), 2);
  }
}

TEST_F(ConsoleTest, ScrollFillsTheBottomRowInCurrentColours) {
  console_.MoveCursor(kRows, 1);
  console_.WriteText(std::string(kColumns, 'z'));
  console_.SetColors(15, 1);
  console_.WriteText("y");
  EXPECT_EQ(Row(kRows - 1), std::u32string(kColumns, U'z'));
  EXPECT_EQ(console_.cell(kRows, 1), (Cell{U'y', 0x1F}));
  EXPECT_EQ(console_.cell(kRows, 2), (Cell{U' ', 0x1F}));
  EXPECT_EQ(console_.cell(kRows, kColumns), (Cell{U' ', 0x1F}));
}

// --- EndLine ----------------------------------------------------------------------------

struct EndLineCase {
  const char* name;
  int row;
  int column;
  std::string text;  // written at (row, column) before EndLine
  int scrolls;
  int cursor_row;
};

TEST_F(ConsoleTest, EndLine) {
  const EndLineCase cases[] = {
      {"middle row goes down", 10, 30, "ab", 0, 11},
      {"last column of a middle row wraps, then goes down", 10, 66, "a", 0, 12},
      {"bottom row scrolls once", kRows, 5, "ab", 1, kRows},
      {"bottom row with a pending scroll scrolls twice", kRows, 1, std::string(kColumns, '-'), 2,
       kRows},
  };
  for (const EndLineCase& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    console_.ClearScreen();
    NumberRows();
    console_.MoveCursor(test_case.row, test_case.column);
    console_.WriteText(test_case.text);
    console_.EndLine();
    EXPECT_EQ(CountScrolls(), test_case.scrolls);
    EXPECT_EQ(console_.cursor_row(), test_case.cursor_row);
    EXPECT_EQ(console_.cursor_column(), 1);
    // No scroll is left pending: the next character lands at the cursor.
    console_.WriteText("x");
    EXPECT_EQ(CountScrolls(), test_case.scrolls);
    EXPECT_EQ(console_.cell(test_case.cursor_row, 1).character, U'x');
  }
}

// --- MoveCursor, SetColors, ClearScreen ---------------------------------------------------

struct MoveCase {
  int row;
  int column;
  int expected_row;
  int expected_column;
};

TEST_F(ConsoleTest, MoveCursorKeepsEachCoordinateOutsideTheScreen) {
  const MoveCase cases[] = {
      {0, 5, 10, 5},    {44, 5, 10, 5}, {5, 0, 5, 20},    {5, 67, 5, 20},
      {-1, -1, 10, 20}, {1, 1, 1, 1},   {43, 66, 43, 66}, {44, 67, 10, 20},
  };
  for (const MoveCase& test_case : cases) {
    console_.MoveCursor(10, 20);
    console_.MoveCursor(test_case.row, test_case.column);
    EXPECT_EQ(console_.cursor_row(), test_case.expected_row)
        << test_case.row << "," << test_case.column;
    EXPECT_EQ(console_.cursor_column(), test_case.expected_column)
        << test_case.row << "," << test_case.column;
  }
}

struct ColorsCase {
  int foreground;
  int background;
  int expected_foreground;
  int expected_background;
};

TEST_F(ConsoleTest, SetColorsKeepsValuesOfSixteenOrMore) {
  const ColorsCase cases[] = {
      {16, 3, 7, 3}, {15, 1, 15, 1}, {0, 16, 0, 0}, {14, 4, 14, 4}, {99, 99, 7, 0}, {-1, -1, 7, 0},
  };
  for (const ColorsCase& test_case : cases) {
    console_.SetColors(7, 0);
    console_.SetColors(test_case.foreground, test_case.background);
    EXPECT_EQ(console_.foreground(), test_case.expected_foreground) << test_case.foreground;
    EXPECT_EQ(console_.background(), test_case.expected_background) << test_case.background;
  }
}

TEST_F(ConsoleTest, SetColorsAffectsOnlyWhatIsWrittenAfterwards) {
  console_.WriteText("a");
  console_.SetColors(16, 3);
  console_.WriteText("b");
  EXPECT_EQ(console_.cell(1, 1).attribute, 0x07);
  EXPECT_EQ(console_.cell(1, 2).attribute, 0x37);
}

TEST_F(ConsoleTest, ClearScreenBlanksInCurrentColoursAndHomesTheCursor) {
  console_.MoveCursor(20, 20);
  console_.WriteText("text");
  console_.SetColors(15, 1);
  console_.ClearScreen();
  for (int row = 1; row <= kRows; ++row) {
    for (int column = 1; column <= kColumns; ++column) {
      ASSERT_EQ(console_.cell(row, column), (Cell{U' ', 0x1F})) << row << "," << column;
    }
  }
  EXPECT_EQ(console_.cursor_row(), 1);
  EXPECT_EQ(console_.cursor_column(), 1);
}

// --- number format, rule --------------------------------------------------------------

struct NumberCase {
  double value;
  const char* text;
};

TEST(FormatNumber, Table) {
  const NumberCase cases[] = {
      {0, " 0 "},
      {-0.0, " 0 "},
      {7, " 7 "},
      {12.3, " 12.3 "},
      {0.5, " .5 "},
      {-0.5, "-.5 "},
      {-12, "-12 "},
      {0.42, " .42 "},
      {50, " 50 "},
      {1234567.125, " 1234567.125 "},
      {1.0 / 3, " .333333333333333 "},
      {2.0 / 3, " .666666666666667 "},
      {0.1 + 0.2, " .3 "},
      {0.00001, " .00001 "},
      {100.25, " 100.25 "},
      {999999999999999, " 999999999999999 "},
      {1e20, " 100000000000000000000 "},
      {123456789012345678.0, " 123456789012346000 "},
      {-98765.4321, "-98765.4321 "},
  };
  for (const NumberCase& test_case : cases) {
    EXPECT_EQ(FormatNumber(test_case.value), test_case.text) << test_case.value;
  }
}

TEST_F(ConsoleTest, WriteNumberWritesTheFormat) {
  console_.WriteNumber(-12);
  console_.WriteNumber(0.5);
  EXPECT_EQ(Row(1).substr(0, 9), U"-12  .5  ");
  EXPECT_EQ(console_.cursor_column(), 9);
}

TEST_F(ConsoleTest, HorizontalRuleIsBoxDrawingInUtf8) {
  EXPECT_EQ(HorizontalRule(3), "\xE2\x94\x80\xE2\x94\x80\xE2\x94\x80");
  EXPECT_EQ(HorizontalRule(0), "");
  EXPECT_EQ(HorizontalRule(-2), "");
  console_.WriteText(HorizontalRule(kColumns));
  EXPECT_EQ(Row(1), std::u32string(kColumns, U'\u2500'));
}

#ifndef _WIN32  // a Windows program cannot change its code page once it runs
TEST_F(ConsoleTest, HorizontalRuleIsDashWhereTheLocaleCannotEncodeIt) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  const std::string rule = HorizontalRule(2);
  ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
  EXPECT_EQ(rule, "--");
}
#endif

// --- pages, size, title -----------------------------------------------------------------

TEST_F(ConsoleTest, SelectPageWritesToOnePageAndShowsAnother) {
  console_.WriteText("one");
  console_.SelectPage(2, 1);
  EXPECT_EQ(console_.cell_on_page(2, kRows, kColumns), (Cell{U' ', 0x07}));
  console_.MoveCursor(1, 1);
  console_.WriteText("two");
  EXPECT_EQ(console_.cell_on_page(1, 1, 1).character, U'o');
  EXPECT_EQ(console_.cell_on_page(2, 1, 1).character, U't');
  console_.Flush();
  EXPECT_EQ(backend_.presented().at(0, 0).character, U'o');
  console_.SelectPage(2, 2);
  console_.Flush();
  EXPECT_EQ(backend_.presented().at(0, 0).character, U't');
  EXPECT_EQ(backend_.presented().rows, kRows);
  EXPECT_EQ(backend_.presented().columns, kColumns);
  console_.SelectPage(9, 0);  // outside 1 to 8: nothing changes
  console_.WriteText("!");
  EXPECT_EQ(console_.cell_on_page(2, 1, 4).character, U'!');
}

TEST(ConsoleSize, SetScreenSizeMakesEveryPageThatSizeInCurrentColours) {
  MemoryBackend backend({30, 100});
  Console console(backend);
  console.SelectPage(3, 1);
  console.MoveCursor(30, 100);
  console.WriteText("x");
  console.SetColors(15, 1);
  console.SetScreenSize(kRows, kColumns);
  EXPECT_EQ(console.rows(), kRows);
  EXPECT_EQ(console.columns(), kColumns);
  EXPECT_EQ(backend.requested_size(), (Size{kRows, kColumns}));
  for (const int page : {1, 3}) {
    EXPECT_EQ(console.cell_on_page(page, 1, 1), (Cell{U' ', 0x1F})) << page;
    EXPECT_EQ(console.cell_on_page(page, kRows, kColumns), (Cell{U' ', 0x1F})) << page;
  }
  EXPECT_LE(console.cursor_row(), kRows);
  EXPECT_LE(console.cursor_column(), kColumns);
  console.SelectPage(5, 5);
  console.Flush();
  EXPECT_EQ(backend.presented().rows, kRows);
  EXPECT_EQ(backend.presented().columns, kColumns);
  // The terminal's size no longer matters.
  backend.set_terminal_size({50, 120});
  console.Flush();
  EXPECT_EQ(backend.presented().columns, kColumns);
}

TEST_F(ConsoleTest, SetScreenSizeRefusesAnEmptyScreen) {
  console_.WriteText("x");
  console_.SetScreenSize(0, 66);
  console_.SetScreenSize(43, -1);
  EXPECT_EQ(console_.rows(), kRows);
  EXPECT_EQ(console_.columns(), kColumns);
  EXPECT_EQ(console_.cell(1, 1).character, U'x');
}

TEST_F(ConsoleTest, TitleAndFlushReachTheBackend) {
  console_.SetTitle("Statekeeper \xC3\xA4");
  EXPECT_EQ(backend_.title(), "Statekeeper \xC3\xA4");
  console_.SetCursorVisible(false);
  console_.WriteText("z");
  console_.Flush();
  EXPECT_EQ(backend_.present_count(), 1);
  EXPECT_FALSE(backend_.presented_cursor_visible());
  EXPECT_EQ(backend_.presented().at(0, 0).character, U'z');
}

TEST(MemoryBackendDeathTest, WaitWithoutTimeLimitOnAnEmptyScriptStops) {
  MemoryBackend backend;
  EXPECT_DEATH((void)backend.ReadEvent(std::nullopt), "script empty");
}

}  // namespace
}  // namespace console
