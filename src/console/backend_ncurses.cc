#include "console/backend_ncurses.h"

#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <ncursesw/curses.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <utility>

#include "console/keys.h"
#include "console/text.h"

namespace console {
namespace {

// What the signal handlers share with the backend. Signal handlers can only talk through
// objects like these: the number of a termination signal, a resize flag and the write end
// of the self-pipe that wakes the input wait.
volatile sig_atomic_t g_termination_signal = 0;
volatile sig_atomic_t g_resized = 0;
volatile sig_atomic_t g_wake_fd = -1;

void WakeUp() {
  const int fd = g_wake_fd;
  if (fd >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(fd, &byte, 1);
  }
}

void OnTerminationSignal(int signal_number) {
  const int saved_errno = errno;
  if (g_termination_signal == 0) g_termination_signal = signal_number;
  WakeUp();
  errno = saved_errno;
}

void OnResize(int) {
  const int saved_errno = errno;
  g_resized = 1;
  WakeUp();
  errno = saved_errno;
}

constexpr int kHandledSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGWINCH};

// Console colour numbers to curses (ANSI) colour numbers: the two palettes swap blue and
// red, cyan and brown.
constexpr short kAnsiColour[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};

// Light grey on black, the console's default colours; curses pair 0 is made to show them.
constexpr std::uint8_t kDefaultAttribute = 0x07;

// The glyphs a Windows console shows for the control characters, so that a control code
// written into a cell takes one cell as there.
constexpr char32_t kControlGlyphs[32] = {
    U' ',      U'\u263A', U'\u263B', U'\u2665', U'\u2666', U'\u2663', U'\u2660', U'\u2022',
    U'\u25D8', U'\u25CB', U'\u25D9', U'\u2642', U'\u2640', U'\u266A', U'\u266B', U'\u263C',
    U'\u25BA', U'\u25C4', U'\u2195', U'\u203C', U'\u00B6', U'\u00A7', U'\u25AC', U'\u21A8',
    U'\u2191', U'\u2193', U'\u2192', U'\u2190', U'\u221F', U'\u2194', U'\u25B2', U'\u25BC'};

// No cell of the model holds this, so a painted grid filled with it is drawn in full.
constexpr char32_t kNothingPainted = 0xFFFFFFFF;

std::int64_t MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

std::string ErrnoText(const char* what) {
  return std::string("statekeeper: ") + what + ": " + std::strerror(errno);
}

}  // namespace

struct TerminalBackend::State {
  int tty_fd = -1;
  int wake_read_fd = -1;
  int wake_write_fd = -1;
  FILE* output = nullptr;
  FILE* input = nullptr;
  SCREEN* screen = nullptr;
  bool utf8 = true;
  enum class Palette { kSixteen, kEight, kNone } palette = Palette::kNone;
  // Pairs by attribute byte (sixteen colours) or by (foreground & 7) + 8 * (background & 7)
  // (eight); 0 until made, and for the default colours, which pair 0 shows.
  std::array<short, 256> pairs{};
  int next_pair = 1;
  struct sigaction old_actions[std::size(kHandledSignals)] = {};
  bool handlers_installed = false;
  bool restored = false;

  KeyDecoder decoder;
  Size terminal_size;
  bool size_requested = false;
  bool mouse_on = false;
  bool title_pushed = false;

  // The model's last grid and cursor, kept to repaint on our own after a resize.
  Grid model;
  int cursor_row = 1;
  int cursor_column = 1;
  bool cursor_visible = true;
  // What the curses screen holds now; cells that equal it are not touched again.
  Grid painted;
  bool notice_shown = false;
  int curses_cursor = -1;  // the last curs_set value

  explicit State(InputEncoding encoding) : decoder(encoding) {}

  // Closes what was opened so far, for a failed CreateOn.
  void CloseFiles() {
    if (output != nullptr) fclose(output);
    if (input != nullptr) fclose(input);
    if (tty_fd >= 0) close(tty_fd);
    output = input = nullptr;
    tty_fd = -1;
  }
};

TerminalBackend::TerminalBackend(std::unique_ptr<State> state) : state_(std::move(state)) {}

std::unique_ptr<TerminalBackend> TerminalBackend::Create(std::string& error) {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = ErrnoText("no terminal to run in (/dev/tty)");
    return nullptr;
  }
  std::unique_ptr<TerminalBackend> backend = CreateOn(fd, error);
  close(fd);
  return backend;
}

std::unique_ptr<TerminalBackend> TerminalBackend::CreateOn(int terminal_fd, std::string& error) {
  if (g_wake_fd >= 0) {
    error = "statekeeper: the terminal is already in use";
    return nullptr;
  }
  if (!isatty(terminal_fd)) {
    error = "statekeeper: no terminal to run in (not a terminal device)";
    return nullptr;
  }
  const char* codeset = nl_langinfo(CODESET);
  const bool utf8 = codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
  auto state = std::make_unique<State>(utf8 ? InputEncoding::kUtf8 : InputEncoding::kSingleByte);
  state->utf8 = utf8;
  // The backend owns the descriptors it works on, so that closing them is its business.
  state->tty_fd = fcntl(terminal_fd, F_DUPFD_CLOEXEC, 3);
  if (state->tty_fd < 0) {
    error = ErrnoText("cannot use the terminal");
    return nullptr;
  }
  const int output_fd = fcntl(state->tty_fd, F_DUPFD_CLOEXEC, 3);
  const int input_fd = fcntl(state->tty_fd, F_DUPFD_CLOEXEC, 3);
  state->output = output_fd >= 0 ? fdopen(output_fd, "w") : nullptr;
  state->input = input_fd >= 0 ? fdopen(input_fd, "r") : nullptr;
  if (state->output == nullptr || state->input == nullptr) {
    error = ErrnoText("cannot use the terminal");
    if (state->output == nullptr && output_fd >= 0) close(output_fd);
    if (state->input == nullptr && input_fd >= 0) close(input_fd);
    state->CloseFiles();
    return nullptr;
  }

  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0') {
    state->CloseFiles();
    error = "statekeeper: the terminal type is not set (TERM)";
    return nullptr;
  }
  // The handlers from before curses, to put back at the end: curses installs its own for
  // some of these signals, and they call functions that a handler must not.
  for (std::size_t i = 0; i < std::size(kHandledSignals); ++i) {
    sigaction(kHandledSignals[i], nullptr, &state->old_actions[i]);
  }
  // The size comes from the terminal (the ioctl), not from $LINES and $COLUMNS. (use_env
  // (FALSE) would take terminfo's fixed 80 x 24 instead.)
  use_tioctl(TRUE);
  state->screen = newterm(term, state->output, state->input);
  if (state->screen == nullptr) {
    state->CloseFiles();
    error = std::string("statekeeper: unknown terminal type '") + term + "'";
    return nullptr;
  }
  set_term(state->screen);
  raw();  // Ctrl+C and Ctrl+Z arrive as characters 3 and 26; no signal, no flow control
  noecho();
  nonl();
  keypad(stdscr, FALSE);  // the KeyDecoder reads the terminal's own bytes
  typeahead(-1);          // curses never reads the terminal: the backend does
  leaveok(stdscr, FALSE);
  if (has_colors() && start_color() == OK) {
    state->palette = COLORS >= 16 ? State::Palette::kSixteen : State::Palette::kEight;
    // Pair 0 shows light grey on black, so that blank space is painted as a console's.
    assume_default_colors(COLOR_WHITE, COLOR_BLACK);
  }

  int pipe_fds[2];
  if (pipe2(pipe_fds, O_NONBLOCK | O_CLOEXEC) != 0) {
    error = ErrnoText("cannot create a pipe");
    endwin();
    delscreen(state->screen);
    state->CloseFiles();
    return nullptr;
  }
  state->wake_read_fd = pipe_fds[0];
  state->wake_write_fd = pipe_fds[1];

  g_termination_signal = 0;
  g_resized = 0;
  g_wake_fd = state->wake_write_fd;
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal_number : kHandledSignals) {
    action.sa_handler = signal_number == SIGWINCH ? OnResize : OnTerminationSignal;
    sigaction(signal_number, &action, nullptr);
  }
  state->handlers_installed = true;

  std::unique_ptr<TerminalBackend> backend(new TerminalBackend(std::move(state)));
  backend->state_->terminal_size = Size{LINES, COLS};
  return backend;
}

bool TerminalBackend::TerminationRequested() { return g_termination_signal != 0; }

TerminalBackend::~TerminalBackend() {
  Restore();
  State& s = *state_;
  if (s.handlers_installed) {
    for (std::size_t i = 0; i < std::size(kHandledSignals); ++i) {
      sigaction(kHandledSignals[i], &s.old_actions[i], nullptr);
    }
  }
  g_wake_fd = -1;
  if (s.screen != nullptr) delscreen(s.screen);
  s.CloseFiles();
  if (s.wake_read_fd >= 0) close(s.wake_read_fd);
  if (s.wake_write_fd >= 0) close(s.wake_write_fd);
}

// Mouse reporting off, the title the terminal had, the cursor shown, and curses' own
// restoring (normal screen, the terminal modes from before). Safe to call twice.
void TerminalBackend::Restore() {
  State& s = *state_;
  if (s.restored) return;
  s.restored = true;
  if (s.mouse_on) WriteToTerminal("\x1b[?1006l\x1b[?1000l");
  s.mouse_on = false;
  if (s.title_pushed) WriteToTerminal("\x1b[23;0t");
  curs_set(1);
  endwin();
}

void TerminalBackend::WriteToTerminal(std::string_view bytes) {
  // curses writes its own output straight to the descriptor at the end of each update, so
  // these sequences never land in the middle of one.
  std::fflush(state_->output);
  while (!bytes.empty()) {
    const ssize_t written = write(state_->tty_fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return;  // a terminal that is gone takes nothing more
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

[[noreturn]] void TerminalBackend::EndWithSignal(int signal_number) {
  Restore();
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal_number);
  _exit(128 + signal_number);  // only if the signal did not end the process
}

void TerminalBackend::HandleSignals() {
  State& s = *state_;
  char drain[64];
  while (read(s.wake_read_fd, drain, sizeof drain) > 0) {
  }
  if (g_termination_signal != 0) EndWithSignal(g_termination_signal);
  if (g_resized != 0) {
    g_resized = 0;
    winsize size{};
    if (ioctl(s.tty_fd, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0) {
      resizeterm(size.ws_row, size.ws_col);
      s.terminal_size = Size{size.ws_row, size.ws_col};
    }
    // The terminal may have reflowed or cleared what it showed: paint everything again.
    clearok(curscr, TRUE);
    if (s.model.rows > 0) Render(true);
  }
}

Size TerminalBackend::TerminalSize() {
  HandleSignals();
  return state_->terminal_size;
}

std::int64_t TerminalBackend::NowMs() { return MonotonicMs(); }

void TerminalBackend::SetTitle(std::string_view title) {
  State& s = *state_;
  std::string sequence;
  if (!s.title_pushed) {
    sequence += "\x1b[22;0t";  // keep the terminal's own title to give it back at the end
    s.title_pushed = true;
  }
  sequence += "\x1b]0;";
  for (char c : title) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 32 && byte != 127) sequence += c;  // no control code ends the sequence early
  }
  sequence += '\a';
  WriteToTerminal(sequence);
}

void TerminalBackend::RequestSize(Size size) {
  state_->size_requested = true;
  WriteToTerminal("\x1b[8;" + std::to_string(size.rows) + ";" + std::to_string(size.columns) + "t");
}

void TerminalBackend::SetMouseReporting(bool on) {
  State& s = *state_;
  if (on == s.mouse_on) return;
  s.mouse_on = on;
  WriteToTerminal(on ? "\x1b[?1000h\x1b[?1006h" : "\x1b[?1006l\x1b[?1000l");
}

void TerminalBackend::Present(const Grid& grid, int cursor_row, int cursor_column,
                              bool cursor_visible) {
  HandleSignals();
  State& s = *state_;
  s.model = grid;
  s.cursor_row = cursor_row;
  s.cursor_column = cursor_column;
  s.cursor_visible = cursor_visible;
  Render(false);
}

void TerminalBackend::Render(bool full) {
  State& s = *state_;
  const Grid& grid = s.model;
  if (s.size_requested && (LINES < grid.rows || COLS < grid.columns)) {
    // Instead of a clipped screen (where clicks would not match the cells), a short notice.
    ShowNotice();
    return;
  }
  if (full || s.notice_shown || s.painted.rows != grid.rows || s.painted.columns != grid.columns) {
    erase();  // what lies beyond the screen (a larger terminal) is blank
    s.painted = Grid{grid.rows, grid.columns,
                     std::vector<Cell>(grid.cells.size(), Cell{kNothingPainted, 0})};
    s.notice_shown = false;
  }
  const int rows = std::min(grid.rows, LINES);
  const int columns = std::min(grid.columns, COLS);
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      const Cell& cell = grid.at(row, column);
      Cell& shown = s.painted.at(row, column);
      if (cell == shown) continue;
      shown = cell;
      DrawCell(row, column, cell);
    }
  }
  const int want_cursor = s.cursor_visible ? 1 : 0;
  if (want_cursor != s.curses_cursor) {
    curs_set(want_cursor);
    s.curses_cursor = want_cursor;
  }
  move(std::clamp(s.cursor_row - 1, 0, std::max(0, rows - 1)),
       std::clamp(s.cursor_column - 1, 0, std::max(0, columns - 1)));
  wnoutrefresh(stdscr);
  doupdate();
}

void TerminalBackend::ShowNotice() {
  State& s = *state_;
  erase();
  const std::string lines[] = {
      "Please make this window at least " + std::to_string(s.model.columns) + " x " +
          std::to_string(s.model.rows),
      "(now " + std::to_string(COLS) + " x " + std::to_string(LINES) + ")"};
  const int top = std::max(0, LINES / 2 - 1);
  for (int offset = 0; offset < 2; ++offset) {
    const std::string& text = lines[offset];
    const int length = std::min(static_cast<int>(text.size()), COLS);
    if (top + offset < LINES) {
      mvaddnstr(top + offset, std::max(0, (COLS - length) / 2), text.c_str(), length);
    }
  }
  curs_set(0);
  s.curses_cursor = 0;
  s.notice_shown = true;
  s.painted = Grid{};
  wnoutrefresh(stdscr);
  doupdate();
}

void TerminalBackend::DrawCell(int row, int column, const Cell& cell) {
  const State& s = *state_;
  short pair = 0;
  unsigned attributes = A_NORMAL;
  ColorFor(cell.attribute, pair, attributes);
  char32_t character = cell.character;
  if (character < 32) character = kControlGlyphs[character];
  if (character == 127) character = U'\u2302';
  if (!s.utf8 && character >= 128) {
    if (character == U'\u2500') {
      mvaddch(row, column, ACS_HLINE | attributes | COLOR_PAIR(pair));
      return;
    }
    if (!EncodeCharacter(character)) character = U'?';
  }
  wchar_t text[2] = {static_cast<wchar_t>(character), L'\0'};
  // A character that does not take exactly one cell (wide, combining, unprintable) would
  // shift the rest of the row.
  if (character > 0x10FFFF || wcwidth(text[0]) != 1) text[0] = s.utf8 ? L'\uFFFD' : L'?';
  cchar_t styled;
  setcchar(&styled, text, attributes, pair, nullptr);
  mvadd_wch(row, column, &styled);  // ERR in the bottom-right cell, but it is drawn
}

void TerminalBackend::ColorFor(std::uint8_t attribute, short& pair, unsigned& attributes) {
  State& s = *state_;
  const int foreground = attribute & 15;
  const int background = attribute >> 4;
  pair = 0;
  attributes = A_NORMAL;
  if (s.palette == State::Palette::kNone) {
    if (foreground >= 8) attributes |= A_BOLD;
    if (background != 0) attributes |= A_REVERSE;
    return;
  }
  int key = attribute;
  int curses_foreground = kAnsiColour[foreground];
  int curses_background = kAnsiColour[background];
  if (s.palette == State::Palette::kEight) {
    // Bright colours as attributes: bold brightens the foreground; blink is what the Linux
    // console shows as a bright background.
    if (foreground >= 8) attributes |= A_BOLD;
    if (background >= 8) attributes |= A_BLINK;
    key = (foreground & 7) + 8 * (background & 7);
    curses_foreground &= 7;
    curses_background &= 7;
  }
  if (key == kDefaultAttribute) return;  // pair 0
  if (s.pairs[key] == 0 && s.next_pair < COLOR_PAIRS && s.next_pair < SHRT_MAX) {
    const auto made = static_cast<short>(s.next_pair++);
    if (init_pair(made, static_cast<short>(curses_foreground),
                  static_cast<short>(curses_background)) == OK) {
      s.pairs[key] = made;
    }
  }
  pair = s.pairs[key];  // 0 when no pair was left: the default colours
}

std::optional<InputEvent> TerminalBackend::ReadEvent(std::optional<std::int64_t> deadline_ms) {
  State& s = *state_;
  for (;;) {
    HandleSignals();
    const std::int64_t now = MonotonicMs();
    if (std::optional<InputEvent> event = s.decoder.Next(now)) {
      if (event->type == InputEvent::Type::kMouse &&
          (s.notice_shown || event->row < 1 || event->column < 1 || event->row > s.model.rows ||
           event->column > s.model.columns)) {
        continue;  // not on a cell of the program's screen
      }
      return event;
    }
    if (deadline_ms && now >= *deadline_ms) return std::nullopt;
    std::optional<std::int64_t> wake = deadline_ms;
    if (const std::optional<std::int64_t> pending = s.decoder.Deadline()) {
      wake = wake ? std::min(*wake, *pending) : *pending;
    }
    int timeout_ms = -1;
    if (wake) timeout_ms = static_cast<int>(std::clamp<std::int64_t>(*wake - now, 0, INT_MAX));
    pollfd fds[2] = {{s.tty_fd, POLLIN, 0}, {s.wake_read_fd, POLLIN, 0}};
    const int ready = poll(fds, 2, timeout_ms);
    if (ready < 0) {
      if (errno == EINTR) continue;
      EndWithSignal(SIGHUP);
    }
    if (fds[0].revents != 0) {
      char buffer[4096];
      const ssize_t count = read(s.tty_fd, buffer, sizeof buffer);
      if (count > 0) {
        s.decoder.Feed(std::string_view(buffer, static_cast<std::size_t>(count)), MonotonicMs());
      } else if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
        // The terminal is gone (end of file, or EIO once it hung up): as if it had sent
        // SIGHUP.
        EndWithSignal(SIGHUP);
      }
    }
  }
}

}  // namespace console
