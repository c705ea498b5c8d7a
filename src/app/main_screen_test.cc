// The rules of the main screen, the Update page and the start-up that the end-to-end tests
// do not reach: the keys each page drops, the first run's answers, and the pure rules.
#include "app/main_screen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/startup.h"
#include "app/update_page.h"
#include "recording_backend.h"
#include "screen_text.h"
#include "test_util.h"

namespace app {
namespace {

// Nothing listens on the discard port of the loopback address: every download fails at
// once, without the network.
constexpr const char* kDeadEndpoint = "https://127.0.0.1:9/api";

TEST(ItemAtColumn, FollowsTheClickColumns) {
  const int firsts[] = {2, 7, 12, 17, 22, 27, 32, 37, 42, 48, 53, 56};
  const int lasts[] = {5, 10, 15, 20, 25, 30, 35, 40, 46, 51, 55, 65};
  for (int item = 1; item <= kItemCount; ++item) {
    EXPECT_EQ(ItemAtColumn(firsts[item - 1]), item);
    EXPECT_EQ(ItemAtColumn(lasts[item - 1]), item);
    EXPECT_NE(ItemAtColumn(firsts[item - 1] - 1), item);
  }
  for (int column : {0, 1, 6, 41, 47, 52, 66, 67}) EXPECT_EQ(ItemAtColumn(column), 0) << column;
}

TEST(ProgressText, CountsContactsOnceAnnouncedElseMegabytes) {
  EXPECT_EQ(ProgressText({1234, 5678, 900000}), "1,234 of 5,678 contacts received");
  EXPECT_EQ(ProgressText({0, 1234567, 0}), "0 of 1,234,567 contacts received");
  EXPECT_EQ(ProgressText({999, 999, 1}), "999 of 999 contacts received");
  EXPECT_EQ(ProgressText({4040, 2000, 1}), "4,040 contacts received");  // never above the total
  EXPECT_EQ(ProgressText({7, std::nullopt, 12'345'678}), "12.3 MB received");
}

TEST(ProcessSeconds, RoundsToHundredthsWithHalvesToEven) {
  const std::pair<long long, double> cases[] = {{4, 0.0},       {5, 0.0},       {6, 0.01},
                                                {15, 0.02},     {25, 0.02},     {12300, 12.3},
                                                {12345, 12.34}, {12355, 12.36}, {3599999, 3600.0}};
  for (const auto& [ms, seconds] : cases) EXPECT_DOUBLE_EQ(ProcessSeconds(ms), seconds) << ms;
}

bool SaysFarewell(const test::RecordingBackend& backend) {
  const std::vector<std::string> rows = test::ScreenText(backend.presented());
  return rows[0].find("Thanks for playing. You have a nice day.") != std::string::npos &&
         rows[1].find("73 Arlo") != std::string::npos;
}

class StartTest : public testing::Test {
 protected:
  StartTest() {
    places_.program_folder = dir_.Join("Varnhold/");
    places_.temp_folder = dir_.path() + "/";
    places_.endpoint = kDeadEndpoint;
    places_.creation = Places::Creation::kLastLevel;
  }
  int Run() {
    return RunProgram(console_, places_, [] { return false; });
  }
  // The Selector item in the Highlight colours on a main screen, 11 for the pager's title.
  static int ShownItem(const console::Grid& grid) {
    const std::string row = test::ScreenText(grid)[0];
    if (row.find("Confirmed Countries") != std::string::npos) return kDxItem;
    const size_t at = row.find("{h:");
    for (int item = 1; at != std::string::npos && item <= kItemCount; ++item) {
      if (row.compare(at + 3, kSelectorItems[item - 1].size(), kSelectorItems[item - 1]) == 0) {
        return item;
      }
    }
    return 0;
  }

  test::ScopedTempDir dir_;
  Places places_;
  test::RecordingBackend backend_{console::Size{30, 80}};
  console::Console console_{backend_};
};

TEST_F(StartTest, TheUpdatePageTakesOnlyArrowsAndRAndLAndEscEndsOnAView) {
  CreateProgramFolder(places_);
  test::WriteFile(places_.program_folder + "Keeper.ini", "k1abc\r\nKEY\r\n");
  const std::string left("\0K", 2), right("\0M", 2), up("\0H", 2);
  // On the Update page a key for the page, then one for the loop when the page stays.
  for (const std::string& key : std::vector<std::string>{
           "r", "x", "l", "x", up, "x", "\x1b", "x",  // dropped; the loop's "x" redraws
           "R", "R", "L", left,                       // to 10m, where they redraw; back
           "L", right, "L", "L"}) {                   // to DX, left to Update; DX, left to All
    backend_.AddKey(key);
  }
  backend_.AddMouse(console::kMousePressed, console::kMouseLeft, 1, 30);  // 30m
  backend_.AddKey("\x1b");
  EXPECT_EQ(Run(), 0);

  std::vector<int> shown;
  for (const console::Grid& grid : backend_.screens()) shown.push_back(ShownItem(grid));
  // The last screen is the Farewell's wait.
  EXPECT_EQ(shown, (std::vector<int>{12, 12, 12, 12, 12, 12, 12, 12, 12, 1, 1, 1, 12, 11, 12, 11,
                                     10, 6, 0}));
  EXPECT_TRUE(SaysFarewell(backend_));
  // Configured for the main screen, and nothing written.
  EXPECT_EQ(backend_.title(), "Statekeeper By Brannock Tarvel v2021.11.10");
  EXPECT_EQ(backend_.requested_size(), (console::Size{43, 66}));
  EXPECT_TRUE(backend_.mouse_reporting());
  EXPECT_FALSE(console_.cursor_visible());
  EXPECT_EQ(test::ListFolder(places_.program_folder), std::vector<std::string>{"Keeper.ini"});
}

TEST_F(StartTest, TheIntroductionIsShownInTheTerminalsOwnSize) {
  backend_.AddKey("n");
  EXPECT_EQ(Run(), 0);
  test::ExpectGoldenScreen(backend_.screens().front(), "introduction");
}

TEST(FirstRun, OnlyYGoesOnAndTheFirstFieldsAreTheSettings) {
  struct Case {
    std::vector<std::string> keys;
    const char* settings;  // null: nothing is created
  };
  const Case cases[] = {
      {{"n"}, nullptr},
      {{"\x1b"}, nullptr},
      {{std::string("\0H", 2)}, nullptr},
      {{"y", "k1abc\r", "KEY\r"}, "K1ABC\r\nKEY\r\n"},
      {{"Y", "  k1abc, more text\r", "\"AB12 CD, 34\" rest\r"}, "K1ABC\r\nAB12 CD, 34\r\n"},
      {{"y", "\r", "\r"}, "\r\n\r\n"},
      {{"y", "k1abc\r", "KEY\r"}, ""},  // a file stands where the folder goes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys.back());
    test::ScopedTempDir dir;
    const bool blocked = c.settings != nullptr && *c.settings == '\0';
    if (blocked) test::WriteFile(dir.Join("Varnhold"), "in the way");
    test::RecordingBackend backend(console::Size{30, 80});
    console::Console console(backend);
    for (const std::string& key : c.keys) backend.AddText(key);
    // After the failed download: a key for its notice, Esc on the Update page, Esc again.
    backend.AddPause(1000);
    for (const char* key : {"x", "\x1b", "\x1b"}) backend.AddKey(key);
    Places places;
    places.program_folder = dir.Join("Varnhold/");
    places.temp_folder = dir.path() + "/";
    places.endpoint = kDeadEndpoint;
    places.creation = Places::Creation::kLastLevel;
    EXPECT_EQ(RunProgram(console, places, [] { return false; }), 0);
    if (c.settings == nullptr) {
      EXPECT_TRUE(test::ListFolder(dir.path()).empty());
    } else if (blocked) {
      EXPECT_EQ(test::ReadFile(dir.Join("Varnhold")), "in the way");
      EXPECT_EQ(backend.requested_size(), (console::Size{43, 66}));  // the main screen all the same
    } else {
      EXPECT_EQ(test::ReadFile(dir.Join("Varnhold/Keeper.ini")), c.settings);
#ifndef _WIN32  // no permission bits on Windows: the folder's ACL decides
      EXPECT_EQ(test::FileMode(dir.Join("Varnhold/Keeper.ini")), 0600);
#endif
    }
    EXPECT_TRUE(SaysFarewell(backend));
  }
}

}  // namespace
}  // namespace app
