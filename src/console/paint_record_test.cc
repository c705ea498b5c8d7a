#include "console/paint_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace console {
namespace {

Grid FilledGrid(int rows, int columns, char32_t character) {
  return Grid{rows, columns,
              std::vector<Cell>(static_cast<std::size_t>(rows) * columns, Cell{character, 0x1F})};
}

InputEvent Click(int row, int column) {
  InputEvent event;
  event.type = InputEvent::Type::kMouse;
  event.mouse_kind = kMousePressed;
  event.mouse_button = kMouseLeft;
  event.row = row;
  event.column = column;
  return event;
}

// Every changed run of every row, as "row:begin-end".
std::vector<std::string> TakeAllRuns(PaintRecord& record, int merge_gap = 1) {
  std::vector<std::string> runs;
  for (int row = 0; row < record.model().rows; ++row) {
    for (const CellRun& run : record.TakeChangedRuns(row, record.model().columns, merge_gap)) {
      runs.push_back(std::to_string(row) + ":" + std::to_string(run.begin) + "-" +
                     std::to_string(run.end));
    }
  }
  return runs;
}

TEST(ChooseGlyph, ControlCodesAndDeleteShowAsCodePage437Glyphs) {
  EXPECT_EQ(ChooseGlyph(U'A'), U'A');
  EXPECT_EQ(ChooseGlyph(U' '), U' ');
  EXPECT_EQ(ChooseGlyph(0), U' ');
  EXPECT_EQ(ChooseGlyph(1), U'\u263A');
  EXPECT_EQ(ChooseGlyph(13), U'\u266A');
  EXPECT_EQ(ChooseGlyph(31), U'\u25BC');
  EXPECT_EQ(ChooseGlyph(127), U'\u2302');
  EXPECT_EQ(ChooseGlyph(U'\u2500'), U'\u2500');
  EXPECT_EQ(ChooseGlyph(U'\U0001F600'), U'\U0001F600');
}

TEST(FindChangedRuns, JoinsCloseChanges) {
  std::vector<Cell> shown(12);
  std::vector<Cell> wanted = shown;
  EXPECT_TRUE(FindChangedRuns(wanted.data(), shown.data(), 12, 4).empty());
  wanted[0].character = U'a';
  wanted[2].character = U'b';   // 1 unchanged between: joined
  wanted[8].attribute = 0x1F;   // 5 unchanged between: a run of its own
  wanted[11].character = U'c';  // 2 unchanged between: joined
  EXPECT_EQ(FindChangedRuns(wanted.data(), shown.data(), 12, 4),
            (std::vector<CellRun>{{0, 3}, {8, 12}}));
  EXPECT_EQ(FindChangedRuns(wanted.data(), shown.data(), 12, 1),
            (std::vector<CellRun>{{0, 1}, {2, 3}, {8, 9}, {11, 12}}));
  EXPECT_EQ(FindChangedRuns(wanted.data(), shown.data(), 8, 1),
            (std::vector<CellRun>{{0, 1}, {2, 3}}));
}

struct NoticeCase {
  const char* name;
  Size window;
  std::vector<NoticeLine> lines;
};

TEST(ComposeTooSmallNotice, TwoCentredLinesInTheMiddle) {
  const NoticeCase cases[] = {
      {"roomy",
       {30, 60},
       {{14, 10, "Please make this window at least 66 x 43"}, {15, 23, "(now 60 x 30)"}}},
      {"odd sizes centre to the left",
       {5, 41},
       {{1, 0, "Please make this window at least 66 x 43"}, {2, 14, "(now 41 x 5)"}}},
      {"narrow: the lines are cut at the right",
       {4, 10},
       {{1, 0, "Please mak"}, {2, 0, "(now 10 x "}}},
      {"one row: the second line is left out",
       {1, 66},
       {{0, 13, "Please make this window at least 66 x 43"}}},
      {"no room at all", {0, 0}, {}},
  };
  for (const NoticeCase& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    EXPECT_EQ(ComposeTooSmallNotice({43, 66}, test_case.window), test_case.lines);
  }
}

TEST(PaintRecord, FirstFramePaintsEveryCellThenOnlyWhatChanged) {
  PaintRecord record;
  Grid grid = FilledGrid(3, 4, U'x');
  record.SetModel(grid, 1, 1, true);
  EXPECT_EQ(record.StartFrame(Repaint::kChanges), FrameStart::kAllCells);
  EXPECT_EQ(TakeAllRuns(record), (std::vector<std::string>{"0:0-4", "1:0-4", "2:0-4"}));

  record.SetModel(grid, 1, 1, true);
  EXPECT_EQ(record.StartFrame(Repaint::kChanges), FrameStart::kChangedCells);
  EXPECT_TRUE(TakeAllRuns(record).empty());

  grid.at(1, 2).character = U'y';
  grid.at(2, 0).attribute = 0x4E;
  record.SetModel(grid, 1, 1, true);
  EXPECT_EQ(record.StartFrame(Repaint::kChanges), FrameStart::kChangedCells);
  EXPECT_EQ(TakeAllRuns(record), (std::vector<std::string>{"1:2-3", "2:0-1"}));
}

TEST(PaintRecord, OnlyTheVisibleColumnsCountAsPainted) {
  PaintRecord record;
  record.SetModel(FilledGrid(1, 6, U'x'), 1, 1, true);
  EXPECT_EQ(record.StartFrame(Repaint::kChanges), FrameStart::kAllCells);
  EXPECT_EQ(record.TakeChangedRuns(0, 4, 1), (std::vector<CellRun>{{0, 4}}));
  // The window grew: the two cells it did not show before are still to be painted.
  EXPECT_EQ(record.StartFrame(Repaint::kChanges), FrameStart::kChangedCells);
  EXPECT_EQ(record.TakeChangedRuns(0, 6, 1), (std::vector<CellRun>{{4, 6}}));
}

TEST(PaintRecord, NewSizeOrPlaceRepaintsAndARepaintRequestBlanksFirst) {
  PaintRecord record;
  record.SetModel(FilledGrid(2, 2, U'x'), 1, 1, true);
  EXPECT_EQ(record.StartFrame(Repaint::kChanges), FrameStart::kAllCells);
  TakeAllRuns(record);
  EXPECT_EQ(record.StartFrame(Repaint::kChanges, {0, 5}), FrameStart::kAllCells);
  EXPECT_EQ(record.origin(), (CellPosition{0, 5}));
  EXPECT_EQ(TakeAllRuns(record).size(), 2u);
  EXPECT_EQ(record.StartFrame(Repaint::kEverything, {0, 5}), FrameStart::kAllCellsOnBlank);
  EXPECT_EQ(TakeAllRuns(record).size(), 2u);
  record.SetModel(FilledGrid(3, 2, U'x'), 1, 1, true);
  EXPECT_EQ(record.StartFrame(Repaint::kChanges, {0, 5}), FrameStart::kAllCells);
  record.Forget();
  EXPECT_EQ(record.origin(), (CellPosition{0, 0}));
  EXPECT_EQ(record.StartFrame(Repaint::kChanges, {0, 5}), FrameStart::kAllCells);
}

TEST(PaintRecord, NoticeOnlyAfterTheSizeWasRequestedAndOnlyWhileTheWindowIsTooSmall) {
  PaintRecord record;
  record.SetModel(FilledGrid(43, 66, U' '), 1, 1, true);
  EXPECT_FALSE(record.NeedsNotice({30, 60}));
  record.RecordSizeRequest();
  EXPECT_TRUE(record.NeedsNotice({30, 60}));
  EXPECT_TRUE(record.NeedsNotice({43, 65}));
  EXPECT_TRUE(record.NeedsNotice({42, 66}));
  EXPECT_FALSE(record.NeedsNotice({43, 66}));
  EXPECT_FALSE(record.NeedsNotice({50, 80}));
}

TEST(PaintRecord, AfterTheNoticeTheScreenIsPaintedWholeOnABlankWindow) {
  PaintRecord record;
  record.SetModel(FilledGrid(2, 2, U'x'), 1, 1, true);
  EXPECT_EQ(record.StartFrame(Repaint::kChanges), FrameStart::kAllCells);
  TakeAllRuns(record);
  record.RecordNotice();
  EXPECT_TRUE(record.notice_shown());
  EXPECT_EQ(record.StartFrame(Repaint::kChanges), FrameStart::kAllCellsOnBlank);
  EXPECT_FALSE(record.notice_shown());
  EXPECT_EQ(TakeAllRuns(record), (std::vector<std::string>{"0:0-2", "1:0-2"}));
}

TEST(PaintRecord, ClicksCountOnlyOnTheScreenWhileItIsShown) {
  PaintRecord record;
  record.SetModel(FilledGrid(43, 66, U' '), 1, 1, true);
  EXPECT_TRUE(record.IsOnScreen(Click(1, 1)));
  EXPECT_TRUE(record.IsOnScreen(Click(43, 66)));
  EXPECT_FALSE(record.IsOnScreen(Click(0, 5)));
  EXPECT_FALSE(record.IsOnScreen(Click(5, 0)));
  EXPECT_FALSE(record.IsOnScreen(Click(44, 5)));
  EXPECT_FALSE(record.IsOnScreen(Click(5, 67)));
  record.RecordNotice();
  EXPECT_FALSE(record.IsOnScreen(Click(1, 1)));
}

TEST(PaintRecord, CursorStaysWithinTheVisibleCells) {
  PaintRecord record;
  record.SetModel(FilledGrid(43, 66, U' '), 43, 66, false);
  EXPECT_FALSE(record.cursor_visible());
  EXPECT_EQ(record.ClampCursor(43, 66), (CellPosition{42, 65}));
  EXPECT_EQ(record.ClampCursor(30, 60), (CellPosition{29, 59}));
  EXPECT_EQ(record.ClampCursor(0, 0), (CellPosition{0, 0}));
  record.SetModel(FilledGrid(43, 66, U' '), 0, -4, true);
  EXPECT_EQ(record.ClampCursor(43, 66), (CellPosition{0, 0}));
}

}  // namespace
}  // namespace console
