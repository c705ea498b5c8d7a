// The console's input side: WaitKey with its time limit, ReadKey, mouse events and the
// Key strings they give.
#include <gtest/gtest.h>

#include <string>

#include "console/backend_memory.h"
#include "console/console.h"
#include "console/console_fixture.h"

namespace console {
namespace {

TEST(KeyStrings, ExtendedAndMouse) {
  EXPECT_TRUE(IsExtendedKey(std::string("\0K", 2), kScanLeft));
  EXPECT_FALSE(IsExtendedKey(std::string("\0M", 2), kScanLeft));
  EXPECT_FALSE(IsExtendedKey("K", kScanLeft));
  EXPECT_FALSE(IsExtendedKey(std::string("\0K\0", 3), kScanLeft));
  EXPECT_TRUE(IsMouseEvent("\xFF\xFF\x04\x01"));
  EXPECT_FALSE(IsMouseEvent("\xFF\xFF\x04"));
  EXPECT_FALSE(IsMouseEvent("\xFF\xFE\x04\x01"));
  EXPECT_FALSE(IsMouseEvent(""));
}

// --- WaitKey ----------------------------------------------------------------------------

TEST_F(ConsoleTest, WaitKeyTimesOutOnTheBackendClock) {
  const std::int64_t start = backend_.NowMs();
  EXPECT_EQ(console_.WaitKey(3000), "");
  EXPECT_EQ(backend_.NowMs() - start, 3000);
  EXPECT_EQ(console_.NowMs(), backend_.NowMs());
}

TEST_F(ConsoleTest, WaitKeyShowsWhatWasDrawnBeforeWaiting) {
  console_.WriteText("hi");
  EXPECT_EQ(backend_.present_count(), 0);
  EXPECT_EQ(console_.WaitKey(10), "");
  EXPECT_EQ(backend_.present_count(), 1);
  EXPECT_EQ(backend_.presented().at(0, 1).character, U'i');
  EXPECT_EQ(backend_.presented_cursor_row(), 1);
  EXPECT_EQ(backend_.presented_cursor_column(), 3);
}

struct WaitCase {
  const char* name;
  std::int64_t pause_ms;
  int time_limit_ms;
  const char* key;
  std::int64_t elapsed_ms;
};

TEST_F(ConsoleTest, WaitKeyDeadline) {
  const WaitCase cases[] = {
      {"key before the deadline", 1000, 3000, "a", 1000},
      {"key at the deadline", 3000, 3000, "a", 3000},
      {"key after the deadline", 3001, 3000, "", 3000},
      {"no limit waits as long as it takes", 3600000, 0, "a", 3600000},
      {"a negative limit has passed already", 10, -5, "", 0},
  };
  for (const WaitCase& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    MemoryBackend backend;
    Console console(backend);
    backend.AddPause(test_case.pause_ms);
    backend.AddKey("a");
    EXPECT_EQ(console.WaitKey(test_case.time_limit_ms), test_case.key);
    EXPECT_EQ(backend.NowMs(), test_case.elapsed_ms);
  }
}

TEST_F(ConsoleTest, WaitKeyAfterATimeOutFindsTheKeyThatCameLater) {
  backend_.AddPause(5000);
  backend_.AddKey("k");
  EXPECT_EQ(console_.WaitKey(3000), "");
  EXPECT_EQ(console_.WaitKey(1000), "");
  EXPECT_EQ(backend_.NowMs(), 4000);
  EXPECT_EQ(console_.WaitKey(0), "k");
  EXPECT_EQ(backend_.NowMs(), 5000);
}

TEST_F(ConsoleTest, WaitKeyWithAPassedLimitStillTakesAWaitingKey) {
  backend_.AddKey("a");
  EXPECT_EQ(console_.WaitKey(-1), "a");
}

TEST_F(ConsoleTest, WaitKeyReturnsExtendedKeysAndControlCharacters) {
  backend_.AddExtendedKey(kScanLeft);
  backend_.AddKey("\x03");
  backend_.AddKey("\xC3\xA4");
  EXPECT_TRUE(IsExtendedKey(console_.WaitKey(0), kScanLeft));
  EXPECT_EQ(console_.WaitKey(0), "\x03");
  EXPECT_EQ(console_.WaitKey(0), "\xC3\xA4");
}

TEST_F(ConsoleTest, ReadKeyTakesKeysOnlyAndShowsTheScreenFirst) {
  console_.EnableMouse(kMouseLeft, kMousePressed);
  console_.WriteText("x");
  backend_.AddMouse(kMousePressed, kMouseLeft, 3, 4);
  backend_.AddKey("");
  backend_.AddExtendedKey(kScanLeft);
  backend_.AddKey("a");
  EXPECT_TRUE(IsExtendedKey(console_.ReadKey(), kScanLeft));
  EXPECT_EQ(console_.mouse_position().row, 0);  // the click was dropped, not taken
  EXPECT_EQ(backend_.presented().at(0, 0).character, U'x');
  EXPECT_EQ(console_.ReadKey(), "a");
  EXPECT_TRUE(backend_.script_empty());
}

// --- mouse ------------------------------------------------------------------------------

struct MouseCase {
  const char* name;
  int kind;
  int button;
  std::string key;  // "" when the event is dropped
};

TEST_F(ConsoleTest, WaitKeyReportsOnlyEnabledMouseEvents) {
  console_.EnableMouse(kMouseLeft, kMousePressed | kMouseDoubleClick);
  EXPECT_TRUE(backend_.mouse_reporting());
  const MouseCase cases[] = {
      {"left press", kMousePressed, kMouseLeft, "\xFF\xFF\x04\x01"},
      {"left double-click", kMouseDoubleClick, kMouseLeft, "\xFF\xFF\x02\x01"},
      {"left release", kMouseReleased, kMouseLeft, ""},
      {"left move", kMouseMoved, kMouseLeft, ""},
      {"right press", kMousePressed, kMouseRight, ""},
      {"middle double-click", kMouseDoubleClick, kMouseMiddle, ""},
  };
  int row = 1;
  for (const MouseCase& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    const MousePosition before = console_.mouse_position();
    ++row;
    backend_.AddMouse(test_case.kind, test_case.button, row, 2 * row);
    const std::string key = console_.WaitKey(100);
    EXPECT_EQ(key, test_case.key);
    if (test_case.key.empty()) {
      EXPECT_EQ(console_.mouse_position().row, before.row);
      EXPECT_EQ(console_.mouse_position().column, before.column);
    } else {
      EXPECT_TRUE(IsMouseEvent(key));
      EXPECT_EQ(console_.mouse_position().row, row);
      EXPECT_EQ(console_.mouse_position().column, 2 * row);
    }
  }
}

TEST_F(ConsoleTest, WaitKeyDropsMouseEventsUntilEnabledAndAfterDisabled) {
  backend_.AddMouse(kMousePressed, kMouseLeft, 3, 4);
  backend_.AddKey("a");
  EXPECT_EQ(console_.WaitKey(0), "a");
  EXPECT_EQ(console_.mouse_position().row, 0);
  console_.EnableMouse(kMouseLeft, kMousePressed);
  console_.EnableMouse(0, 0);
  EXPECT_FALSE(backend_.mouse_reporting());
  backend_.AddMouse(kMousePressed, kMouseLeft, 3, 4);
  EXPECT_EQ(console_.WaitKey(50), "");
}

TEST_F(ConsoleTest, WaitKeyGoesOnAfterADroppedEvent) {
  console_.EnableMouse(kMouseLeft, kMousePressed);
  backend_.AddMouse(kMousePressed, kMouseRight, 3, 4);
  backend_.AddPause(10);
  backend_.AddMouse(kMousePressed, kMouseLeft, 7, 8);
  EXPECT_EQ(console_.WaitKey(1000), "\xFF\xFF\x04\x01");
  EXPECT_EQ(console_.mouse_position().row, 7);
  EXPECT_EQ(console_.mouse_position().column, 8);
}

}  // namespace
}  // namespace console
