#include "app/main_screen.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/synchronise.h"
#include "app/update_page.h"
#include "award/band_files.h"
#include "award/region_tables.h"
#include "base/atomic_file.h"
#include "console/console.h"
#include "recording_backend.h"
#include "test_util.h"

namespace app {
namespace {

using test::PadRight;
using test::RowText;

constexpr std::uint8_t kNormal = 0x1F;
constexpr std::uint8_t kHighlight = 0x4E;

// The first column (from 1) each Selector item is printed in.
constexpr std::array<int, kItemCount> kItemColumns = {3, 8, 13, 18, 23, 28, 33, 38, 43, 49, 54, 58};

// The item whose page `grid` shows: the one in the Highlight colours on row 1, or DX when
// the country pager's title has taken row 1; 0 when there is none (or more than one).
int HighlightedItem(const console::Grid& grid) {
  if (RowText(grid, 1) == PadRight(std::string(23, ' ') + "Confirmed Countries")) return kDxItem;
  int found = 0;
  for (int item = 1; item <= kItemCount; ++item) {
    if (grid.at(0, kItemColumns[item - 1] - 1).attribute == kHighlight) {
      if (found != 0) return 0;
      found = item;
    }
  }
  return found;
}

std::vector<int> HighlightedItems(const std::vector<console::Grid>& screens) {
  std::vector<int> items;
  for (const console::Grid& grid : screens) items.push_back(HighlightedItem(grid));
  return items;
}

// The main screen as start-up leaves the console: 43 x 66 in the Normal colours, left
// mouse presses and double-clicks reported.
class MainScreenTest : public ::testing::Test {
 protected:
  MainScreenTest() : console_(backend_), data_(std::make_unique<AwardData>()) {
    values_.places.program_folder = dir_.path() + "/";
    values_.places.temp_folder = dir_.path() + "/";
    values_.places.endpoint = "https://127.0.0.1:9/api";  // nothing listens there
    values_.account_name = "K1ABC";
    values_.api_key = "SECRET-KEY";
    values_.termination_requested = [] { return false; };
    award::FillStateTable(data_->states);
    console_.SetScreenSize(43, 66);
    console_.SetColors(15, 1);
    console_.SetCursorVisible(false);
    console_.EnableMouse(console::kMouseLeft, console::kMousePressed | console::kMouseDoubleClick);
    console_.ClearScreen();
  }

  void Run() { RunMainScreen(console_, values_, *data_); }
  void Escape() { backend_.AddKey("\x1b"); }
  void Click(int row, int column, int kind = console::kMousePressed) {
    backend_.AddMouse(kind, console::kMouseLeft, row, column);
  }
  // The screens at the main loop's and the views' waits, without the Farewell's.
  std::vector<console::Grid> Screens() const {
    std::vector<console::Grid> screens = backend_.screens();
    screens.pop_back();
    return screens;
  }

  test::ScopedTempDir dir_;
  test::RecordingBackend backend_;
  console::Console console_;
  ProgramValues values_;
  std::unique_ptr<AwardData> data_;
};

TEST(ItemAtColumn, FollowsTheClickColumnTable) {
  std::array<int, 67> expected{};  // columns 1 to 66
  const int ranges[][3] = {{1, 2, 5},   {2, 7, 10},   {3, 12, 15},  {4, 17, 20},
                           {5, 22, 25}, {6, 27, 30},  {7, 32, 35},  {8, 37, 40},
                           {9, 42, 46}, {10, 48, 51}, {11, 53, 55}, {12, 56, 65}};
  for (const auto& range : ranges) {
    for (int column = range[1]; column <= range[2]; ++column) expected[column] = range[0];
  }
  for (int column = 0; column <= 67; ++column) {
    EXPECT_EQ(ItemAtColumn(column), column >= 1 && column <= 66 ? expected[column] : 0)
        << "column " << column;
  }
}

TEST_F(MainScreenTest, TheFirstScreenIsTheUpdatePageUnderTheSelectorAndTheRule) {
  Escape();
  Escape();
  Run();
  const console::Grid& first = backend_.screens().front();
  EXPECT_EQ(RowText(first, 1),
            PadRight("  10m  12m  15m  17m  20m  30m  40m  80m  160m  All  DX  Update"));
  for (int column = 1; column <= 66; ++column) {
    const bool selected = column >= 58 && column <= 63;
    EXPECT_EQ(first.at(0, column - 1).attribute, selected ? kHighlight : kNormal) << column;
  }
  std::string rule = " ";
  for (int i = 0; i < 63; ++i) rule += "\u2500";
  EXPECT_EQ(RowText(first, 2), rule + "  ");
  EXPECT_EQ(RowText(first, 20),
            PadRight("        Press [Enter] to syncronize with your QRZ Logbook."));
  for (int column = 9; column <= 58; ++column) {
    const bool enter = column >= 16 && column <= 20;
    EXPECT_EQ(first.at(19, column - 1).attribute, enter ? kHighlight : kNormal) << column;
  }
  for (int row = 3; row <= 43; ++row) {
    if (row != 20) {
      EXPECT_EQ(RowText(first, row), PadRight("")) << "row " << row;
    }
  }
}

TEST_F(MainScreenTest, ArrowsMoveTheSelectionAndWrapAround) {
  backend_.AddExtendedKey(console::kScanRight);  // taken by the Update page: to 10m
  backend_.AddExtendedKey(console::kScanRight);
  backend_.AddExtendedKey(console::kScanLeft);
  backend_.AddExtendedKey(console::kScanLeft);   // 10m wraps to Update
  backend_.AddExtendedKey(console::kScanUp);     // dropped by the Update page
  backend_.AddExtendedKey(console::kScanRight);  // Update wraps to 10m
  Escape();
  Run();
  EXPECT_EQ(HighlightedItems(Screens()), (std::vector<int>{12, 1, 2, 1, 12, 12, 1}));
}

TEST_F(MainScreenTest, TheUpdatePageTakesOnlyArrowsAndCapitalRAndL) {
  backend_.AddText("r");  // dropped by the Update page
  backend_.AddText("x");  // the loop's key: only redraws
  backend_.AddText("l");
  backend_.AddText("x");
  backend_.AddText("R");  // to 10m
  backend_.AddText("R");  // on a band view: only redraws
  backend_.AddText("L");
  backend_.AddExtendedKey(console::kScanLeft);   // back to Update
  backend_.AddText("L");                         // to DX, whose pager takes the next key
  backend_.AddExtendedKey(console::kScanRight);  // leaves the pager towards Update
  Escape();                                      // dropped by the Update page
  Escape();
  Run();
  EXPECT_EQ(HighlightedItems(Screens()),
            (std::vector<int>{12, 12, 12, 12, 12, 1, 1, 1, 12, 11, 12, 12}));
}

TEST_F(MainScreenTest, EscEndsTheProgramAtOnceOnBandViewsAndTheSummary) {
  for (int band_or_all : {1, 9, 10}) {
    test::RecordingBackend backend;
    console::Console console(backend);
    console.SetScreenSize(43, 66);
    for (int i = 0; i < band_or_all; ++i) backend.AddExtendedKey(console::kScanRight);
    backend.AddKey("\x1b");
    RunMainScreen(console, values_, *data_);
    EXPECT_EQ(RowText(backend.presented(), 1),
              PadRight("Thanks for playing. You have a nice day."));
    EXPECT_EQ(RowText(backend.presented(), 2), PadRight("73 Arlo"));
    // The Update page, one wait per view on the way, and the Farewell.
    EXPECT_EQ(backend.screens().size(), static_cast<size_t>(band_or_all + 2));
  }
}

TEST_F(MainScreenTest, ClicksSelectByTheClickColumnsOfRowOne) {
  Click(1, 5);  // dropped by the Update page
  Click(1, 5);  // 10m
  Click(1, 1);  // no item's columns: redraws
  Click(1, 66);
  Click(3, 8);                               // not on row 1
  Click(1, 42);                              // 160m, pressed
  Click(1, 42, console::kMouseDoubleClick);  // and double-clicked: drawn again
  Click(1, 65);                              // Update
  Click(1, 56);                              // dropped by the Update page
  Click(1, 48);                              // All
  Escape();
  Run();
  EXPECT_EQ(HighlightedItems(Screens()), (std::vector<int>{12, 12, 1, 1, 1, 1, 9, 9, 12, 12, 10}));
}

TEST_F(MainScreenTest, LeavingTheCountryPagerMovesToItsNeighbours) {
  backend_.AddExtendedKey(console::kScanLeft);   // Update to DX
  backend_.AddExtendedKey(console::kScanLeft);   // the pager left towards All
  backend_.AddExtendedKey(console::kScanRight);  // All to DX
  Escape();                                      // the pager does not end the program
  backend_.AddExtendedKey(console::kScanRight);  // the pager left towards Update
  Escape();                                      // dropped by the Update page
  Escape();
  Run();
  EXPECT_EQ(HighlightedItems(Screens()), (std::vector<int>{12, 11, 10, 11, 11, 12, 12}));
}

TEST_F(MainScreenTest, AFailedUpdateSaysWhyKeepsEveryFileAndDropsAKeyTypedMeanwhile) {
  const std::string band_file = award::FormatBandFile({});
  test::WriteFile(dir_.Join("10m.txt"), band_file);
  award::LoadBandFiles(values_.places.program_folder, data_->unconfirmed);
  data_->countries[0] = "1";
  data_->countries[1] = "CANADA";
  const auto lists_before = data_->unconfirmed;
  const auto countries_before = data_->countries;

  backend_.AddKey("\r");
  backend_.AddExtendedKey(console::kScanRight);  // typed during the download: dropped
  backend_.AddPause(1000);                       // the next key comes after it
  Escape();
  Run();

  // The arrow was kept during the download and taken by the 3-second wait at once; the
  // next screen is the loop's wait on the same page, the arrow dropped.
  const std::vector<console::Grid> screens = Screens();
  ASSERT_EQ(screens.size(), 2u);
  const console::Grid& result = screens[1];
  EXPECT_EQ(RowText(result, 20), PadRight(""));
  EXPECT_EQ(RowText(result, 21),
            PadRight(std::string(14, ' ') + "Update failed: nothing was changed"));
  EXPECT_NE(RowText(result, 22), PadRight(""));
  EXPECT_EQ(RowText(result, 22).find("SECRET"), std::string::npos);
  // The download took no time on the test's clock.
  EXPECT_EQ(RowText(result, 23), PadRight("                 Process Time: 0  seconds"));
  EXPECT_EQ(HighlightedItem(result), 12);
  // The download's rows 23 and 24 (progress, Esc) are blank again under the process time.
  EXPECT_EQ(RowText(result, 24), PadRight(""));

  EXPECT_EQ(test::ListFolder(dir_.path()), (std::vector<std::string>{"10m.txt", "Update.lock"}));
  EXPECT_EQ(test::ReadFile(dir_.Join("10m.txt")), band_file);
  EXPECT_EQ(data_->unconfirmed, lists_before);
  EXPECT_EQ(data_->countries, countries_before);
}

TEST_F(MainScreenTest, AnUpdateFirstRemovesWhatAnEarlierUpdateKilledMidwayLeft) {
  test::ChildProcess killed;
  killed.End();
  const std::string leftover = base::TemporaryName("K1ABC.adi", killed.id(), 0x5eed);
  test::WriteFile(dir_.Join(leftover), "half of a logbook");
  test::WriteFile(dir_.Join("K1ABC.adi.tmp"), "the operator's");
  backend_.AddKey("\r");    // the update fails (nothing listens), but only after the clean-up
  backend_.AddPause(1000);  // the keys below come after the download
  backend_.AddKey("x");     // dropped by the wait after it
  Escape();
  Run();
  // The lock file of the update stays too: it is no leftover.
  EXPECT_EQ(test::ListFolder(dir_.path()),
            (std::vector<std::string>{"K1ABC.adi.tmp", "Update.lock"}));
}

TEST_F(MainScreenTest, AfterTheThreeSecondWaitTheUpdatePageWaitsForTheLoopsKey) {
  backend_.AddKey("\r");
  backend_.AddPause(4000);
  Escape();  // the loop's key, not the Update page's: it ends the program
  Run();
  EXPECT_EQ(Screens().size(), 3u);
  EXPECT_GE(backend_.NowMs(), 4000);
}

TEST_F(MainScreenTest, TheFarewellIsInTheNormalColoursAndAKeyEndsItsWait) {
  backend_.AddExtendedKey(console::kScanRight);
  Escape();
  backend_.AddText("x");
  Run();
  EXPECT_EQ(RowText(backend_.presented(), 1), PadRight("Thanks for playing. You have a nice day."));
  EXPECT_EQ(RowText(backend_.presented(), 2), PadRight("73 Arlo"));
  EXPECT_EQ(backend_.presented().at(42, 65).attribute, kNormal);
  EXPECT_LT(backend_.NowMs(), 5000);
  EXPECT_TRUE(backend_.script_empty());
}

TEST_F(MainScreenTest, ALongReasonKeepsItsStartAndEndAndARefusedKeySaysWhatToDo) {
  values_.places.program_folder = "/home/operator/a/very/long/folder/for/the/program/Varnhold/";
  logbook::SyncResult result;
  result.reason = "cannot write /home/operator/a/very/long/folder/QRZ_LogBook.tmp: File too large";
  result.outcome = logbook::SyncOutcome::kKeyRefused;
  ShowSyncFailure(console_, values_, result, FailureLayout::kUpdatePage);
  console_.Flush();
  const console::Grid& screen = backend_.presented();
  EXPECT_EQ(RowText(screen, 22).substr(5, 53),
            "cannot write /home/operat...gBook.tmp: File too large");
  EXPECT_EQ(RowText(screen, 24).substr(5, 53),
            "    To enter your API key again, delete the file     ");
  EXPECT_EQ(RowText(screen, 25).substr(5, 53),
            "/home/operator/a/very/lon...ogram/Varnhold/Keeper.ini");
}

TEST(ProgressText, CountsContactsOnceAnnouncedElseMegabytes) {
  EXPECT_EQ(ProgressText({1234, 5678, 900000}), "1,234 of 5,678 contacts received");
  EXPECT_EQ(ProgressText({0, 1234567, 0}), "0 of 1,234,567 contacts received");
  EXPECT_EQ(ProgressText({999, 999, 1}), "999 of 999 contacts received");
  EXPECT_EQ(ProgressText({4040, 2000, 1}), "4,040 contacts received");  // never above the total
  EXPECT_EQ(ProgressText({0, std::nullopt, 0}), "0.0 MB received");
  EXPECT_EQ(ProgressText({7, std::nullopt, 12'345'678}), "12.3 MB received");
}

TEST(ProcessSeconds, RoundsToHundredthsWithHalvesToEven) {
  struct Case {
    long long ms;
    double seconds;
  };
  const Case cases[] = {{0, 0.0},      {4, 0.0},       {5, 0.0},       {6, 0.01},
                        {15, 0.02},    {25, 0.02},     {35, 0.04},     {420, 0.42},
                        {12300, 12.3}, {12345, 12.34}, {12355, 12.36}, {3599999, 3600.0}};
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(ProcessSeconds(c.ms), c.seconds) << c.ms;
}

}  // namespace
}  // namespace app
