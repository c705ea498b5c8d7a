// The console backend for Windows, over the Win32 console API: it shows the cell model's
// grid in the process's console (writing only the cells that changed), reads key and mouse
// records from CONIN$ and turns them into input events, and gives the console back as it
// found it (modes, cursor, title, buffer and window size) on destruction and when the
// console is closed, the user logs off or the system shuts down; after a crash (an
// unhandled exception, abort()) its modes, cursor, colours and title.
//
// Only one backend may exist at a time in a process: the console control handler it
// installs is process-wide.
#ifndef STATEKEEPER_CONSOLE_BACKEND_WINDOWS_H_
#define STATEKEEPER_CONSOLE_BACKEND_WINDOWS_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "console/backend.h"

namespace console {

class WindowsConsoleBackend final : public Backend {
 public:
  // Takes over the process's console: the standard output when it is a console, else the
  // standard error, else CONOUT$; input always from CONIN$, so that redirected standard
  // streams do not matter. Nothing, with one line for standard error in `error`, when the
  // process has no console or a backend exists already.
  [[nodiscard]] static std::unique_ptr<WindowsConsoleBackend> Create(base::Error& error);

  // True once the console was closed, or the user logs off or the system shuts down: a
  // long operation outside the backend (a download) should stop. Drawing then does
  // nothing, and the next ReadEvent that would wait restores the console and ends the
  // process (one whose deadline is due within a few milliseconds returns nothing).
  [[nodiscard]] static bool IsTerminationRequested();

  WindowsConsoleBackend(const WindowsConsoleBackend&) = delete;
  WindowsConsoleBackend& operator=(const WindowsConsoleBackend&) = delete;
  ~WindowsConsoleBackend() override;

  // The console window's size in cells.
  Size TerminalSize() override;
  void Present(const Grid& grid, int cursor_row, int cursor_column, bool cursor_visible) override;
  std::optional<InputEvent> ReadEvent(std::optional<std::int64_t> deadline_ms) override;
  std::int64_t NowMs() override;
  void SetTitle(std::string_view title) override;
  // Makes the buffer and the window exactly `size`, the window kept where it is on the
  // desktop; a console that refuses keeps its size, and the screen is drawn at the window's
  // top left (or replaced by a notice while the window is too small).
  void RequestSize(Size size) override;
  void SetMouseReporting(bool on) override;

 private:
  struct State;  // console handles, what was saved, what is painted, queued events
  explicit WindowsConsoleBackend(std::unique_ptr<State> state);

  std::unique_ptr<State> state_;
};

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_BACKEND_WINDOWS_H_
