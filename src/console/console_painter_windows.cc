#include "console/console_painter_windows.h"

#include <algorithm>
#include <string>
#include <vector>

#include "console/windows_translate.h"

namespace console {
namespace {

// Runs of changed cells closer than this are written as one.
constexpr int kMergeGap = 4;
// The cursor's size in percent of the cell.
constexpr DWORD kCursorSize = 10;
constexpr WORD kDefaultAttribute = 0x07;

}  // namespace

void ConsolePainter::Render(Repaint repaint) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(output_, &info)) return;
  const Size window{info.srWindow.Bottom - info.srWindow.Top + 1,
                    info.srWindow.Right - info.srWindow.Left + 1};
  if (record_.NeedsNotice(window)) {
    ShowNotice(info, window);
    return;
  }
  // What lies beyond the screen (a larger window) is blank.
  const CellPosition window_origin{info.srWindow.Top, info.srWindow.Left};
  if (record_.StartFrame(repaint, window_origin) == FrameStart::kAllCellsOnBlank) {
    BlankWindow(info, window);
  }
  const Grid& model = record_.model();
  const int rows = std::min(model.rows, info.dwSize.Y - window_origin.row);
  const int columns = std::min(model.columns, info.dwSize.X - window_origin.column);
  for (int row = 0; row < rows; ++row) {
    for (const CellRun& run : record_.TakeChangedRuns(row, columns, kMergeGap)) {
      WriteRun(row, run);
    }
  }
  if (rows > 0 && columns > 0) {
    const CellPosition cursor = record_.ClampCursor(rows, columns);
    SetConsoleCursorPosition(output_,
                             COORD{static_cast<SHORT>(window_origin.column + cursor.column),
                                   static_cast<SHORT>(window_origin.row + cursor.row)});
  }
  SetCursorShown(record_.cursor_visible());
}

void ConsolePainter::WriteRun(int row, CellRun run) {
  const Grid& grid = record_.model();
  const CellPosition origin = record_.origin();
  const int length = run.end - run.begin;
  std::vector<CHAR_INFO> cells(static_cast<std::size_t>(length));
  for (int i = 0; i < length; ++i) {
    const Cell& cell = grid.at(row, run.begin + i);
    cells[static_cast<std::size_t>(i)].Char.UnicodeChar =
        static_cast<WCHAR>(CellCharacter(cell.character));
    cells[static_cast<std::size_t>(i)].Attributes = cell.attribute;
  }
  const auto top = static_cast<SHORT>(origin.row + row);
  SMALL_RECT region{static_cast<SHORT>(origin.column + run.begin), top,
                    static_cast<SHORT>(origin.column + run.end - 1), top};
  WriteConsoleOutputW(output_, cells.data(), COORD{static_cast<SHORT>(length), 1}, COORD{0, 0},
                      &region);
}

void ConsolePainter::ShowNotice(const CONSOLE_SCREEN_BUFFER_INFO& info, Size window) {
  BlankWindow(info, window);
  const Grid& model = record_.model();
  DWORD written = 0;
  for (const NoticeLine& line : ComposeTooSmallNotice(Size{model.rows, model.columns}, window)) {
    const std::wstring wide(line.text.begin(), line.text.end());
    const COORD start{static_cast<SHORT>(info.srWindow.Left + line.column),
                      static_cast<SHORT>(info.srWindow.Top + line.row)};
    WriteConsoleOutputCharacterW(output_, wide.c_str(), static_cast<DWORD>(wide.size()), start,
                                 &written);
  }
  SetCursorShown(false);
  record_.RecordNotice();
}

void ConsolePainter::BlankWindow(const CONSOLE_SCREEN_BUFFER_INFO& info, Size window) {
  DWORD written = 0;
  for (SHORT row = 0; row < window.rows; ++row) {
    const COORD start{info.srWindow.Left, static_cast<SHORT>(info.srWindow.Top + row)};
    FillConsoleOutputCharacterW(output_, L' ', static_cast<DWORD>(window.columns), start, &written);
    FillConsoleOutputAttribute(output_, kDefaultAttribute, static_cast<DWORD>(window.columns),
                               start, &written);
  }
}

void ConsolePainter::SetCursorShown(bool visible) {
  const int wanted = visible ? 1 : 0;
  if (wanted == shown_cursor_) return;
  const CONSOLE_CURSOR_INFO cursor{kCursorSize, visible ? TRUE : FALSE};
  SetConsoleCursorInfo(output_, &cursor);
  shown_cursor_ = wanted;
}

}  // namespace console
