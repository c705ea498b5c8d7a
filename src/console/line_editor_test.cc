#include "console/line_editor.h"

#include <gtest/gtest.h>

#include <string>

#include "console/backend_memory.h"
#include "console/console_fixture.h"

namespace console {
namespace {

using LineEditorTest = ConsoleTest;

TEST_F(LineEditorTest, EchoesAndEndsTheLine) {
  console_.MoveCursor(5, 10);
  backend_.AddText("W1AW\r");
  EXPECT_EQ(ReadLine(console_), "W1AW");
  EXPECT_EQ(Row(5).substr(9, 5), U"W1AW ");
  EXPECT_EQ(console_.cursor_row(), 6);
  EXPECT_EQ(console_.cursor_column(), 1);
  EXPECT_TRUE(backend_.script_empty());
}

TEST_F(LineEditorTest, ShowsTheCursorWhileTypingAndRestoresIt) {
  console_.SetCursorVisible(false);
  backend_.AddText("a\r");
  EXPECT_EQ(ReadLine(console_), "a");
  EXPECT_FALSE(console_.cursor_visible());
  // The last picture ReadLine presented was taken while the line was typed.
  EXPECT_TRUE(backend_.presented_cursor_visible());
  EXPECT_EQ(backend_.presented().at(0, 0).character, U'a');
  EXPECT_EQ(backend_.presented_cursor_column(), 2);
}

TEST_F(LineEditorTest, BackspaceOnAnEmptyLineDoesNothing) {
  NumberRows();
  console_.MoveCursor(5, 1);
  backend_.AddKey("\b");
  backend_.AddText("ab\r");
  EXPECT_EQ(ReadLine(console_), "ab");
  EXPECT_EQ(RowStart(4), U"4");
  EXPECT_EQ(RowStart(5), U"ab");
}

TEST_F(LineEditorTest, BackspaceTakesBackTheLastCharacter) {
  console_.MoveCursor(5, 1);
  backend_.AddText("abc\b\bx\r");
  EXPECT_EQ(ReadLine(console_), "ax");
  EXPECT_EQ(Row(5).substr(0, 4), U"ax  ");
}

TEST_F(LineEditorTest, BackspaceCrossesTheRowStart) {
  console_.MoveCursor(5, 65);
  backend_.AddText("xy\b");
  backend_.AddText("z\r");
  EXPECT_EQ(ReadLine(console_), "xz");
  EXPECT_EQ(console_.cell(5, 65).character, U'x');
  EXPECT_EQ(console_.cell(5, 66).character, U'z');
  EXPECT_EQ(console_.cell(6, 1).character, U' ');
  EXPECT_EQ(console_.cursor_row(), 7);  // z wrapped to row 6, EndLine went on to row 7
}

TEST_F(LineEditorTest, BackspaceErasesTheBlankAtTheCursorCell) {
  console_.MoveCursor(5, 65);
  backend_.AddText("xy\b");
  backend_.AddText("\r");
  EXPECT_EQ(ReadLine(console_), "x");
  EXPECT_EQ(console_.cell(5, 66).character, U' ');
  EXPECT_EQ(console_.cursor_row(), 6);  // EndLine from row 5, column 66
}

TEST_F(LineEditorTest, BackspaceAfterTheBottomRightCellDoesNotScroll) {
  NumberRows();
  console_.MoveCursor(kRows, kColumns);
  backend_.AddText("q\b\r");
  EXPECT_EQ(ReadLine(console_), "");
  EXPECT_EQ(console_.cell(kRows, kColumns).character, U' ');
  // EndLine on the bottom row scrolls once; the erased character did not scroll before it.
  EXPECT_EQ(CountScrolls(), 1);
}

TEST_F(LineEditorTest, DropsControlCharactersExtendedKeysAndMouse) {
  console_.EnableMouse(kMouseLeft, kMousePressed);
  backend_.AddText("a\tb\x1b\x03\x7f");
  backend_.AddExtendedKey(kScanLeft);
  backend_.AddMouse(kMousePressed, kMouseLeft, 3, 3);
  backend_.AddKey("");
  backend_.AddText("c\r");
  EXPECT_EQ(ReadLine(console_), "abc");
  EXPECT_EQ(Row(1).substr(0, 4), U"abc ");
}

TEST_F(LineEditorTest, TakesMultiByteCharacters) {
  for (const char* key : {"\xC3\xA4", "\xE2\x82\xAC", "\xF0\x9F\x93\xBB", "\xC3\xB6", "\b", "\r"}) {
    backend_.AddKey(key);
  }
  EXPECT_EQ(ReadLine(console_), "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x93\xBB");
  EXPECT_EQ(Row(1).substr(0, 4), U"\u00E4\u20AC\U0001F4FB ");
}

TEST_F(LineEditorTest, TakesAnInvalidByteAsOneReplacementCharacter) {
  backend_.AddText(
      "a\xFF"
      "b\r");
  EXPECT_EQ(ReadLine(console_),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Row(1).substr(0, 3), U"a\uFFFDb");
}

struct CapCase {
  const char* name;
  std::string key;
  int typed;
};

TEST_F(LineEditorTest, StopsAtTenThousandCharacters) {
  const CapCase cases[] = {
      {"single bytes", "x", 10005},
      {"two-byte characters", "\xC3\xA4", 10001},
      {"exactly the limit", "y", 10000},
  };
  for (const CapCase& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    for (int i = 0; i < test_case.typed; ++i) backend_.AddKey(test_case.key);
    backend_.AddKey("\r");
    std::string expected;
    for (int i = 0; i < 10000; ++i) expected += test_case.key;
    EXPECT_EQ(ReadLine(console_), expected);
  }
}

TEST_F(LineEditorTest, CapStillTakesBackspace) {
  for (int i = 0; i < 10002; ++i) backend_.AddKey("x");
  backend_.AddText("\bz\r");
  EXPECT_EQ(ReadLine(console_), std::string(9999, 'x') + "z");
}

}  // namespace
}  // namespace console
