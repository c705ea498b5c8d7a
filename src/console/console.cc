#include "console/console.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include "console/text.h"

namespace console {
namespace {

constexpr Size kFallbackSize = {25, 80};
// A larger screen than any terminal shows; a request beyond it is refused and changes
// nothing (eight pages of cells must fit in memory).
constexpr int kMaxScreenDimension = 1000;
constexpr int kSignificantDigits = 15;

Grid BlankGrid(Size size, std::uint8_t attribute) {
  Grid grid;
  grid.rows = size.rows;
  grid.columns = size.columns;
  grid.cells.assign(static_cast<std::size_t>(size.rows) * size.columns, Cell{U' ', attribute});
  return grid;
}

}  // namespace

bool IsExtendedKey(std::string_view key, unsigned char scan_code) {
  return key.size() == 2 && key[0] == '\0' && static_cast<unsigned char>(key[1]) == scan_code;
}

bool IsMouseEvent(std::string_view key) {
  return key.size() == 4 && static_cast<unsigned char>(key[0]) == 255 &&
         static_cast<unsigned char>(key[1]) == 255;
}

std::string HorizontalRule(int count) {
  if (count <= 0) return "";
  const std::string piece = EncodeCharacter(U'\u2500').value_or("-");
  std::string rule;
  rule.reserve(piece.size() * count);
  for (int i = 0; i < count; ++i) rule += piece;
  return rule;
}

std::string FormatNumber(double value) {
  std::string text(1, value < 0 ? '-' : ' ');
  if (!std::isfinite(value)) {
    text += std::isnan(value) ? "NaN" : "Infinity";
    return text + ' ';
  }
  // The 15 significant digits as d.dddddddddddddde+X, then written out without exponent.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", kSignificantDigits - 1, std::fabs(value));
  const std::string_view formatted = buffer;
  const std::size_t exponent_at = formatted.find('e');
  std::string digits;
  for (const char character : formatted.substr(0, exponent_at)) {
    if (character != '.') digits += character;
  }
  const int exponent = std::atoi(buffer + exponent_at + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (digits == "0") return text + "0 ";
  if (exponent < 0) {
    text += '.';
    text.append(static_cast<std::size_t>(-exponent - 1), '0');
    text += digits;
  } else {
    const std::size_t whole_digits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= whole_digits) {
      text += digits;
      text.append(whole_digits - digits.size(), '0');
    } else {
      text += digits.substr(0, whole_digits);
      text += '.';
      text += digits.substr(whole_digits);
    }
  }
  return text + ' ';
}

Console::Console(Backend& backend) : backend_(backend), size_(backend.TerminalSize()) {
  if (size_.rows <= 0 || size_.columns <= 0) size_ = kFallbackSize;
  size_.rows = std::min(size_.rows, kMaxScreenDimension);
  size_.columns = std::min(size_.columns, kMaxScreenDimension);
  pages_[0] = BlankGrid(size_, attribute());
}

std::uint8_t Console::attribute() const {
  return static_cast<std::uint8_t>(background_ * 16 + foreground_);
}

Grid& Console::page(int number) {
  assert(number >= 1 && number <= kPageCount);
  Grid& grid = pages_[number - 1];
  if (grid.cells.empty()) grid = BlankGrid(size_, attribute());
  return grid;
}

const Cell& Console::cell(int row, int column) const {
  return cell_on_page(output_page_, row, column);
}

const Cell& Console::cell_on_page(int page, int row, int column) const {
  static constexpr Cell kUncreated{};
  assert(page >= 1 && page <= kPageCount);
  assert(row >= 1 && row <= size_.rows && column >= 1 && column <= size_.columns);
  const Grid& grid = pages_[page - 1];
  if (grid.cells.empty()) return kUncreated;
  return grid.at(row - 1, column - 1);
}

void Console::ClearScreen() {
  Grid& grid = page(output_page_);
  std::fill(grid.cells.begin(), grid.cells.end(), Cell{U' ', attribute()});
  cursor_row_ = 1;
  cursor_column_ = 1;
  scroll_pending_ = false;
}

void Console::SetColors(int foreground, int background) {
  if (foreground >= 0 && foreground <= 15) foreground_ = foreground;
  if (background >= 0 && background <= 15) background_ = background;
}

void Console::MoveCursor(int row, int column) {
  if (row >= 1 && row <= size_.rows) cursor_row_ = row;
  if (column >= 1 && column <= size_.columns) cursor_column_ = column;
  scroll_pending_ = false;
}

void Console::Scroll() {
  Grid& grid = page(output_page_);
  const auto row_cells = static_cast<std::ptrdiff_t>(grid.columns);
  std::move(grid.cells.begin() + row_cells, grid.cells.end(), grid.cells.begin());
  std::fill(grid.cells.end() - row_cells, grid.cells.end(), Cell{U' ', attribute()});
}

void Console::WriteCharacter(char32_t character) {
  if (scroll_pending_) {
    Scroll();
    scroll_pending_ = false;
  }
  page(output_page_).at(cursor_row_ - 1, cursor_column_ - 1) = Cell{character, attribute()};
  if (cursor_column_ < size_.columns) {
    ++cursor_column_;
    return;
  }
  cursor_column_ = 1;
  if (cursor_row_ < size_.rows) {
    ++cursor_row_;
  } else {
    // The screen moves only when something is written after the bottom-right cell.
    scroll_pending_ = true;
  }
}

void Console::WriteText(std::string_view text) {
  for (const char32_t character : DecodeText(text)) WriteCharacter(character);
}

void Console::WriteNumber(double value) { WriteText(FormatNumber(value)); }

void Console::EndLine() {
  if (cursor_row_ == size_.rows) {
    if (scroll_pending_) Scroll();
    Scroll();
  } else {
    ++cursor_row_;
  }
  scroll_pending_ = false;
  cursor_column_ = 1;
}

bool Console::ReadTypeAhead(std::string_view stop_key) {
  bool stopped = false;
  // A deadline just ahead: the backend then takes what the terminal has sent without
  // waiting for more.
  const std::int64_t deadline = backend_.NowMs() + 1;
  while (std::optional<InputEvent> event = backend_.ReadEvent(deadline)) {
    if (event->type == InputEvent::Type::kKey && event->key == stop_key) {
      stopped = true;
    } else {
      typed_ahead_.push_back(std::move(*event));
    }
  }
  return stopped;
}

std::optional<InputEvent> Console::NextEvent(std::optional<std::int64_t> deadline_ms) {
  if (typed_ahead_.empty()) return backend_.ReadEvent(deadline_ms);
  InputEvent event = std::move(typed_ahead_.front());
  typed_ahead_.pop_front();
  return event;
}

std::string Console::WaitKey(int time_limit_ms) {
  std::optional<std::int64_t> deadline;
  // Only 0 means no limit: a negative one has passed already, so that a caller counting
  // down a remaining time never turns it into a wait for ever.
  if (time_limit_ms != 0) deadline = backend_.NowMs() + time_limit_ms;
  Flush();
  for (;;) {
    const std::optional<InputEvent> event = NextEvent(deadline);
    if (!event) return "";
    if (event->type == InputEvent::Type::kKey) {
      if (!event->key.empty()) return event->key;
    } else if ((event->mouse_button & mouse_buttons_) != 0 &&
               (event->mouse_kind & mouse_kinds_) != 0) {
      mouse_position_ = {event->row, event->column};
      return std::string{static_cast<char>(255), static_cast<char>(255),
                         static_cast<char>(event->mouse_kind),
                         static_cast<char>(event->mouse_button)};
    }
    // A dropped event: a stream of them must not hold the wait past its deadline.
    if (deadline && backend_.NowMs() >= *deadline) return "";
  }
}

std::string Console::ReadKey() {
  for (;;) {
    Flush();
    const std::optional<InputEvent> event = NextEvent(std::nullopt);
    // No event without a time limit: the input is gone.
    if (!event) return "";
    if (event->type == InputEvent::Type::kKey && !event->key.empty()) return event->key;
  }
}

void Console::EraseBackward() {
  if (scroll_pending_) {
    // The last character filled the bottom-right cell; the cursor stands after it.
    scroll_pending_ = false;
    cursor_column_ = size_.columns;
  } else if (cursor_column_ > 1) {
    --cursor_column_;
  } else if (cursor_row_ > 1) {
    --cursor_row_;
    cursor_column_ = size_.columns;
  } else {
    return;
  }
  page(output_page_).at(cursor_row_ - 1, cursor_column_ - 1) = Cell{U' ', attribute()};
}

void Console::SetTitle(std::string_view title) { backend_.SetTitle(title); }

void Console::SetScreenSize(int rows, int columns) {
  if (rows < 1 || rows > kMaxScreenDimension || columns < 1 || columns > kMaxScreenDimension) {
    return;
  }
  size_ = {rows, columns};
  for (Grid& grid : pages_) {
    if (!grid.cells.empty()) grid = BlankGrid(size_, attribute());
  }
  cursor_row_ = std::min(cursor_row_, rows);
  cursor_column_ = std::min(cursor_column_, columns);
  scroll_pending_ = false;
  backend_.RequestSize(size_);
}

void Console::SelectPage(int output_page, int shown_page) {
  if (output_page >= 1 && output_page <= kPageCount && output_page != output_page_) {
    page(output_page);
    output_page_ = output_page;
    scroll_pending_ = false;  // the pending scroll belonged to the other page
  }
  if (shown_page >= 1 && shown_page <= kPageCount) {
    page(shown_page);
    shown_page_ = shown_page;
  }
}

void Console::SetCursorVisible(bool visible) { cursor_visible_ = visible; }

void Console::EnableMouse(int buttons, int kinds) {
  mouse_buttons_ = buttons;
  mouse_kinds_ = kinds;
  backend_.SetMouseReporting(buttons != 0 && kinds != 0);
}

void Console::Flush() {
  backend_.Present(page(shown_page_), cursor_row_, cursor_column_, cursor_visible_);
}

}  // namespace console
