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
#include <termios.h>
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

#include "base/unique_handle.h"
#include "console/keys.h"
#include "console/paint_record.h"
#include "console/terminal_colours.h"
#include "console/terminal_signals_posix.h"
#include "console/text.h"

namespace console {
namespace {

// Light grey on black (ANSI numbers), the console's default colours; curses pair 0 is made
// to show them.
constexpr int kDefaultForeground = 7;
constexpr int kDefaultBackground = 0;

std::int64_t MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// The failure `what` for the reason that the last system call left.
base::Error MakeSystemFailure(const std::string& what) {
  return base::MakeOsError("statekeeper: " + what, base::GetLastOsError());
}

// The curses screen of one terminal.
struct CursesScreenTraits {
  using Handle = SCREEN*;
  static SCREEN* Invalid() { return nullptr; }
  static bool IsValid(SCREEN* screen) { return screen != nullptr; }
  static bool Close(SCREEN* screen) {
    delscreen(screen);
    return true;
  }
};
using UniqueScreen = base::UniqueHandle<CursesScreenTraits>;

// The terminfo string `name` of the terminal curses set up, or "" where it has none.
std::string TerminalString(const char* name) {
  const char* value = tigetstr(name);
  if (value == nullptr || value == reinterpret_cast<const char*>(-1)) return "";
  return value;
}

// The bytes that give the terminal back in a hurry (a signal that ends or stops the
// process): cancel any sequence cut short, mouse reporting off, plain colours, the cursor
// shown, the normal screen. And those that take it again after a stop.
std::string LeaveBytes() {
  return "\x18\x1b[?1006l\x1b[?1000l" + TerminalString("sgr0") + TerminalString("cnorm") +
         TerminalString("rmcup");
}
std::string EnterBytes() { return TerminalString("smcup"); }

}  // namespace

struct TerminalBackend::State {
  // Declared in the order of their making, so that they are given back in reverse.
  std::unique_ptr<SignalCatcher> signals;
  base::UniqueFd tty;
  base::UniqueFile output;
  base::UniqueFile input;
  UniqueScreen screen;
  bool utf8 = true;
  TerminalColours colours;
  // Pairs by ANSI foreground + 16 x ANSI background; 0 until made, and for the default
  // colours, which pair 0 shows.
  std::array<short, 256> pairs{};
  int next_pair = 1;
  bool restored = false;

  KeyDecoder decoder;
  Size terminal_size;
  bool mouse_on = false;
  bool title_pushed = false;
  PaintRecord record;
  int curses_cursor = -1;  // the last curs_set value

  explicit State(InputEncoding encoding) : decoder(encoding) {}
};

TerminalBackend::TerminalBackend(std::unique_ptr<State> state) : state_(std::move(state)) {}

std::unique_ptr<TerminalBackend> TerminalBackend::Create(base::Error& error) {
  const base::UniqueFd tty(open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!tty.valid()) {
    error = MakeSystemFailure("no terminal to run in (/dev/tty)");
    return nullptr;
  }
  return CreateOn(tty.get(), error);
}

std::unique_ptr<TerminalBackend> TerminalBackend::CreateOn(int terminal_fd, base::Error& error) {
  // The handlers from before curses are noted first, to put back at the end: curses
  // installs its own for some of these signals, and they call functions that a handler
  // must not.
  std::unique_ptr<SignalCatcher> signals = SignalCatcher::Prepare(error);
  if (!signals) return nullptr;
  if (!isatty(terminal_fd)) {
    error = {"statekeeper: no terminal to run in (not a terminal device)"};
    return nullptr;
  }
  const char* codeset = nl_langinfo(CODESET);
  const bool utf8 = codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
  auto state = std::make_unique<State>(utf8 ? InputEncoding::kUtf8 : InputEncoding::kSingleByte);
  state->utf8 = utf8;
  state->signals = std::move(signals);
  // The backend owns the descriptors it works on, so that closing them is its business.
  state->tty.Reset(fcntl(terminal_fd, F_DUPFD_CLOEXEC, 3));
  if (!state->tty.valid()) {
    error = MakeSystemFailure("cannot use the terminal");
    return nullptr;
  }
  base::UniqueFd output_fd(fcntl(state->tty.get(), F_DUPFD_CLOEXEC, 3));
  base::UniqueFd input_fd(fcntl(state->tty.get(), F_DUPFD_CLOEXEC, 3));
  if (output_fd.valid()) state->output.Reset(fdopen(output_fd.get(), "w"));
  if (state->output.valid()) output_fd.Release();  // the stream closes it now
  if (input_fd.valid()) state->input.Reset(fdopen(input_fd.get(), "r"));
  if (state->input.valid()) input_fd.Release();
  if (!state->output.valid() || !state->input.valid()) {
    error = MakeSystemFailure("cannot use the terminal");
    return nullptr;
  }

  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0') {
    error = {"statekeeper: the terminal type is not set (TERM)"};
    return nullptr;
  }
  // The modes from before, to give back when a signal leaves no time for curses.
  termios shell_modes{};
  if (tcgetattr(state->tty.get(), &shell_modes) != 0) {
    error = MakeSystemFailure("cannot use the terminal");
    return nullptr;
  }
  // The size comes from the terminal (the ioctl), not from $LINES and $COLUMNS. (use_env
  // (FALSE) would take terminfo's fixed 80 x 24 instead.)
  use_tioctl(TRUE);
  state->screen.Reset(newterm(term, state->output.get(), state->input.get()));
  if (!state->screen.valid()) {
    error = {std::string("statekeeper: unknown terminal type '") + term + "'"};
    return nullptr;
  }
  set_term(state->screen.get());
  raw();  // Ctrl+C and Ctrl+Z arrive as characters 3 and 26; no signal, no flow control
  noecho();
  nonl();
  keypad(stdscr, FALSE);  // the KeyDecoder reads the terminal's own bytes
  typeahead(-1);          // curses never reads the terminal: the backend does
  leaveok(stdscr, FALSE);
  const bool colour = has_colors() && start_color() == OK;
  if (colour) {
    // Pair 0 shows light grey on black, so that blank space is painted as a console's.
    assume_default_colors(COLOR_WHITE, COLOR_BLACK);
  }
  state->colours = DescribeColours(term, colour ? COLORS : 0);
  state->signals->KeepTerminal(state->tty.get(), shell_modes, LeaveBytes(), EnterBytes());
  state->signals->Catch();

  std::unique_ptr<TerminalBackend> backend(new TerminalBackend(std::move(state)));
  backend->state_->terminal_size = Size{LINES, COLS};
  return backend;
}

bool TerminalBackend::IsTerminationRequested() { return SignalCatcher::termination_signal() != 0; }

TerminalBackend::~TerminalBackend() { Restore(); }

// Mouse reporting off, the title the terminal had, the cursor shown, and curses' own
// restoring (normal screen, the terminal modes from before). Safe to call twice.
void TerminalBackend::Restore() {
  State& s = *state_;
  if (s.restored) return;
  s.restored = true;
  SignalCatcher::ReleaseTerminal();
  if (s.mouse_on) WriteToTerminal("\x1b[?1006l\x1b[?1000l");
  s.mouse_on = false;
  if (s.title_pushed) WriteToTerminal("\x1b[23;0t");
  curs_set(1);
  endwin();
}

void TerminalBackend::WriteToTerminal(std::string_view bytes) {
  // curses writes its own output straight to the descriptor at the end of each update, so
  // these sequences never land in the middle of one.
  std::fflush(state_->output.get());
  while (!bytes.empty()) {
    const ssize_t written = write(state_->tty.get(), bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return;  // a terminal that is gone takes nothing more
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

[[noreturn]] void TerminalBackend::EndWithSignal(int signal_number) {
  Restore();
  SignalCatcher::EndWithSignal(signal_number);
}

void TerminalBackend::HandleSignals() {
  State& s = *state_;
  s.signals->Drain();
  if (const int signal_number = SignalCatcher::termination_signal(); signal_number != 0) {
    EndWithSignal(signal_number);
  }
  if (s.signals->TakeResize()) {
    winsize size{};
    if (ioctl(s.tty.get(), TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0) {
      resizeterm(size.ws_row, size.ws_col);
      s.terminal_size = Size{size.ws_row, size.ws_col};
    }
    // The terminal may have reflowed or cleared what it showed: paint everything again.
    clearok(curscr, TRUE);
    if (s.record.has_model()) Render(Repaint::kEverything);
  }
  if (s.signals->TakeRepaint()) {
    // Back from a stop: the terminal's screen was the shell's meanwhile, and it shows the
    // cursor. curses paints everything again and hides the cursor where it should be.
    curs_set(1);
    s.curses_cursor = 1;
    clearok(curscr, TRUE);
    if (s.record.has_model()) Render(Repaint::kEverything);
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
  state_->record.RecordSizeRequest();
  WriteToTerminal("\x1b[8;" + std::to_string(size.rows) + ";" + std::to_string(size.columns) + "t");
}

void TerminalBackend::SetMouseReporting(bool on) {
  State& s = *state_;
  if (on == s.mouse_on) return;
  s.mouse_on = on;
  SignalCatcher::NoteMouseReporting(on);
  WriteToTerminal(on ? "\x1b[?1000h\x1b[?1006h" : "\x1b[?1006l\x1b[?1000l");
}

void TerminalBackend::Present(const Grid& grid, int cursor_row, int cursor_column,
                              bool cursor_visible) {
  HandleSignals();
  state_->record.SetModel(grid, cursor_row, cursor_column, cursor_visible);
  Render(Repaint::kChanges);
}

void TerminalBackend::Render(Repaint repaint) {
  State& s = *state_;
  PaintRecord& record = s.record;
  if (record.NeedsNotice(Size{LINES, COLS})) {
    ShowNotice();
    return;
  }
  // What lies beyond the screen (a larger terminal) is blank.
  if (record.StartFrame(repaint) != FrameStart::kChangedCells) erase();
  const Grid& grid = record.model();
  const int rows = std::min(grid.rows, LINES);
  const int columns = std::min(grid.columns, COLS);
  for (int row = 0; row < rows; ++row) {
    // curses compares what it shows itself: the changed cells exactly, without merging.
    for (const CellRun& run : record.TakeChangedRuns(row, columns, 1)) {
      for (int column = run.begin; column < run.end; ++column) {
        DrawCell(row, column, grid.at(row, column));
      }
    }
  }
  const int want_cursor = record.cursor_visible() ? 1 : 0;
  if (want_cursor != s.curses_cursor) {
    curs_set(want_cursor);
    s.curses_cursor = want_cursor;
  }
  const CellPosition cursor = record.ClampCursor(rows, columns);
  move(cursor.row, cursor.column);
  wnoutrefresh(stdscr);
  doupdate();
}

void TerminalBackend::ShowNotice() {
  State& s = *state_;
  erase();
  const Grid& grid = s.record.model();
  for (const NoticeLine& line :
       ComposeTooSmallNotice(Size{grid.rows, grid.columns}, Size{LINES, COLS})) {
    mvaddnstr(line.row, line.column, line.text.c_str(), static_cast<int>(line.text.size()));
  }
  curs_set(0);
  s.curses_cursor = 0;
  s.record.RecordNotice();
  wnoutrefresh(stdscr);
  doupdate();
}

void TerminalBackend::DrawCell(int row, int column, const Cell& cell) {
  const State& s = *state_;
  short pair = 0;
  unsigned attributes = A_NORMAL;
  ChooseColours(cell.attribute, pair, attributes);
  char32_t character = ChooseGlyph(cell.character);
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

void TerminalBackend::ChooseColours(std::uint8_t attribute, short& pair, unsigned& attributes) {
  State& s = *state_;
  const CellStyle style = ChooseCellStyle(attribute, s.colours);
  attributes = A_NORMAL;
  if (style.bold) attributes |= A_BOLD;
  if (style.blink) attributes |= A_BLINK;
  if (style.reverse) attributes |= A_REVERSE;
  // curses takes bold and blink for invisible on a blank and erases a run of such blanks
  // instead of writing them; the terminal then drops the attribute from the erased cells,
  // and on the Linux console, where blink is the bright background, a panel shows two
  // shades. The protected attribute, which none of these terminals shows, keeps curses
  // from erasing them: every cell of a run carries the same attributes, blanks included.
  if (style.bold || style.blink) attributes |= A_PROTECT;
  pair = 0;
  if (s.colours.palette == Palette::kNone) return;
  if (style.foreground == kDefaultForeground && style.background == kDefaultBackground) return;
  const int key = style.foreground + 16 * style.background;
  if (s.pairs[key] == 0 && s.next_pair < COLOR_PAIRS && s.next_pair < SHRT_MAX) {
    const auto made = static_cast<short>(s.next_pair++);
    if (init_pair(made, static_cast<short>(style.foreground),
                  static_cast<short>(style.background)) == OK) {
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
      if (event->type == InputEvent::Type::kMouse && !s.record.IsOnScreen(*event)) {
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
    pollfd fds[2] = {{s.tty.get(), POLLIN, 0}, {s.signals->wake_fd(), POLLIN, 0}};
    const int ready = poll(fds, 2, timeout_ms);
    if (ready < 0) {
      if (errno == EINTR) continue;
      EndWithSignal(SIGHUP);
    }
    if (fds[0].revents != 0) {
      char buffer[4096];
      const ssize_t count = read(s.tty.get(), buffer, sizeof buffer);
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
