// The seam between the console's cell model and a platform. A backend shows the cells that
// the model hands it and delivers input events; it decides nothing that the program relies
// on (filters, Key strings for mouse events, deadlines and scrolling are the model's).
// No platform header is included here.
#ifndef STATEKEEPER_CONSOLE_BACKEND_H_
#define STATEKEEPER_CONSOLE_BACKEND_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace console {

// One character cell: a Unicode character and a colour attribute (background x 16 +
// foreground, colour numbers of the 16-colour console palette).
struct Cell {
  char32_t character = U' ';
  std::uint8_t attribute = 0x07;

  friend bool operator==(const Cell&, const Cell&) = default;
};

// A page of cells, row-major, rows and columns counted from 0 here.
struct Grid {
  int rows = 0;
  int columns = 0;
  std::vector<Cell> cells;

  const Cell& at(int row, int column) const { return cells[row * columns + column]; }
  Cell& at(int row, int column) { return cells[row * columns + column]; }
};

struct Size {
  int rows = 0;
  int columns = 0;

  friend bool operator==(const Size&, const Size&) = default;
};

// Mouse event kinds and buttons, with the values that the Key string of a mouse event
// carries.
enum MouseKind : int {
  kMouseMoved = 1,
  kMouseDoubleClick = 2,
  kMousePressed = 4,
  kMouseReleased = 8
};
enum MouseButton : int { kMouseLeft = 1, kMouseRight = 2, kMouseMiddle = 4 };

// One input event as a backend delivers it.
struct InputEvent {
  enum class Type { kKey, kMouse };
  Type type = Type::kKey;
  // kKey: the Key string (one character in the locale's encoding, or NUL and a scan code).
  std::string key;
  // kMouse: what happened, to which button, and where (from 1, screen cells).
  int mouse_kind = 0;
  int mouse_button = 0;
  int row = 0;
  int column = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // The size of the terminal or window at this moment, in cells.
  virtual Size TerminalSize() = 0;

  // Shows `grid` with the cursor at (row, column), from 1, shown or hidden. The backend
  // keeps what it needs to repaint on its own (after a resize, say); `grid` is borrowed
  // for the call only.
  virtual void Present(const Grid& grid, int cursor_row, int cursor_column,
                       bool cursor_visible) = 0;

  // Waits for the next input event until `deadline_ms` on the clock of NowMs(), or for
  // ever when there is no deadline. Returns nothing when the deadline passed first.
  virtual std::optional<InputEvent> ReadEvent(std::optional<std::int64_t> deadline_ms) = 0;

  // Milliseconds on a monotonic clock.
  virtual std::int64_t NowMs() = 0;

  // Sets the window title where the platform has one; `title` is in the locale's encoding.
  virtual void SetTitle(std::string_view title) = 0;

  // Asks the terminal or window to become `size`; the program's screen has that size from
  // now on whether the request is honoured or not.
  virtual void RequestSize(Size size) = 0;

  // Turns the platform's mouse reporting on or off.
  virtual void SetMouseReporting(bool on) = 0;
};

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_BACKEND_H_
