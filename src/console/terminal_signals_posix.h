// The signals that end or resize a terminal program, caught for the ncurses backend:
// SIGTERM, SIGHUP and SIGINT from outside ask the program to end, SIGWINCH says that the
// terminal's size changed. A handler only notes the signal and wakes the backend's input
// wait through a self-pipe; the backend acts on it at its next look.
//
// Signal handlers are process-wide: at most one SignalCatcher may catch at a time. It puts
// the handlers that were there before back when it is destroyed.
#ifndef STATEKEEPER_CONSOLE_TERMINAL_SIGNALS_POSIX_H_
#define STATEKEEPER_CONSOLE_TERMINAL_SIGNALS_POSIX_H_

#include <signal.h>

#include <array>
#include <memory>

#include "base/error.h"
#include "base/unique_handle.h"

namespace console {

class SignalCatcher {
 public:
  // Makes the self-pipe and notes the handlers in place now, to put back at the end; call
  // it before curses installs its own. Nothing, with one line for standard error in
  // `error`, when another catcher exists or no pipe can be made.
  [[nodiscard]] static std::unique_ptr<SignalCatcher> Prepare(base::Error& error);

  SignalCatcher(const SignalCatcher&) = delete;
  SignalCatcher& operator=(const SignalCatcher&) = delete;
  ~SignalCatcher();

  // Installs the handlers; from now on the signals are noted instead of acted on.
  void Catch();

  // The end of the self-pipe to wait on beside the terminal: readable once a signal came.
  int wake_fd() const { return wake_read_.get(); }
  // Empties the self-pipe after a wake-up.
  void Drain();

  // The first termination signal that arrived, or 0.
  static int termination_signal();
  // True once, for every SIGWINCH (or several) since the last call.
  [[nodiscard]] bool TakeResize();

  // Puts the default action of `signal_number` back, unblocks it and raises it, so that
  // the process ends as that signal ends it; exits with 128 + the number if it does not.
  [[noreturn]] static void EndWithSignal(int signal_number);

 private:
  SignalCatcher(base::UniqueFd wake_read, base::UniqueFd wake_write);

  base::UniqueFd wake_read_;
  base::UniqueFd wake_write_;
  std::array<struct sigaction, 4> old_actions_{};
  bool catching_ = false;
};

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_TERMINAL_SIGNALS_POSIX_H_
