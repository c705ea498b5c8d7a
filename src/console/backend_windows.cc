#include "console/backend_windows.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <csignal>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "base/unique_handle_windows.h"
#include "console/console_painter_windows.h"
#include "console/session_end_windows.h"
#include "console/windows_translate.h"

namespace console {
namespace {

// How often SetScreenSize tries when the console refuses.
constexpr int kSizeAttempts = 10;
// How long the control handler waits for the main thread to finish what it is doing (a
// download cancels, its Temporary download file is removed) and restore the console,
// before it restores the console itself; the system ends the process 5 seconds after a
// close, logoff or shutdown event.
constexpr DWORD kRestoreWaitMs = 4500;
// The exit code of a process whose console was closed.
constexpr UINT kClosedExitCode = 0xC000013A;
constexpr WORD kDefaultAttribute = 0x07;
// The longest single wait for input, between looks at the termination flag.
constexpr DWORD kWaitSliceMs = 20;

// The one backend's state, for the control handler.
std::mutex g_mutex;  // serialises writes to the console between the handler and the program
std::atomic<bool> g_termination{false};
std::atomic<bool> g_restored{false};

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

std::wstring Widen(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
  if (length > 0) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  }
  return wide;
}

// One UTF-16 character in the ANSI code page; the code page's default character when it
// has none.
std::string Narrow(char16_t character) {
  const wchar_t wide = static_cast<wchar_t>(character);
  char bytes[8] = {};
  const int length =
      WideCharToMultiByte(CP_ACP, 0, &wide, 1, bytes, sizeof bytes, nullptr, nullptr);
  if (length <= 0) return "?";
  return std::string(bytes, static_cast<std::size_t>(length));
}

SMALL_RECT WindowRect(SHORT left, SHORT top, SHORT columns, SHORT rows) {
  return SMALL_RECT{left, top, static_cast<SHORT>(left + columns - 1),
                    static_cast<SHORT>(top + rows - 1)};
}

struct ConsoleState {
  HANDLE output = INVALID_HANDLE_VALUE;  // the process's console screen buffer
  base::UniqueWinHandle owned_output;    // CONOUT$, when no standard stream is a console
  base::UniqueWinHandle input;           // CONIN$

  // What the console had before, to give back.
  DWORD old_input_mode = 0;
  DWORD old_output_mode = 0;
  CONSOLE_CURSOR_INFO old_cursor{};
  CONSOLE_SCREEN_BUFFER_INFO old_info{};
  std::wstring old_title;
  bool title_changed = false;
  bool size_changed = false;
  bool handler_installed = false;
  std::unique_ptr<SessionEndWatch> session_watch;  // logoff and shutdown
  bool restored = false;

  DWORD input_mode = 0;
  bool mouse_on = false;
  std::uint32_t held_buttons = 0;
  // The last key read was a CR, and more input has come since without a pause.
  bool after_cr = false;
  std::deque<InputEvent> queued;

  // The model's screen, painted at the window's top left.
  ConsolePainter painter;

  void Restore();
  bool Info(CONSOLE_SCREEN_BUFFER_INFO& info) const {
    return GetConsoleScreenBufferInfo(output, &info) != 0;
  }
};

ConsoleState* g_state = nullptr;

// Restores the console and ends the process; for the main thread once termination was
// requested.
[[noreturn]] void RestoreAndExit() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_state != nullptr) g_state->Restore();
    g_restored = true;
  }
  ExitProcess(kClosedExitCode);
}

// The modes, cursor, colours and title from before, in a hurry: for a crash, which may
// have happened while the console was being drawn, so without the lock or the cells.
void RestoreModesAfterCrash() {
  ConsoleState* state = g_state;
  if (state == nullptr || state->restored || g_restored.exchange(true)) return;
  SetConsoleTextAttribute(state->output, state->old_info.wAttributes);
  if (state->old_cursor.dwSize != 0) SetConsoleCursorInfo(state->output, &state->old_cursor);
  if (state->title_changed) SetConsoleTitleW(state->old_title.c_str());
  SetConsoleMode(state->input.get(), state->old_input_mode);
  SetConsoleMode(state->output, state->old_output_mode);
}

LPTOP_LEVEL_EXCEPTION_FILTER g_previous_filter = nullptr;
void (*g_previous_abort_handler)(int) = SIG_DFL;

// A crash: the console's modes come back, then the crash goes on as it would have.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
  RestoreModesAfterCrash();
  return g_previous_filter != nullptr ? g_previous_filter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

// abort(), which an uncaught exception ends in: the runtime ends the process when this
// returns.
void OnAbort(int) { RestoreModesAfterCrash(); }

// The console closes or the session ends; the process ends when this returns. The program
// notices at its next look: a running download is cancelled and its Temporary download
// file removed, and the program restores the console and ends at its next wait for a key.
// A program that does not get there in time gets the console restored here.
void EndOfConsole() {
  g_termination = true;
  const ULONGLONG until = GetTickCount64() + kRestoreWaitMs;
  while (!g_restored && GetTickCount64() < until) Sleep(20);
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_state != nullptr) g_state->Restore();
  g_restored = true;
}

BOOL WINAPI OnControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return TRUE;  // swallowed: Ctrl+C reaches the program as the key 3
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      EndOfConsole();
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

struct WindowsConsoleBackend::State : ConsoleState {};

WindowsConsoleBackend::WindowsConsoleBackend(std::unique_ptr<State> state)
    : state_(std::move(state)) {}

std::unique_ptr<WindowsConsoleBackend> WindowsConsoleBackend::Create(base::Error& error) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_state != nullptr) {
    error = {"statekeeper: the console is already in use"};
    return nullptr;
  }
  auto state = std::make_unique<State>();
  State& s = *state;
  HANDLE standard_output = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE standard_error = GetStdHandle(STD_ERROR_HANDLE);
  if (IsConsole(standard_output)) {
    s.output = standard_output;
  } else if (IsConsole(standard_error)) {
    s.output = standard_error;
  } else {
    s.owned_output.Reset(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
    s.output = s.owned_output.get();
  }
  if (!IsConsole(s.output) || !s.Info(s.old_info)) {
    error = {"statekeeper: no console to run in"};
    return nullptr;
  }
  s.painter.Attach(s.output);
  s.input.Reset(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr));
  if (!IsConsole(s.input.get())) {
    error = {"statekeeper: cannot read the console's input (CONIN$)"};
    return nullptr;
  }

  GetConsoleMode(s.input.get(), &s.old_input_mode);
  GetConsoleMode(s.output, &s.old_output_mode);
  GetConsoleCursorInfo(s.output, &s.old_cursor);
  std::vector<wchar_t> title(4096, L'\0');
  const DWORD title_length = GetConsoleTitleW(title.data(), static_cast<DWORD>(title.size()));
  s.old_title.assign(title.data(), std::min<std::size_t>(title_length, title.size()));

  // Raw key records: no line editing, no echo, Ctrl+C as the character 3, no quick-edit
  // selection eating the clicks; window size changes are reported. Mouse input follows
  // SetMouseReporting.
  s.input_mode = ENABLE_EXTENDED_FLAGS | ENABLE_WINDOW_INPUT;
  SetConsoleMode(s.input.get(), s.input_mode);
  SetConsoleMode(s.output, ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT);
  s.handler_installed = SetConsoleCtrlHandler(OnControl, TRUE) != 0;
  g_previous_filter = SetUnhandledExceptionFilter(OnUnhandledException);
  g_previous_abort_handler = std::signal(SIGABRT, OnAbort);
  s.session_watch = SessionEndWatch::Start(EndOfConsole);

  g_termination = false;
  g_restored = false;
  std::unique_ptr<WindowsConsoleBackend> backend(new WindowsConsoleBackend(std::move(state)));
  g_state = backend->state_.get();
  return backend;
}

bool WindowsConsoleBackend::IsTerminationRequested() { return g_termination; }

WindowsConsoleBackend::~WindowsConsoleBackend() {
  State& s = *state_;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    s.Restore();
    g_state = nullptr;
  }
  if (s.handler_installed) SetConsoleCtrlHandler(OnControl, FALSE);
  SetUnhandledExceptionFilter(g_previous_filter);
  std::signal(SIGABRT, g_previous_abort_handler == SIG_ERR ? SIG_DFL : g_previous_abort_handler);
}

// The modes, cursor, buffer and window size and title from before; the cells that the
// program drew are blanked in the old colours and the cursor put at their top left, so
// that what comes after (the shell's prompt) starts on a clean window. Safe to call twice.
// Called with g_mutex held.
void ConsoleState::Restore() {
  if (restored) return;
  restored = true;
  const WORD attribute = old_info.wAttributes != 0 ? old_info.wAttributes : kDefaultAttribute;
  CONSOLE_SCREEN_BUFFER_INFO now{};
  const Grid& model = painter.record().model();
  const CellPosition origin = painter.record().origin();
  if (painter.record().has_model() && Info(now)) {
    DWORD written = 0;
    for (int row = 0; row < model.rows; ++row) {
      const COORD start{static_cast<SHORT>(origin.column), static_cast<SHORT>(origin.row + row)};
      if (start.Y >= now.dwSize.Y) break;
      const DWORD length =
          static_cast<DWORD>(std::min<int>(model.columns, now.dwSize.X - origin.column));
      FillConsoleOutputCharacterW(output, L' ', length, start, &written);
      FillConsoleOutputAttribute(output, attribute, length, start, &written);
    }
  }
  if (size_changed) {
    // Back to the old buffer: shrink the window where the old buffer is smaller, set the
    // buffer, then the old window.
    if (Info(now)) {
      const SHORT columns = std::min<SHORT>(
          static_cast<SHORT>(now.srWindow.Right - now.srWindow.Left + 1), old_info.dwSize.X);
      const SHORT rows = std::min<SHORT>(
          static_cast<SHORT>(now.srWindow.Bottom - now.srWindow.Top + 1), old_info.dwSize.Y);
      const SMALL_RECT small = WindowRect(0, 0, columns, rows);
      SetConsoleWindowInfo(output, TRUE, &small);
    }
    SetConsoleScreenBufferSize(output, old_info.dwSize);
    SetConsoleWindowInfo(output, TRUE, &old_info.srWindow);
  }
  SetConsoleTextAttribute(output, old_info.wAttributes);
  SetConsoleCursorPosition(output, size_changed ? COORD{0, 0}
                                                : COORD{static_cast<SHORT>(origin.column),
                                                        static_cast<SHORT>(origin.row)});
  if (old_cursor.dwSize != 0) SetConsoleCursorInfo(output, &old_cursor);
  if (title_changed) SetConsoleTitleW(old_title.c_str());
  SetConsoleMode(input.get(), old_input_mode);
  SetConsoleMode(output, old_output_mode);
  FlushConsoleInputBuffer(input.get());
}

Size WindowsConsoleBackend::TerminalSize() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!state_->Info(info)) return Size{};
  return Size{info.srWindow.Bottom - info.srWindow.Top + 1,
              info.srWindow.Right - info.srWindow.Left + 1};
}

std::int64_t WindowsConsoleBackend::NowMs() { return static_cast<std::int64_t>(GetTickCount64()); }

void WindowsConsoleBackend::SetTitle(std::string_view title) {
  std::lock_guard<std::mutex> lock(g_mutex);
  state_->title_changed = true;
  SetConsoleTitleW(Widen(title).c_str());
}

void WindowsConsoleBackend::SetMouseReporting(bool on) {
  State& s = *state_;
  if (on == s.mouse_on) return;
  s.mouse_on = on;
  s.held_buttons = 0;
  const DWORD mouse = ENABLE_MOUSE_INPUT;
  s.input_mode = on ? (s.input_mode | mouse) : (s.input_mode & ~mouse);
  SetConsoleMode(s.input.get(), s.input_mode);
}

void WindowsConsoleBackend::RequestSize(Size size) {
  if (g_termination) RestoreAndExit();
  std::lock_guard<std::mutex> lock(g_mutex);
  State& s = *state_;
  s.painter.record().RecordSizeRequest();
  if (size.rows < 1 || size.columns < 1 || size.rows > SHRT_MAX || size.columns > SHRT_MAX) return;
  const auto columns = static_cast<SHORT>(size.columns);
  const auto rows = static_cast<SHORT>(size.rows);

  // The window's place on the desktop, to put it back after the console resized it.
  HWND window = GetConsoleWindow();
  RECT desktop_rect{};
  const bool have_rect = window != nullptr && GetWindowRect(window, &desktop_rect);

  s.size_changed = true;
  for (int attempt = 0; attempt < kSizeAttempts; ++attempt) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!s.Info(info)) break;
    const SHORT window_columns = static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1);
    const SHORT window_rows = static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top + 1);
    if (info.dwSize.X == columns && info.dwSize.Y == rows && window_columns == columns &&
        window_rows == rows && info.srWindow.Left == 0 && info.srWindow.Top == 0) {
      break;
    }
    // A window no larger than the new buffer at its top left, so that the buffer may shrink
    // under it; then the buffer; then the window over all of it.
    const SMALL_RECT small =
        WindowRect(0, 0, std::min(window_columns, columns), std::min(window_rows, rows));
    SetConsoleWindowInfo(s.output, TRUE, &small);
    SetConsoleScreenBufferSize(s.output, COORD{columns, rows});
    const SMALL_RECT full = WindowRect(0, 0, columns, rows);
    SetConsoleWindowInfo(s.output, TRUE, &full);
    Sleep(attempt == 0 ? 0 : 10);
  }
  if (have_rect) {
    SetWindowPos(window, nullptr, desktop_rect.left, desktop_rect.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  s.painter.record().Forget();  // the buffer was cut or cleared: paint everything again
}

void WindowsConsoleBackend::Present(const Grid& grid, int cursor_row, int cursor_column,
                                    bool cursor_visible) {
  // A console that is going away shows nothing more; the program ends at its next wait.
  if (g_termination) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  State& s = *state_;
  s.painter.record().SetModel(grid, cursor_row, cursor_column, cursor_visible);
  s.painter.Render(Repaint::kChanges);
}

std::optional<InputEvent> WindowsConsoleBackend::ReadEvent(
    std::optional<std::int64_t> deadline_ms) {
  State& s = *state_;
  for (;;) {
    if (g_termination) {
      // A wait ends the program. A mere look (the download's for Esc, whose deadline is
      // due within a slice) gets nothing: the download is to stop first, so that it leaves
      // no file behind, and the program waits for a key soon after.
      if (deadline_ms && *deadline_ms - NowMs() <= kWaitSliceMs) return std::nullopt;
      RestoreAndExit();
    }
    if (!s.queued.empty()) {
      InputEvent event = std::move(s.queued.front());
      s.queued.pop_front();
      return event;
    }
    const std::int64_t now = NowMs();
    if (deadline_ms && now >= *deadline_ms) return std::nullopt;
    // Looks at the input without waiting and sleeps a slice when there is none, so that a
    // close of the console is noticed within a slice also while no input comes.
    INPUT_RECORD records[64];
    DWORD available = 0;
    if (!PeekConsoleInputW(s.input.get(), records, 64, &available)) {
      g_termination = true;
      continue;
    }
    if (available == 0) {
      s.after_cr = false;  // the input ran dry: an LF from now on is a key of its own
      DWORD slice = kWaitSliceMs;
      if (deadline_ms)
        slice = static_cast<DWORD>(std::min<std::int64_t>(*deadline_ms - now, kWaitSliceMs));
      Sleep(slice);
      continue;
    }
    DWORD read = 0;
    if (!ReadConsoleInputW(s.input.get(), records, available, &read)) {
      g_termination = true;
      continue;
    }
    for (DWORD i = 0; i < read; ++i) {
      const INPUT_RECORD& record = records[i];
      if (record.EventType == KEY_EVENT) {
        const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
        const WinKeyRecord plain{key.bKeyDown != 0, key.wVirtualKeyCode, key.wVirtualScanCode,
                                 static_cast<char16_t>(key.uChar.UnicodeChar),
                                 key.dwControlKeyState};
        const std::optional<WinKey> translated = TranslateKey(plain);
        if (!translated || IsLineFeedOfCrLf(*translated, s.after_cr)) continue;
        InputEvent event;
        event.type = InputEvent::Type::kKey;
        if (translated->kind == WinKey::Kind::kExtended) {
          event.key = std::string{'\0', static_cast<char>(translated->scan_code)};
        } else {
          event.key = Narrow(translated->character);
        }
        s.queued.push_back(std::move(event));
      } else if (record.EventType == MOUSE_EVENT) {
        const MOUSE_EVENT_RECORD& mouse = record.Event.MouseEvent;
        const WinMouseRecord plain{mouse.dwMousePosition.X, mouse.dwMousePosition.Y,
                                   mouse.dwButtonState, mouse.dwEventFlags};
        const CellPosition origin = s.painter.record().origin();
        for (InputEvent& event : TranslateMouse(plain, s.held_buttons, origin.column, origin.row)) {
          if (!s.mouse_on || !s.painter.record().IsOnScreen(event)) {
            continue;  // not on a cell of the program's screen
          }
          s.queued.push_back(std::move(event));
        }
      } else if (record.EventType == WINDOW_BUFFER_SIZE_EVENT) {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (s.painter.record().has_model()) s.painter.Render(Repaint::kEverything);
      }
    }
  }
}

}  // namespace console
