#include "console/paint_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace console {
namespace {

Grid FilledGrid(int rows, int columns) {
  return Grid{rows, columns, std::vector<Cell>(static_cast<std::size_t>(rows) * columns, {U'x'})};
}

// Every changed run of every row, as "row:begin-end".
std::vector<std::string> TakeAllRuns(PaintRecord& record) {
  std::vector<std::string> runs;
  for (int row = 0; row < record.model().rows; ++row) {
    for (const CellRun& run : record.TakeChangedRuns(row, record.model().columns, 1)) {
      runs.push_back(std::to_string(row) + ":" + std::to_string(run.begin) + "-" +
                     std::to_string(run.end));
    }
  }
  return runs;
}

using Runs = std::vector<std::string>;

// Every cell first, then only what changed or was not visible; a new place, size or the
// notice repaint everything, a request for it on a blank.
TEST(PaintRecord, PaintsEveryCellFirstThenOnlyWhatChangedUnlessThePlaceOrSizeChanged) {
  PaintRecord record;
  Grid grid = FilledGrid(3, 6);
  record.SetModel(grid, 1, 1, true);
  EXPECT_EQ(record.StartFrame(Repaint::kChanges), FrameStart::kAllCells);
  EXPECT_EQ(record.TakeChangedRuns(0, 4, 1), (std::vector<CellRun>{{0, 4}}));  // 4 visible
  EXPECT_EQ(record.StartFrame(Repaint::kChanges), FrameStart::kChangedCells);
  EXPECT_EQ(TakeAllRuns(record), (Runs{"0:4-6", "1:0-6", "2:0-6"}));
  grid.at(1, 2).character = U'y';
  grid.at(2, 0).attribute = 0x4E;
  record.SetModel(grid, 1, 1, true);
  EXPECT_EQ(record.StartFrame(Repaint::kChanges), FrameStart::kChangedCells);
  EXPECT_EQ(TakeAllRuns(record), (Runs{"1:2-3", "2:0-1"}));
  EXPECT_EQ(record.StartFrame(Repaint::kChanges, {0, 5}), FrameStart::kAllCells);
  EXPECT_EQ(record.origin(), (CellPosition{0, 5}));
  EXPECT_EQ(TakeAllRuns(record).size(), 3u);
  EXPECT_EQ(record.StartFrame(Repaint::kEverything, {0, 5}), FrameStart::kAllCellsOnBlank);
  EXPECT_EQ(TakeAllRuns(record).size(), 3u);
  record.RecordNotice();
  EXPECT_EQ(record.StartFrame(Repaint::kChanges, {0, 5}), FrameStart::kAllCellsOnBlank);
  EXPECT_EQ(TakeAllRuns(record), (Runs{"0:0-6", "1:0-6", "2:0-6"}));
  record.SetModel(FilledGrid(4, 6), 1, 1, true);
  EXPECT_EQ(record.StartFrame(Repaint::kChanges, {0, 5}), FrameStart::kAllCells);
  record.Forget();
  EXPECT_EQ(record.origin(), (CellPosition{0, 0}));
  EXPECT_EQ(record.StartFrame(Repaint::kChanges, {0, 5}), FrameStart::kAllCells);
}

TEST(PaintRecord, TheNoticeClicksAndCursorFollowTheVisibleScreen) {
  PaintRecord record;
  record.SetModel(FilledGrid(43, 66), 0, -4, false);
  EXPECT_FALSE(record.NeedsNotice({30, 60}));  // until the size was requested
  record.RecordSizeRequest();
  EXPECT_TRUE(record.NeedsNotice({43, 65}));
  EXPECT_TRUE(record.NeedsNotice({42, 66}));
  EXPECT_FALSE(record.NeedsNotice({43, 66}));
  EXPECT_FALSE(record.cursor_visible());
  EXPECT_EQ(record.ClampCursor(43, 66), (CellPosition{0, 0}));
  record.SetModel(FilledGrid(43, 66), 43, 66, true);
  EXPECT_EQ(record.ClampCursor(30, 60), (CellPosition{29, 59}));
  InputEvent click;
  click.type = InputEvent::Type::kMouse;
  const std::pair<int, int> cells[] = {{43, 66}, {0, 5}, {5, 0}, {44, 5}, {5, 67}};
  for (const auto& [row, column] : cells) {
    click.row = row;
    click.column = column;
    EXPECT_EQ(record.IsOnScreen(click), row >= 1 && row <= 43 && column >= 1 && column <= 66);
  }
  record.RecordNotice();
  click.row = click.column = 1;
  EXPECT_FALSE(record.IsOnScreen(click));
}

}  // namespace
}  // namespace console
