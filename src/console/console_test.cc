// The console model over a memory backend: cells, the pending scroll, pages, input with its
// time limit and mouse setting, and the line editor.
#include "console/console.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
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
  int Cursor() const { return console_.cursor_row() * 100 + console_.cursor_column(); }

  MemoryBackend backend_{{kRows, kColumns}};
  Console console_{backend_};
};

TEST_F(ConsoleTest, StartsInSevenOnZeroWritesCharactersAsTheyAreAndWrapsAndClears) {
  EXPECT_EQ(console_.cell(kRows, kColumns), (Cell{U' ', 0x07}));
  EXPECT_EQ(Cursor(), 101);
  MemoryBackend no_size({0, 0});
  const Console fallback(no_size);
  EXPECT_EQ(fallback.rows() * 1000 + fallback.columns(), 25080);

  console_.SetColors(14, 4);
  console_.MoveCursor(1, 65);
  console_.WriteText("ab\rc");
  EXPECT_EQ(console_.cell(1, 66), (Cell{U'b', 0x4E}));
  EXPECT_EQ(console_.cell(2, 1), (Cell{U'\r', 0x4E}));  // nothing is interpreted
  EXPECT_EQ(Cursor(), 203);
  console_.MoveCursor(kRows, 1);
  console_.WriteText(std::string(kColumns, 'z'));
  console_.SetColors(15, 1);
  console_.WriteText("y");  // the scroll fills the new row in the current colours
  EXPECT_EQ(console_.cell(kRows, kColumns), (Cell{U' ', 0x1F}));
  // Moves and colours out of range keep what was there.
  const int moves[][4] = {{0, 5, 10, 5}, {44, 5, 10, 5}, {5, 0, 5, 20}, {5, 67, 5, 20}};
  for (const auto& m : moves) {
    console_.MoveCursor(10, 20);
    console_.MoveCursor(m[0], m[1]);
    EXPECT_EQ(Cursor(), m[2] * 100 + m[3]) << m[0] << "," << m[1];
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
  EXPECT_EQ(Cursor(), 101);
}

// Rows numbered, text written at (row, column), a step, then "x": how often the screen
// scrolled and where the "x" landed.
TEST_F(ConsoleTest, TheScreenScrollsOnlyWhenSomethingFollowsTheBottomRightCell) {
  const struct {
    int row, column, characters;
    char step;  // ' ' none, 'E'ndLine, 'B' EraseBackward
    int scrolls, x_row, x_column;
  } cases[] = {{kRows, 1, kColumns, ' ', 1, kRows, 1},
               {10, 66, 1, 'E', 0, 12, 1},
               {kRows, 5, 2, 'E', 1, kRows, 1},
               {kRows, 1, kColumns, 'E', 2, kRows, 1},
               {kRows, 1, kColumns, 'B', 0, kRows, kColumns}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(1, c.step) + std::to_string(c.column));
    console_.ClearScreen();
    for (int row = 1; row <= kRows; ++row) {
      console_.MoveCursor(row, 1);
      console_.WriteText(std::to_string(row));
    }
    console_.MoveCursor(c.row, c.column);
    console_.WriteText(std::string(c.characters, 'a'));
    if (c.step == 'E') console_.EndLine();
    if (c.step == 'B') console_.EraseBackward();
    console_.WriteText("x");
    EXPECT_EQ(std::atoi(EncodeText(Row(1)).c_str()) - 1, c.scrolls);
    EXPECT_EQ(console_.cell(c.x_row, c.x_column).character, U'x');
  }
}

TEST_F(ConsoleTest, TextIsDecodedAndEncodedInTheLocaleReplacingOnlyTheBadByte) {
  const std::pair<std::string, std::u32string> cases[] = {
      {std::string("W1\r\x1b\0", 5), std::u32string(U"W1\r\x1b\0", 5)},
      {"ab\xE2\x94", U"ab\uFFFD\uFFFD"},
      {"\xC0\xAF/\xED\xA0\x80!", U"\uFFFD\uFFFD/\uFFFD\uFFFD\uFFFD!"},  // overlong, surrogate
  };
  for (const auto& [bytes, characters] : cases) EXPECT_EQ(DecodeText(bytes), characters) << bytes;
  const std::string text = "DL1ABC \xC3\xA4 \xE2\x82\xAC \xF0\x9F\x93\xBB\r";
  EXPECT_EQ(EncodeText(DecodeText(text)), text);
  const char32_t beyond_unicode[] = {U'a', 0x110000, U'b'};
  EXPECT_EQ(EncodeText(std::u32string_view(beyond_unicode, 3)), "a?b");
  EXPECT_EQ(EncodeCharacter(static_cast<char32_t>(0xD800)), std::nullopt);
  // A prefix never ends inside a character; a cut-off sequence is a character per byte.
  EXPECT_EQ(FirstCharacters("A\xE2\x94\xC3\xA4!", 3).text, "A\xE2\x94");
  EXPECT_EQ(FirstCharacters("\xF0\x9F\x93\xBB!", 1).text, "\xF0\x9F\x93\xBB");
#ifndef _WIN32  // a Windows program cannot change its code page once it runs
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  const std::u32string decoded = DecodeText("a\xC3\xA4z");
  const std::string dashes = HorizontalRule(2);
  ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
  EXPECT_EQ(decoded.front() + decoded.back(), U'a' + U'z');
  EXPECT_EQ(dashes, "--");
#endif
}

TEST_F(ConsoleTest, NumbersHaveFifteenSignificantDigitsWithoutExponentOrLeadingZero) {
  const std::pair<double, const char*> cases[] = {
      {-0.0, " 0 "},         {12.3, " 12.3 "},
      {-0.5, "-.5 "},        {50, " 50 "},
      {0.00001, " .00001 "}, {1.0 / 3, " .333333333333333 "},
      {0.1 + 0.2, " .3 "},   {123456789012345678.0, " 123456789012346000 "}};
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatNumber(value), text) << value;
  console_.WriteNumber(-12);
  console_.WriteText(HorizontalRule(2) + HorizontalRule(0));
  EXPECT_EQ(Row(1).substr(0, 7), U"-12 \u2500\u2500 ");
}

TEST_F(ConsoleTest, PagesSizeTitleAndCursorReachTheBackendOnFlush) {
  console_.WriteText("one");
  console_.SelectPage(2, 1);
  console_.MoveCursor(1, 1);
  console_.WriteText("two");
  console_.SetCursorVisible(false);
  console_.SetTitle("Statekeeper");
  console_.Flush();
  EXPECT_EQ(backend_.title(), "Statekeeper");
  EXPECT_EQ(backend_.presented().at(0, 0).character, U'o');
  EXPECT_FALSE(backend_.presented_cursor_visible());
  console_.SelectPage(2, 2);
  console_.SelectPage(9, 0);  // outside 1 to 8: nothing changes
  console_.WriteText("!");
  console_.Flush();
  EXPECT_EQ(backend_.presented().at(0, 0).character, U't');
  EXPECT_EQ(backend_.presented().at(0, 3).character, U'!');
  EXPECT_EQ(backend_.presented_cursor_column(), 5);

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
    backend.AddPause(c.pause_ms);
    backend.AddKey("a");
    EXPECT_EQ(console.WaitKey(c.time_limit_ms), c.key);
    EXPECT_EQ(console.NowMs(), c.elapsed_ms);
  }
}

TEST_F(ConsoleTest, OnlyEnabledMouseEventsAreReportedAndReadKeyTakesNone) {
  backend_.AddMouse(kMousePressed, kMouseLeft, 3, 4);  // not enabled yet
  backend_.AddKey("a");
  EXPECT_EQ(console_.WaitKey(0), "a");
  console_.EnableMouse(kMouseLeft, kMousePressed | kMouseDoubleClick);
  EXPECT_TRUE(backend_.mouse_reporting());
  // A dropped event does not end the wait.
  backend_.AddMouse(kMouseReleased, kMouseLeft, 2, 2);
  backend_.AddMouse(kMousePressed, kMouseRight, 3, 4);
  backend_.AddMouse(kMouseDoubleClick, kMouseLeft, 7, 8);
  EXPECT_EQ(console_.WaitKey(1000), "\xFF\xFF\x02\x01");
  EXPECT_EQ(console_.mouse_position().row * 100 + console_.mouse_position().column, 708);
  backend_.AddMouse(kMousePressed, kMouseLeft, 9, 9);
  backend_.AddKey("");
  backend_.AddExtendedKey(kScanLeft);
  EXPECT_TRUE(IsExtendedKey(console_.ReadKey(), kScanLeft));
  EXPECT_FALSE(IsMouseEvent("\xFF\xFF\x04") || IsMouseEvent("\xFF\xFE\x04\x01"));
  EXPECT_EQ(console_.mouse_position().row, 7);
  console_.EnableMouse(0, 0);
  EXPECT_FALSE(backend_.mouse_reporting());
}

TEST_F(ConsoleTest, ReadLineTakesPrintableCharactersAndBackspaceAndEchoes) {
  std::vector<std::string> long_keys(10002, "\xC3\xA4");  // the limit counts characters
  long_keys.insert(long_keys.end(), {"\b", "z"});
  std::string long_line;
  for (int i = 0; i < 9999; ++i) long_line += "\xC3\xA4";
  const struct {
    std::vector<std::string> keys;  // before the Enter
    std::string line;
  } cases[] = {
      {{"\b", "a", "b", "c", "\b", "\b", "x"}, "ax"},
      {{"a", "\t", "\x1b", "\x03", "\x7f", std::string("\0K", 2), "c"}, "ac"},
      {{"\xC3\xA4", "\xF0\x9F\x93\xBB", "\xC3\xB6", "\b", "\xFF"},
       "\xC3\xA4\xF0\x9F\x93\xBB\xEF\xBF\xBD"},
      {long_keys, long_line + "z"},
  };
  for (const auto& c : cases) {
    for (const std::string& key : c.keys) backend_.AddKey(key);
    backend_.AddKey("\r");
    EXPECT_EQ(ReadLine(console_), c.line) << c.line.substr(0, 20);
  }
  console_.ClearScreen();
  console_.SetCursorVisible(false);
  console_.MoveCursor(5, 65);
  backend_.AddText("xy\bz\r");
  EXPECT_EQ(ReadLine(console_), "xz");
  EXPECT_EQ(console_.cell(5, 66).character, U'z');
  EXPECT_EQ(console_.cell(6, 1).character, U' ');  // Backspace went back over the row start
  EXPECT_EQ(Cursor(), 701);
  EXPECT_FALSE(console_.cursor_visible());
  EXPECT_TRUE(backend_.presented_cursor_visible());  // while the line was typed
  EXPECT_TRUE(backend_.script_empty());
}

}  // namespace
}  // namespace console
