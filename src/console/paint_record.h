// What a terminal backend decides alike on every platform, as plain values: what of the
// model's screen it has painted and what it must paint next, when a window too small for
// the screen shows a notice instead and what the notice says, which mouse events lie on
// the screen, and which glyph a cell's character shows as. The backends keep one
// PaintRecord each and only carry out what it says, so that these rules are tested on any
// platform, without a terminal.
#ifndef STATEKEEPER_CONSOLE_PAINT_RECORD_H_
#define STATEKEEPER_CONSOLE_PAINT_RECORD_H_

#include <string>
#include <vector>

#include "console/backend.h"

namespace console {

// The character that shows `character` in a cell: the control codes 0 to 31 and DEL as the
// glyphs of code page 437 that a Windows console shows for them (so that each takes one
// cell on every terminal), every other character as itself.
[[nodiscard]] char32_t ChooseGlyph(char32_t character);

// A half-open run [begin, end) of cells in a row.
struct CellRun {
  int begin = 0;
  int end = 0;

  friend bool operator==(const CellRun&, const CellRun&) = default;
};

// The runs of `count` cells where `wanted` differs from `shown`; runs that are fewer than
// `merge_gap` unchanged cells apart are joined, so that a row with scattered changes does
// not cost one write per cell. A `merge_gap` of 1 gives exactly the changed cells.
[[nodiscard]] std::vector<CellRun> FindChangedRuns(const Cell* wanted, const Cell* shown, int count,
                                                   int merge_gap);

// One line of the notice that stands in for a screen too large for the window: its place
// (row and column from 0) and its text, already cut to the window's width.
struct NoticeLine {
  int row = 0;
  int column = 0;
  std::string text;

  friend bool operator==(const NoticeLine&, const NoticeLine&) = default;
};

// The notice for a screen of `screen` cells in a window of `window` cells: "Please make
// this window at least C x R" and "(now W x H)", each centred, in the middle rows. Lines
// that fall below the window are left out.
[[nodiscard]] std::vector<NoticeLine> ComposeTooSmallNotice(Size screen, Size window);

// How much of the screen a frame repaints.
enum class Repaint {
  kChanges,     // the cells that changed since they were painted
  kEverything,  // every cell, on a cleared window (the terminal lost what it showed)
};

// What a frame starts with.
enum class FrameStart {
  kChangedCells,     // paint the cells that TakeChangedRuns gives
  kAllCells,         // the screen is new, or has a new size or place: every cell is given
  kAllCellsOnBlank,  // the window's content is unknown: blank it, then every cell is given
};

// A cell of the screen, from 0.
struct CellPosition {
  int row = 0;
  int column = 0;

  friend bool operator==(const CellPosition&, const CellPosition&) = default;
};

// The model's last screen and cursor as the backend received them, what of that screen is
// painted on the terminal now, and whether the too-small notice stands in its place.
class PaintRecord {
 public:
  // Keeps a copy of the model's screen and cursor (row and column from 1), to paint now and
  // to paint again on the backend's own after a resize.
  void SetModel(const Grid& grid, int cursor_row, int cursor_column, bool cursor_visible);
  const Grid& model() const { return model_; }
  bool has_model() const { return !model_.cells.empty(); }
  bool cursor_visible() const { return cursor_visible_; }

  // Records that the program asked the terminal for its screen's size: from now on a
  // window smaller than the screen shows the notice instead of a clipped screen (where
  // clicks would not match the cells).
  void RecordSizeRequest() { size_requested_ = true; }
  // True when a window of `window` cells must show the notice instead of the screen.
  [[nodiscard]] bool NeedsNotice(Size window) const;
  // Records that the notice fills the window now: nothing of the screen is painted.
  void RecordNotice();

  // Forgets what is painted and where (the terminal cut or cleared it), so that the next
  // frame paints every cell at the origin it finds.
  void Forget();

  // Starts a frame that shows the screen with its top-left cell at `origin` in the
  // terminal's buffer (always row 0, column 0 on a terminal without one).
  [[nodiscard]] FrameStart StartFrame(Repaint repaint, CellPosition origin = {});
  // Where the screen's top-left cell was painted last.
  CellPosition origin() const { return origin_; }

  // The runs of the first `columns` cells of row `row` (from 0) that differ from what is
  // painted, merged as FindChangedRuns does; the cells of the runs count as painted now.
  [[nodiscard]] std::vector<CellRun> TakeChangedRuns(int row, int columns, int merge_gap);

  // The cursor's cell (from 0) kept within the first `rows` x `columns` cells of the
  // screen, the part that the window shows.
  [[nodiscard]] CellPosition ClampCursor(int rows, int columns) const;

  // True when a mouse event (rows and columns from 1, counted from the screen's top-left
  // cell) lies on a cell of the screen while the screen is shown; other events must be
  // dropped.
  [[nodiscard]] bool IsOnScreen(const InputEvent& event) const;

 private:
  Grid model_;
  int cursor_row_ = 1;
  int cursor_column_ = 1;
  bool cursor_visible_ = true;
  bool size_requested_ = false;
  // What the terminal shows now, at `origin_`; empty when that is unknown.
  Grid painted_;
  CellPosition origin_;
  bool notice_shown_ = false;
};

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_PAINT_RECORD_H_
