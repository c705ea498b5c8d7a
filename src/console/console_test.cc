// The console model over a memory backend: cells, the pending scroll, pages, input with its
// time limit and mouse setting, and the line editor.
#include "console/console.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "console/backend_memory.h"
#include "console/line_editor.h"
#include "console/text.h"

namespace console {
namespace {

constexpr int kRows = 43;
constexpr int kColumns = 66;

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
    ASSERT_EQ(EncodeCharacter(U'\u00E9'), "\xC3\xA9") << "the tests need a UTF-8 locale";
  }
  // The characters of `row` on the output page.
  std::u32string Row(int row) const {
    std::u32string text;
    for (int column = 1; column <= kColumns; ++column) text += console_.cell(row, column).character;
    return text;
  }
  // Writes each row's number at its start, so that scrolls can be counted.
  void NumberRows() {
    for (int row = 1; row <= kRows; ++row) {
      console_.MoveCursor(row, 1);
      console_.WriteText(std::to_string(row));
    }
  }
  // How many rows the numbered screen has moved up.
  int CountScrolls() const {
    for (int shift = 0; shift < kRows; ++shift) {
      const std::string number = std::to_string(1 + shift);
      if (Row(1).substr(0, Row(1).find(U' ')) == std::u32string(number.begin(), number.end())) {
        return shift;
      }
    }
    return -1;
  }

  MemoryBackend backend_{{kRows, kColumns}};
  Console console_{backend_};
};

TEST_F(ConsoleTest, StartsInSevenOnZeroAtTheTerminalsSizeOrTwentyFiveByEighty) {
  EXPECT_EQ(console_.rows(), kRows);
  EXPECT_EQ(console_.columns(), kColumns);
  EXPECT_EQ(console_.cell(kRows, kColumns), (Cell{U' ', 0x07}));
  EXPECT_EQ(console_.cursor_row() * 100 + console_.cursor_column(), 101);
  MemoryBackend no_size({0, 0});
  const Console console(no_size);
  EXPECT_EQ(console.rows() * 1000 + console.columns(), 25080);
}

TEST_F(ConsoleTest, WritesCharactersAsTheyAreInCurrentColoursAndWraps) {
  console_.SetColors(14, 4);
  console_.MoveCursor(1, 65);
  console_.WriteText("ab\rc");
  EXPECT_EQ(console_.cell(1, 66), (Cell{U'b', 0x4E}));
  EXPECT_EQ(console_.cell(2, 1), (Cell{U'\r', 0x4E}));  // nothing is interpreted
  EXPECT_EQ(console_.cursor_column(), 3);
  console_.MoveCursor(3, 1);
  console_.WriteText("\xC3\xA4\xF0\x9F\x93\xBB a\377b\xC3(\xE2\x94x");
  EXPECT_EQ(Row(3).substr(0, 10), U"\u00E4\U0001F4FB a\uFFFDb\uFFFD(\uFFFD\uFFFD");
  console_.MoveCursor(kRows, 1);
  console_.WriteText(std::string(kColumns, 'z'));
  console_.SetColors(15, 1);
  console_.WriteText("y");  // the scroll fills the new row in the current colours
  EXPECT_EQ(Row(kRows - 1), std::u32string(kColumns, U'z'));
  EXPECT_EQ(console_.cell(kRows, kColumns), (Cell{U' ', 0x1F}));
}

// Text written at (row, column), then a step, then "x": how often the screen scrolled and
// where the "x" landed.
TEST_F(ConsoleTest, TheScreenScrollsOnlyWhenSomethingFollowsTheBottomRightCell) {
  const std::string blanks(kColumns, ' ');
  const struct {
    const char* name;
    int row, column;
    std::string text;
    void (*step)(Console&);
    int scrolls, x_row, x_column;
  } cases[] = {
      {"another character", kRows, 1, blanks, [](Console&) {}, 1, kRows, 1},
      {"MoveCursor clears it", kRows, 1, blanks, [](Console& c) { c.MoveCursor(kRows, 1); }, 0,
       kRows, 1},
      {"so does a move outside", kRows, 1, blanks, [](Console& c) { c.MoveCursor(0, 0); }, 0, kRows,
       1},
      {"ClearScreen clears it", kRows, 1, blanks, [](Console& c) { c.ClearScreen(); }, -1, 1, 1},
      {"empty text keeps it", kRows, 1, blanks, [](Console& c) { c.WriteText(""); }, 1, kRows, 1},
      {"EndLine goes down", 10, 30, "ab", [](Console& c) { c.EndLine(); }, 0, 11, 1},
      {"EndLine after the last column", 10, 66, "a", [](Console& c) { c.EndLine(); }, 0, 12, 1},
      {"EndLine on the bottom row", kRows, 5, "ab", [](Console& c) { c.EndLine(); }, 1, kRows, 1},
      {"EndLine with a pending scroll", kRows, 1, blanks, [](Console& c) { c.EndLine(); }, 2, kRows,
       1},
      {"EraseBackward takes it back", kRows, 1, blanks, [](Console& c) { c.EraseBackward(); }, 0,
       kRows, kColumns},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    console_.ClearScreen();
    NumberRows();
    console_.MoveCursor(c.row, c.column);
    console_.WriteText(c.text);
    c.step(console_);
    console_.WriteText("x");
    EXPECT_EQ(CountScrolls(), c.scrolls);
    EXPECT_EQ(console_.cell(c.x_row, c.x_column).character, U'x');
  }
}

TEST_F(ConsoleTest, MoveCursorAndSetColorsKeepWhatIsOutOfRange) {
  const int moves[][4] = {{0, 5, 10, 5},    {44, 5, 10, 5}, {5, 0, 5, 20},   {5, 67, 5, 20},
                          {-1, -1, 10, 20}, {1, 1, 1, 1},   {43, 66, 43, 66}};
  for (const auto& m : moves) {
    console_.MoveCursor(10, 20);
    console_.MoveCursor(m[0], m[1]);
    EXPECT_EQ(console_.cursor_row() * 100 + console_.cursor_column(), m[2] * 100 + m[3])
        << m[0] << "," << m[1];
  }
  const int colours[][4] = {{16, 3, 7, 3}, {15, 1, 15, 1}, {0, 16, 0, 0}, {-1, -1, 7, 0}};
  for (const auto& c : colours) {
    console_.SetColors(7, 0);
    console_.SetColors(c[0], c[1]);
    EXPECT_EQ(console_.foreground() * 100 + console_.background(), c[2] * 100 + c[3]) << c[0];
  }
  console_.SetColors(15, 1);
  console_.ClearScreen();  // in the current colours, the cursor home
  EXPECT_EQ(console_.cell(kRows, kColumns), (Cell{U' ', 0x1F}));
  EXPECT_EQ(console_.cursor_row() * 100 + console_.cursor_column(), 101);
}

TEST(FormatNumber, FifteenSignificantDigitsWithoutExponentOrLeadingZero) {
  const std::pair<double, const char*> cases[] = {{0, " 0 "},
                                                  {-0.0, " 0 "},
                                                  {12.3, " 12.3 "},
                                                  {0.5, " .5 "},
                                                  {-0.5, "-.5 "},
                                                  {-12, "-12 "},
                                                  {50, " 50 "},
                                                  {0.00001, " .00001 "},
                                                  {1.0 / 3, " .333333333333333 "},
                                                  {0.1 + 0.2, " .3 "},
                                                  {1e20, " 100000000000000000000 "},
                                                  {123456789012345678.0, " 123456789012346000 "}};
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatNumber(value), text) << value;
}

TEST_F(ConsoleTest, WriteNumberAndTheRule) {
  console_.WriteNumber(-12);
  console_.WriteText(HorizontalRule(2) + HorizontalRule(0));
  EXPECT_EQ(Row(1).substr(0, 7), U"-12 \u2500\u2500 ");
#ifndef _WIN32  // a Windows program cannot change its code page once it runs
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  const std::string rule = HorizontalRule(2);
  ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
  EXPECT_EQ(rule, "--");
#endif
}

TEST_F(ConsoleTest, PagesSizeTitleAndCursorReachTheBackendOnFlush) {
  console_.WriteText("one");
  console_.SelectPage(2, 1);
  console_.MoveCursor(1, 1);
  console_.WriteText("two");
  console_.SetCursorVisible(false);
  console_.SetTitle("Statekeeper \xC3\xA4");
  console_.Flush();
  EXPECT_EQ(backend_.presented().at(0, 0).character, U'o');
  EXPECT_FALSE(backend_.presented_cursor_visible());
  EXPECT_EQ(backend_.title(), "Statekeeper \xC3\xA4");
  console_.SelectPage(2, 2);
  console_.SelectPage(9, 0);  // outside 1 to 8: nothing changes
  console_.WriteText("!");
  console_.Flush();
  EXPECT_EQ(backend_.presented().at(0, 0).character, U't');
  EXPECT_EQ(backend_.presented().at(0, 3).character, U'!');

  console_.SetScreenSize(0, 66);  // refused
  console_.SetScreenSize(43, -1);
  EXPECT_EQ(console_.rows(), kRows);
  console_.SetColors(15, 1);
  console_.SetScreenSize(20, 30);  // every page blank in the current colours
  EXPECT_EQ(backend_.requested_size(), (Size{20, 30}));
  console_.SelectPage(1, 1);
  console_.Flush();
  EXPECT_EQ(backend_.presented().rows * 100 + backend_.presented().columns, 2030);
  EXPECT_EQ(backend_.presented().at(0, 0), (Cell{U' ', 0x1F}));
}

TEST(MemoryBackendDeathTest, WaitWithoutTimeLimitOnAnEmptyScriptStops) {
  MemoryBackend backend;
  EXPECT_DEATH((void)backend.ReadEvent(std::nullopt), "script empty");
}

// --- input ----------------------------------------------------------------------------------

TEST(KeyStrings, ExtendedAndMouse) {
  EXPECT_TRUE(IsExtendedKey(std::string("\0K", 2), kScanLeft));
  EXPECT_FALSE(IsExtendedKey(std::string("\0M", 2), kScanLeft));
  EXPECT_FALSE(IsExtendedKey("K", kScanLeft));
  EXPECT_TRUE(IsMouseEvent("\xFF\xFF\x04\x01"));
  EXPECT_FALSE(IsMouseEvent("\xFF\xFF\x04"));
  EXPECT_FALSE(IsMouseEvent("\xFF\xFE\x04\x01"));
}

TEST_F(ConsoleTest, WaitKeyWaitsUpToItsLimitOnTheBackendClock) {
  const struct {
    const char* name;
    std::int64_t pause_ms;
    int time_limit_ms;
    const char* key;
    std::int64_t elapsed_ms;
  } cases[] = {
      {"key before the deadline", 1000, 3000, "a", 1000},
      {"key at the deadline", 3000, 3000, "a", 3000},
      {"key after the deadline", 3001, 3000, "", 3000},
      {"0 is no limit", 3600000, 0, "a", 3600000},
      {"a negative limit has passed", 10, -5, "", 0},
      {"but still takes a waiting key", 0, -5, "a", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryBackend backend;
    Console console(backend);
    if (c.pause_ms > 0) backend.AddPause(c.pause_ms);
    backend.AddKey("a");
    EXPECT_EQ(console.WaitKey(c.time_limit_ms), c.key);
    EXPECT_EQ(console.NowMs(), c.elapsed_ms);
  }
  // A key that came after a time-out is found by the next wait; the screen shows first.
  console_.WriteText("hi");
  backend_.AddPause(5000);
  backend_.AddKey("k");
  EXPECT_EQ(console_.WaitKey(3000), "");
  EXPECT_EQ(backend_.presented().at(0, 1).character, U'i');
  EXPECT_EQ(backend_.presented_cursor_column(), 3);
  EXPECT_EQ(console_.WaitKey(0), "k");
}

TEST_F(ConsoleTest, OnlyEnabledMouseEventsAreReportedAndReadKeyTakesNone) {
  backend_.AddMouse(kMousePressed, kMouseLeft, 3, 4);  // not enabled yet
  backend_.AddKey("a");
  EXPECT_EQ(console_.WaitKey(0), "a");
  console_.EnableMouse(kMouseLeft, kMousePressed | kMouseDoubleClick);
  EXPECT_TRUE(backend_.mouse_reporting());
  const struct {
    int kind, button;
    std::string key;  // "" when the event is dropped
  } cases[] = {
      {kMousePressed, kMouseLeft, "\xFF\xFF\x04\x01"},
      {kMouseDoubleClick, kMouseLeft, "\xFF\xFF\x02\x01"},
      {kMouseReleased, kMouseLeft, ""},
      {kMousePressed, kMouseRight, ""},
  };
  int row = 1, last_reported = 0;
  for (const auto& c : cases) {
    ++row;
    backend_.AddMouse(c.kind, c.button, row, 2 * row);
    EXPECT_EQ(console_.WaitKey(100), c.key) << row;
    if (!c.key.empty()) last_reported = row;
    EXPECT_EQ(console_.mouse_position().row, last_reported);
  }
  // A dropped event does not end the wait.
  backend_.AddMouse(kMousePressed, kMouseRight, 3, 4);
  backend_.AddMouse(kMousePressed, kMouseLeft, 7, 8);
  EXPECT_EQ(console_.WaitKey(1000), "\xFF\xFF\x04\x01");
  EXPECT_EQ(console_.mouse_position().column, 8);
  backend_.AddMouse(kMousePressed, kMouseLeft, 9, 9);
  backend_.AddKey("");
  backend_.AddExtendedKey(kScanLeft);
  EXPECT_TRUE(IsExtendedKey(console_.ReadKey(), kScanLeft));
  EXPECT_EQ(console_.mouse_position().row, 7);
  console_.EnableMouse(0, 0);
  EXPECT_FALSE(backend_.mouse_reporting());
}

// --- the line editor ------------------------------------------------------------------------

TEST_F(ConsoleTest, ReadLineTakesPrintableCharactersAndBackspace) {
  const std::string x10k(10000, 'x');
  std::string a10k;
  for (int i = 0; i < 10000; ++i) a10k += "\xC3\xA4";
  const struct {
    std::vector<std::string> keys;  // before the Enter
    std::string line;
  } cases[] = {
      {{"\b", "a", "b", "c", "\b", "\b", "x"}, "ax"},
      {{"a", "\t", "\x1b", "\x03", "\x7f", std::string("\0K", 2), "c"}, "ac"},
      {{"\xC3\xA4", "\xF0\x9F\x93\xBB", "\xC3\xB6", "\b", "\xFF"},
       "\xC3\xA4\xF0\x9F\x93\xBB\xEF\xBF\xBD"},
      {std::vector<std::string>(10005, "x"), x10k},
      {std::vector<std::string>(10001, "\xC3\xA4"), a10k},
      {[] {
         std::vector<std::string> keys(10002, "x");
         keys.insert(keys.end(), {"\b", "z"});
         return keys;
       }(),
       std::string(9999, 'x') + "z"},
  };
  for (const auto& c : cases) {
    for (const std::string& key : c.keys) backend_.AddKey(key);
    backend_.AddKey("\r");
    EXPECT_EQ(ReadLine(console_), c.line) << c.line.substr(0, 20);
  }
  EXPECT_TRUE(backend_.script_empty());
}

TEST_F(ConsoleTest, ReadLineEchoesWithTheCursorShownAndEndsTheLine) {
  console_.SetCursorVisible(false);
  console_.MoveCursor(5, 65);
  backend_.AddText("xy\bz\r");
  EXPECT_EQ(ReadLine(console_), "xz");
  EXPECT_EQ(console_.cell(5, 66).character, U'z');
  EXPECT_EQ(console_.cell(6, 1).character, U' ');  // Backspace went back over the row start
  EXPECT_EQ(console_.cursor_row() * 100 + console_.cursor_column(), 701);
  EXPECT_FALSE(console_.cursor_visible());
  EXPECT_TRUE(backend_.presented_cursor_visible());  // while the line was typed
}

}  // namespace
}  // namespace console
