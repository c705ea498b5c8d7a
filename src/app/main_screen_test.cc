// The rules of the main screen and the start-up that the end-to-end tests do not reach: the
// first run's answers, and the pure rules.
#include "app/main_screen.h"

#include <gtest/gtest.h>

#include <string>

#include "app/startup.h"
#include "app/update_page.h"
#include "screen_text.h"
#include "test_util.h"

namespace app {
namespace {

// The end-to-end tests click the first column of every item; here the columns beside them.
TEST(MainScreen, ClickColumnsProgressAndProcessTime) {
  for (int column : {1, 6, 41, 47, 52, 66}) EXPECT_EQ(ItemAtColumn(column), 0) << column;
  EXPECT_EQ(ItemAtColumn(5) * 100 + ItemAtColumn(46), 109);
  EXPECT_EQ(ProgressText({4040, 2000, 1}), "4,040 contacts received");  // never above the total
  EXPECT_EQ(ProgressText({7, std::nullopt, 12'345'678}), "12.3 MB received");
  // Hundredths, a half to even.
  const std::pair<long long, double> cases[] = {{5, 0.0},         {6, 0.01},     {15, 0.02},
                                                {25, 0.02},       {12300, 12.3}, {12345, 12.34},
                                                {3599999, 3600.0}};
  for (const auto& [ms, seconds] : cases) EXPECT_DOUBLE_EQ(ProcessSeconds(ms), seconds) << ms;
}

// A first run or a start in `folder`, against an address where every download fails at
// once: nothing listens on the loopback address's discard port.
int Start(console::Console& console, const test::ScopedTempDir& folder) {
  Places places;
  places.program_folder = folder.Join("Varnhold/");
  places.temp_folder = folder.path() + "/";
  places.endpoint = "https://127.0.0.1:9/api";
  places.creation = Places::Creation::kLastLevel;
  return RunProgram(console, places, [] { return false; });
}

// The answers and the files of a first run show end to end; here a key other than Y, and a
// file where the folder goes, which leaves the program to go on to the main screen.
TEST(Start, TheFirstRunEndsOnAnyKeyButYAndGoesOnWhenItsFolderCannotBeMade) {
  for (const bool blocked : {false, true}) {
    SCOPED_TRACE(blocked);
    test::ScopedTempDir dir;
    if (blocked) test::WriteFile(dir.Join("Varnhold"), "in the way");
    test::RecordingBackend backend(console::Size{30, 80});
    console::Console console(backend);
    backend.AddText(blocked ? "yk1abc\rKEY\r" : "n");
    // After the failed download: a key for its notice, Esc on the Update page, Esc again.
    backend.AddPause(1000);
    for (const char* key : {"x", "\x1b", "\x1b"}) backend.AddKey(key);
    EXPECT_EQ(Start(console, dir), 0);
    EXPECT_NE(test::ScreenText(backend.presented())[0].find("Thanks for playing"),
              std::string::npos);
    if (blocked) {
      EXPECT_EQ(test::ReadFile(dir.Join("Varnhold")), "in the way");
      EXPECT_EQ(backend.requested_size(), (console::Size{43, 66}));  // the main screen all the same
    } else {
      EXPECT_TRUE(test::ListFolder(dir.path()).empty());
      test::ExpectGoldenScreen(backend.screens().front(), "introduction");
    }
  }
}

}  // namespace
}  // namespace app
