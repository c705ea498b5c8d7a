// The console backend for POSIX terminals, over ncursesw: it shows the cell model's grid on
// the controlling terminal (/dev/tty, so that redirected standard streams do not matter),
// reads the terminal's bytes itself and turns them into input events with the KeyDecoder,
// and restores the terminal on every way out: destruction, SIGTERM, SIGHUP, SIGINT from
// outside, a terminal that hangs up, and every other signal that ends the process, a
// crash included (console/terminal_signals_posix.h). After restoring on a signal it ends
// the process with that signal, so that the exit status tells what happened. A stop
// (SIGTSTP) gives the terminal back until the program runs on, then paints it anew.
//
// Only one backend may exist at a time in a process: the signal handlers it installs are
// process-wide.
#ifndef STATEKEEPER_CONSOLE_BACKEND_NCURSES_H_
#define STATEKEEPER_CONSOLE_BACKEND_NCURSES_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "console/backend.h"
#include "console/paint_record.h"

namespace console {

class TerminalBackend final : public Backend {
 public:
  // Takes over the controlling terminal (/dev/tty) with the terminal type of $TERM. Nothing,
  // with one line for standard error in `error`, when the process has no controlling
  // terminal or curses does not know $TERM. Call setlocale(LC_ALL, "") before.
  [[nodiscard]] static std::unique_ptr<TerminalBackend> Create(base::Error& error);
  // The same on the terminal open as `terminal_fd` (for tests and benchmarks); the backend
  // works on its own duplicates of the descriptor.
  [[nodiscard]] static std::unique_ptr<TerminalBackend> CreateOn(int terminal_fd,
                                                                 base::Error& error);

  // True once SIGTERM, SIGHUP or SIGINT has arrived: a long operation outside the backend
  // (a download) should stop. The next Present or ReadEvent restores the terminal and ends
  // the process with that signal.
  [[nodiscard]] static bool IsTerminationRequested();

  TerminalBackend(const TerminalBackend&) = delete;
  TerminalBackend& operator=(const TerminalBackend&) = delete;
  ~TerminalBackend() override;

  Size TerminalSize() override;
  void Present(const Grid& grid, int cursor_row, int cursor_column, bool cursor_visible) override;
  std::optional<InputEvent> ReadEvent(std::optional<std::int64_t> deadline_ms) override;
  std::int64_t NowMs() override;
  void SetTitle(std::string_view title) override;
  void RequestSize(Size size) override;
  void SetMouseReporting(bool on) override;

 private:
  struct State;  // the curses screen, descriptors, what is painted, the key decoder
  explicit TerminalBackend(std::unique_ptr<State> state);

  void Render(Repaint repaint);
  void ShowNotice();
  void DrawCell(int row, int column, const Cell& cell);
  // The colour pair and attributes that show a console attribute byte (see
  // console/terminal_colours.h); pairs are made on first use, so that terminals with fewer
  // pairs than combinations still get all used ones.
  void ChooseColours(std::uint8_t attribute, short& pair, unsigned& attributes);
  void HandleSignals();
  [[noreturn]] void EndWithSignal(int signal_number);
  void Restore();
  void WriteToTerminal(std::string_view bytes);

  std::unique_ptr<State> state_;
};

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_BACKEND_NCURSES_H_
