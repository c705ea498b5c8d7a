// A terminal for end-to-end tests: runs a program on a pseudo-terminal, interprets its
// output with libvterm, and types keys or clicks as an xterm does. Waits poll until their
// condition holds, or time out reporting the screen.
#ifndef STATEKEEPER_TESTS_E2E_VTERM_HARNESS_H_
#define STATEKEEPER_TESTS_E2E_VTERM_HARNESS_H_

#include <gtest/gtest.h>
#include <sys/types.h>
#include <vterm.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/unique_handle.h"
#include "test_util.h"

namespace e2e {

class VtermHarness {
 public:
  ~VtermHarness();  // kills a program that still runs

  // Starts `program` with `args` on a new `rows` x `columns` pseudo-terminal as the session
  // leader or, `as_job`, as a foreground job of a shell with job control. The environment
  // is this process's with TERM=xterm-256color and LC_ALL=C.UTF-8, then `environment` in
  // order: "NAME=VALUE" sets, a bare "NAME" removes. An unrunnable program exits 127.
  [[nodiscard]] ::testing::AssertionResult Start(const std::string& program,
                                                 const std::vector<std::string>& args = {},
                                                 const std::vector<std::string>& environment = {},
                                                 int rows = 43, int columns = 66,
                                                 bool as_job = false);

  void SendBytes(std::string_view bytes);
  void SendKey(VTermKey key);
  // A press and a release of `button` (1 left, 3 right) on `row`, `column` (from 1) in the
  // mouse protocol the program enabled.
  void Click(int row, int column, int button = 1);

  // Waits until row `row` (from 1; 0 for any row) contains `text`, or `predicate` holds.
  [[nodiscard]] ::testing::AssertionResult WaitForText(int row, std::string_view text,
                                                       int timeout_ms = 10'000);
  [[nodiscard]] ::testing::AssertionResult WaitUntil(const std::function<bool()>& predicate,
                                                     std::string_view what,
                                                     int timeout_ms = 10'000);
  // Reads what the program writes for `ms` milliseconds (at least once, without waiting).
  void Settle(int ms);

  // The screen now, rows and columns from 1, an empty cell as a blank; Row is UTF-8.
  int rows() const { return rows_; }
  std::string Row(int row) const;
  std::string Screen() const;  // all rows, each followed by "\n"
  // A cell's "FOREGROUND/BACKGROUND" in the console's palette (blue/red and cyan/brown
  // swapped from ANSI; -1 for the default or beyond 16), then " bold" and " blink".
  std::string Look(int row, int column) const;

  // What the program set, and every byte it wrote.
  const std::string& title() const { return title_; }
  bool alternate_screen() const { return alternate_screen_; }
  bool mouse_reporting() const { return mouse_mode_ != 0; }
  bool cursor_visible() const { return cursor_visible_; }
  const std::string& output() const { return output_; }

  void Resize(int rows, int columns);  // and SIGWINCH
  void Signal(int signal_number);      // to the program
  bool Stopped() const;                // true while the program is stopped
  // The terminal's line modes as text: now, and before the program started.
  std::string TtyModes() const;
  const std::string& tty_modes_at_start() const { return tty_modes_at_start_; }
  void Hangup();  // SIGHUP and end of file, as a closed window
  // Waits for the end: "exit N", "signal N", or "running" after `timeout_ms`.
  std::string WaitExit(int timeout_ms = 10'000);

 private:
  void Pump(int timeout_ms);

  struct VTermDeleter {
    void operator()(VTerm* vterm) const { vterm_free(vterm); }
  };
  std::unique_ptr<VTerm, VTermDeleter> vterm_;
  VTermScreen* screen_ = nullptr;  // part of vterm_
  base::UniqueFd master_;          // the terminal's side of the pseudo-terminal
  pid_t pid_ = -1;                 // the child: the program, or the session leader of a job
  pid_t program_pid_ = -1;
  std::string tty_modes_at_start_;
  std::string exit_;  // how the child ended, once it has
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
  int status = -1;     // its exit status; -1 when a signal ended it
  std::string output;  // standard output
  std::string error;   // standard error
};

// A program run as cron runs it: a new session without a terminal, standard input
// /dev/null, in the folder `cwd`, the environment built as VtermHarness::Start builds it.
// Killed at destruction unless waited for.
class DetachedRun {
 public:
  DetachedRun(const std::string& program, const std::vector<std::string>& args,
              const std::vector<std::string>& environment, const std::string& cwd = ".");
  ~DetachedRun();

  pid_t pid() const { return pid_; }
  // Waits for the end and reads what it wrote; a failed start is an exit with status 126.
  Outcome Wait();

 private:
  test::ScopedTempDir files_;
  pid_t pid_ = -1;
};

}  // namespace e2e

#endif  // STATEKEEPER_TESTS_E2E_VTERM_HARNESS_H_
