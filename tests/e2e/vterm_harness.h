// A terminal for end-to-end tests: runs a program on a pseudo-terminal and interprets its
// output with libvterm, so that a test can read the screen back cell by cell (characters
// and colour indexes), see the terminal's modes (alternate screen, mouse reporting, cursor)
// and title, and type keys or click as a real xterm-like terminal would encode them.
//
// Every wait polls the pseudo-terminal until its condition holds or its time runs out; a
// failed wait reports the whole screen. The harness owns the child process: it is killed
// and reaped on destruction if it is still running.
#ifndef STATEKEEPER_TESTS_E2E_VTERM_HARNESS_H_
#define STATEKEEPER_TESTS_E2E_VTERM_HARNESS_H_

#include <gtest/gtest.h>
#include <sys/types.h>
#include <vterm.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/unique_handle.h"
#include "test_util.h"

namespace e2e {

inline constexpr int kDefaultTimeoutMs = 10'000;

// How the program is started on the pseudo-terminal.
enum class Session {
  kLeader,  // it leads the terminal's session, as a terminal emulator starts a shell
  // as a job of a shell with job control: in its own process group, the terminal's
  // foreground group, under a session leader that waits for it, so that a stop signal
  // stops it (the kernel drops one sent to a group with no parent in the session)
  kJob,
};

// How a child process ended.
struct ExitStatus {
  bool exited = false;  // by exit(): `code` holds the exit status
  int code = 0;
  bool signalled = false;  // by a signal: `signal` holds its number
  int signal = 0;
};

class VtermHarness {
 public:
  VtermHarness();
  ~VtermHarness();
  VtermHarness(const VtermHarness&) = delete;
  VtermHarness& operator=(const VtermHarness&) = delete;

  // Starts `program` with `args` (without argv[0]) on a new pseudo-terminal of `rows` x
  // `columns`, with the terminal as its controlling terminal, as `session` says. The
  // environment is this process's, with TERM=xterm-256color and LC_ALL=C.UTF-8, then
  // `environment` applied in order: "NAME=VALUE" sets a variable, a bare "NAME" removes it.
  // Fails (with the reason) when the pseudo-terminal cannot be made; a program that cannot
  // be executed exits with status 127.
  [[nodiscard]] ::testing::AssertionResult Start(const std::string& program,
                                                 const std::vector<std::string>& args = {},
                                                 const std::vector<std::string>& environment = {},
                                                 int rows = 43, int columns = 66,
                                                 Session session = Session::kLeader);

  // Input, as the terminal sends it.
  void SendBytes(std::string_view bytes);
  void SendKey(VTermKey key, VTermModifier modifiers = VTERM_MOD_NONE);
  void SendChar(char32_t character, VTermModifier modifiers = VTERM_MOD_NONE);
  // A press and a release of `button` (1 left, 2 middle, 3 right) on the cell at `row`,
  // `column` (from 1), encoded in the mouse protocol the program has enabled (nothing is
  // sent when it has enabled none).
  void Click(int row, int column, int button = 1);

  // Waits until row `row` (from 1) contains `text`, or `predicate` holds. On failure the
  // result carries `what` and the whole screen.
  [[nodiscard]] ::testing::AssertionResult WaitForText(int row, std::string_view text,
                                                       int timeout_ms = kDefaultTimeoutMs);
  [[nodiscard]] ::testing::AssertionResult WaitForScreenText(std::string_view text,
                                                             int timeout_ms = kDefaultTimeoutMs);
  [[nodiscard]] ::testing::AssertionResult WaitUntil(const std::function<bool()>& predicate,
                                                     std::string_view what,
                                                     int timeout_ms = kDefaultTimeoutMs);
  // Reads what the program has written so far, waiting at most `timeout_ms` for the first
  // bytes.
  void Pump(int timeout_ms = 0);

  // The screen as it stands now. Rows and columns from 1.
  int rows() const { return rows_; }
  int columns() const { return columns_; }
  // Row `row` as UTF-8, every cell of it (an empty cell reads as a blank).
  std::string Row(int row) const;
  std::string Screen() const;  // all rows, each followed by "\n"
  bool Bold(int row, int column) const;
  bool Blink(int row, int column) const;
  // The colours of a cell as numbers of the console's own palette (0 black, 1 blue, 4 red,
  // 14 yellow, 15 bright white ...), which numbers blue/red and cyan/brown the other way
  // round from the terminal's ANSI indexes; -1 for the terminal's default colour, a colour
  // beyond the first 16 or one given as RGB.
  int ConsoleForeground(int row, int column) const;
  int ConsoleBackground(int row, int column) const;

  // Terminal state that the program set.
  const std::string& title() const { return title_; }
  bool alternate_screen() const { return alternate_screen_; }
  bool mouse_reporting() const { return mouse_mode_ != 0; }
  bool cursor_visible() const { return cursor_visible_; }
  // Every byte the program has written, for counting and for looking at raw sequences.
  const std::string& output() const { return output_; }

  // The terminal becomes `rows` x `columns`; the program gets SIGWINCH.
  void Resize(int rows, int columns);
  // Sends `signal_number` to the program.
  void Signal(int signal_number);
  // True while the program is stopped (by SIGTSTP, SIGSTOP ...).
  bool Stopped() const;
  // The terminal's line modes (termios flags and control characters) as text, to compare:
  // as they are now, and as they were before the program started.
  std::string TtyModes() const;
  const std::string& tty_modes_at_start() const { return tty_modes_at_start_; }
  // Closes the terminal as a closed window does: the program gets SIGHUP and end of file.
  void Hangup();
  // Waits for the program to end, reading its last output; nothing when it is still
  // running after `timeout_ms`.
  [[nodiscard]] std::optional<ExitStatus> WaitExit(int timeout_ms = kDefaultTimeoutMs);

 private:
  static void OnOutput(const char* bytes, size_t length, void* user);
  static int OnTermProp(VTermProp property, VTermValue* value, void* user);
  void WriteToProgram(std::string_view bytes);
  bool CellAt(int row, int column, VTermScreenCell& cell) const;

  struct VTermDeleter {
    void operator()(VTerm* vterm) const { vterm_free(vterm); }
  };
  std::unique_ptr<VTerm, VTermDeleter> vterm_;
  VTermScreen* screen_ = nullptr;  // part of vterm_
  base::UniqueFd master_;          // the terminal's side of the pseudo-terminal
  pid_t pid_ = -1;                 // the child: the program, or the session leader of a job
  pid_t program_pid_ = -1;         // the program
  std::string tty_modes_at_start_;
  std::optional<ExitStatus> exit_status_;
  int rows_ = 0;
  int columns_ = 0;
  std::string title_;
  bool alternate_screen_ = false;
  int mouse_mode_ = 0;
  bool cursor_visible_ = true;
  std::string output_;
};

// What a program run without a terminal wrote, and how it ended.
struct Outcome {
  bool exited = false;  // by exit(): `status` holds the exit status
  int status = -1;
  std::string output;  // standard output
  std::string error;   // standard error
};

// A program run as a script or cron runs it: in a new session without a controlling
// terminal (any attempt to use one fails), standard input /dev/null, standard output and
// error into files of a folder of its own, in the working folder `cwd`, with the
// environment built as VtermHarness::Start builds it. The process is killed and reaped on
// destruction if Wait() was not called.
class DetachedRun {
 public:
  DetachedRun(const std::string& program, const std::vector<std::string>& args,
              const std::vector<std::string>& environment, const std::string& cwd = ".");
  ~DetachedRun();
  DetachedRun(const DetachedRun&) = delete;
  DetachedRun& operator=(const DetachedRun&) = delete;

  pid_t pid() const { return pid_; }
  // Waits for the end and reads what it wrote; a failed fork is an exit with status 126.
  Outcome Wait();

 private:
  test::ScopedTempDir files_;
  pid_t pid_ = -1;
};

}  // namespace e2e

#endif  // STATEKEEPER_TESTS_E2E_VTERM_HARNESS_H_
