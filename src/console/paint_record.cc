#include "console/paint_record.h"

#include <algorithm>
#include <array>

namespace console {
namespace {

// The code page 437 glyphs of the control codes 0 to 31.
constexpr std::array<char32_t, 32> kControlGlyphs = {
    U' ',      U'\u263A', U'\u263B', U'\u2665', U'\u2666', U'\u2663', U'\u2660', U'\u2022',
    U'\u25D8', U'\u25CB', U'\u25D9', U'\u2642', U'\u2640', U'\u266A', U'\u266B', U'\u263C',
    U'\u25BA', U'\u25C4', U'\u2195', U'\u203C', U'\u00B6', U'\u00A7', U'\u25AC', U'\u21A8',
    U'\u2191', U'\u2193', U'\u2192', U'\u2190', U'\u221F', U'\u2194', U'\u25B2', U'\u25BC'};
constexpr char32_t kDeleteGlyph = U'\u2302';

// No cell of the model holds this, so a painted grid filled with it gets every cell painted.
constexpr Cell kNothingPainted{0xFFFFFFFF, 0};

}  // namespace

char32_t ChooseGlyph(char32_t character) {
  if (character < kControlGlyphs.size()) return kControlGlyphs[character];
  if (character == 127) return kDeleteGlyph;
  return character;
}

std::vector<CellRun> FindChangedRuns(const Cell* wanted, const Cell* shown, int count,
                                     int merge_gap) {
  std::vector<CellRun> runs;
  int column = 0;
  while (column < count) {
    if (wanted[column] == shown[column]) {
      ++column;
      continue;
    }
    const int begin = column;
    int end = column + 1;
    // Extends the run over further changes that lie closer than merge_gap.
    for (int next = end; next < count; ++next) {
      if (wanted[next] == shown[next]) continue;
      if (next - end >= merge_gap) break;
      end = next + 1;
    }
    runs.push_back(CellRun{begin, end});
    column = end;
  }
  return runs;
}

std::vector<NoticeLine> ComposeTooSmallNotice(Size screen, Size window) {
  const std::string texts[] = {
      "Please make this window at least " + std::to_string(screen.columns) + " x " +
          std::to_string(screen.rows),
      "(now " + std::to_string(window.columns) + " x " + std::to_string(window.rows) + ")"};
  std::vector<NoticeLine> lines;
  const int top = std::max(0, window.rows / 2 - 1);
  for (int offset = 0; offset < 2 && top + offset < window.rows; ++offset) {
    const std::string& text = texts[offset];
    const int length = std::clamp(static_cast<int>(text.size()), 0, std::max(0, window.columns));
    lines.push_back(NoticeLine{top + offset, std::max(0, (window.columns - length) / 2),
                               text.substr(0, static_cast<std::size_t>(length))});
  }
  return lines;
}

void PaintRecord::SetModel(const Grid& grid, int cursor_row, int cursor_column,
                           bool cursor_visible) {
  model_ = grid;
  cursor_row_ = cursor_row;
  cursor_column_ = cursor_column;
  cursor_visible_ = cursor_visible;
}

bool PaintRecord::NeedsNotice(Size window) const {
  return size_requested_ && (window.rows < model_.rows || window.columns < model_.columns);
}

void PaintRecord::RecordNotice() {
  notice_shown_ = true;
  painted_ = Grid{};
}

void PaintRecord::Forget() {
  painted_ = Grid{};
  origin_ = CellPosition{};
}

FrameStart PaintRecord::StartFrame(Repaint repaint, CellPosition origin) {
  FrameStart start = FrameStart::kChangedCells;
  if (repaint == Repaint::kEverything || notice_shown_) {
    start = FrameStart::kAllCellsOnBlank;
  } else if (painted_.rows != model_.rows || painted_.columns != model_.columns ||
             origin != origin_) {
    start = FrameStart::kAllCells;
  }
  if (start != FrameStart::kChangedCells) {
    painted_ =
        Grid{model_.rows, model_.columns, std::vector<Cell>(model_.cells.size(), kNothingPainted)};
    origin_ = origin;
    notice_shown_ = false;
  }
  return start;
}

std::vector<CellRun> PaintRecord::TakeChangedRuns(int row, int columns, int merge_gap) {
  const Cell* wanted = &model_.at(row, 0);
  Cell* shown = &painted_.at(row, 0);
  std::vector<CellRun> runs = FindChangedRuns(wanted, shown, columns, merge_gap);
  for (const CellRun& run : runs) {
    std::copy(wanted + run.begin, wanted + run.end, shown + run.begin);
  }
  return runs;
}

CellPosition PaintRecord::ClampCursor(int rows, int columns) const {
  return CellPosition{std::clamp(cursor_row_ - 1, 0, std::max(0, rows - 1)),
                      std::clamp(cursor_column_ - 1, 0, std::max(0, columns - 1))};
}

bool PaintRecord::IsOnScreen(const InputEvent& event) const {
  return !notice_shown_ && event.row >= 1 && event.column >= 1 && event.row <= model_.rows &&
         event.column <= model_.columns;
}

}  // namespace console
