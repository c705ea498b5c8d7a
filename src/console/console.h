// The console the program draws on: up to eight pages of character cells, a cursor, the
// current colours, the pending scroll, cursor visibility, mouse reporting and the key
// reader. Every rule the screens rely on (where text goes, when the screen scrolls, what a
// key or a click gives) is decided here; the Backend it borrows only shows cells and
// delivers input events. Text is in the locale's encoding and is converted at this
// boundary; text that is not valid there shows as U+FFFD.
#ifndef STATEKEEPER_CONSOLE_CONSOLE_H_
#define STATEKEEPER_CONSOLE_CONSOLE_H_

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "console/backend.h"

namespace console {

// Scan codes that the program tests for in Key strings (NUL followed by the code).
inline constexpr unsigned char kScanUp = 72;
inline constexpr unsigned char kScanDown = 80;
inline constexpr unsigned char kScanLeft = 75;
inline constexpr unsigned char kScanRight = 77;
inline constexpr unsigned char kScanPageUp = 73;
inline constexpr unsigned char kScanPageDown = 81;

inline constexpr char kKeyEnter = 13;
inline constexpr char kKeyEscape = 27;
inline constexpr char kKeyBackspace = 8;

// True for the Key string of an Extended key (NUL, then `scan_code`).
bool IsExtendedKey(std::string_view key, unsigned char scan_code);
// True for the four-character Key string of a mouse event (255, 255, kind, button).
bool IsMouseEvent(std::string_view key);

// `count` light horizontal box-drawing characters (U+2500) in the locale's encoding, to be
// written with WriteText; a locale that cannot encode it gets "-".
std::string HorizontalRule(int count);

// The text WriteNumber writes for `value`: a blank or a minus sign, at most 15 significant
// digits without trailing zeros after the point and without a 0 in front of it, one blank.
std::string FormatNumber(double value);

struct MousePosition {
  int row = 0;
  int column = 0;
};

class Console {
 public:
  static constexpr int kPageCount = 8;

  // Borrows `backend` for the console's whole life. The screen starts with the terminal's
  // size, in colours 7 on 0, cursor shown at row 1, column 1.
  explicit Console(Backend& backend);
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Every cell of the output page becomes a blank in the current colours; the cursor goes
  // to row 1, column 1; a pending scroll is cleared.
  void ClearScreen();
  // Values 0 to 15 become current; 16 or more keeps the current one.
  void SetColors(int foreground, int background);
  // Rows and columns from 1; a coordinate outside the screen keeps its current value. A
  // pending scroll is cleared.
  void MoveCursor(int row, int column);
  // Puts each character into the cell at the cursor, wrapping at the row's end; after the
  // bottom-right cell a scroll becomes pending and happens before the next character.
  void WriteText(std::string_view text);
  // Puts one character into the cell at the cursor, as WriteText does each of its own.
  void WriteCharacter(char32_t character);
  // Takes back the last character written: the cursor goes back one cell (from a pending
  // scroll onto the bottom-right cell, from column 1 to the end of the row above) and that
  // cell becomes a blank in the current colours. At row 1, column 1 nothing changes: the
  // character scrolled off the top.
  void EraseBackward();
  void WriteNumber(double value);
  // Cursor to column 1 of the next row; on the bottom row the page scrolls (twice when a
  // scroll was pending) and the cursor stays there.
  void EndLine();

  // Waits for one key press or enabled mouse event and returns its Key string; with a time
  // limit in milliseconds (0 = none) returns "" when it passes first. Shows what has been
  // drawn before it waits.
  std::string WaitKey(int time_limit_ms);
  // Waits without a time limit for the next key press, dropping every mouse event, and
  // returns its Key string; "" when the input is gone for good (the terminal hung up).
  // Shows what has been drawn before each wait. The line editor reads its keys so.
  std::string ReadKey();
  // Takes the input events that have already arrived, without waiting for more, and keeps
  // them in order for the next WaitKey and ReadKey: for a caller busy with something else
  // (a download) that still listens for one key. Returns true when a press of `stop_key` was
  // among them; that key is taken out, not kept.
  bool ReadTypeAhead(std::string_view stop_key);

  void SetTitle(std::string_view title);
  // From now on the screen is exactly `rows` x `columns` whatever the terminal's size; every
  // page is cleared in the current colours.
  void SetScreenSize(int rows, int columns);
  // Pages 1 to 8, created on first use with the screen's size.
  void SelectPage(int output_page, int shown_page);
  void SetCursorVisible(bool visible);
  // `buttons` and `kinds` are sums of MouseButton and MouseKind values; 0 turns reporting
  // off.
  void EnableMouse(int buttons, int kinds);
  MousePosition mouse_position() const { return mouse_position_; }

  // Shows what has been drawn so far. WaitKey and ReadKey do this themselves; a caller
  // that is about to block on something else (a download) calls it first.
  void Flush();

  // Milliseconds on the backend's monotonic clock, for timing what the operator waits for.
  std::int64_t NowMs() { return backend_.NowMs(); }

  // For tests and for backends: the screen's size and the cells of a page (from 1).
  int rows() const { return size_.rows; }
  int columns() const { return size_.columns; }
  const Cell& cell(int row, int column) const;
  const Cell& cell_on_page(int page, int row, int column) const;
  int cursor_row() const { return cursor_row_; }
  int cursor_column() const { return cursor_column_; }
  int foreground() const { return foreground_; }
  int background() const { return background_; }
  bool cursor_visible() const { return cursor_visible_; }

 private:
  Grid& page(int number);
  // The oldest kept event, else the backend's next one.
  std::optional<InputEvent> NextEvent(std::optional<std::int64_t> deadline_ms);
  void Scroll();
  std::uint8_t attribute() const;

  Backend& backend_;
  Size size_;
  std::array<Grid, kPageCount> pages_;  // an empty grid is a page not yet created
  int output_page_ = 1;
  int shown_page_ = 1;
  int cursor_row_ = 1;
  int cursor_column_ = 1;
  int foreground_ = 7;
  int background_ = 0;
  bool scroll_pending_ = false;
  bool cursor_visible_ = true;
  int mouse_buttons_ = 0;
  int mouse_kinds_ = 0;
  MousePosition mouse_position_;
  std::deque<InputEvent> typed_ahead_;
};

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_CONSOLE_H_
