// The signals that end, stop or resize a terminal program, caught for the ncurses backend:
// SIGTERM, SIGHUP and SIGINT from outside ask the program to end, SIGWINCH says that the
// terminal's size changed, SIGCONT that the program runs again. Their handlers only note
// the signal and wake the backend's input wait through a self-pipe; the backend acts on it
// at its next look.
//
// Every other signal whose default action ends the process (SIGQUIT, SIGPIPE, SIGUSR1, a
// crash such as SIGSEGV or SIGABRT, ...) cannot wait for that look: its handler gives the
// terminal back at once (the modes from before, mouse reporting off, the normal screen,
// the cursor shown), with async-signal-safe calls on bytes and modes prepared beforehand,
// and then lets the signal take its default course, so that a crash still dumps core and
// the exit status names the signal. SIGTSTP gives the terminal back the same way, stops
// the process as its default does, and takes the terminal again when it runs on.
//
// Signal handlers are process-wide: at most one SignalCatcher may catch at a time. It puts
// the handlers that were there before back when it is destroyed.
#ifndef STATEKEEPER_CONSOLE_TERMINAL_SIGNALS_POSIX_H_
#define STATEKEEPER_CONSOLE_TERMINAL_SIGNALS_POSIX_H_

#include <signal.h>
#include <termios.h>

#include <array>
#include <memory>
#include <string_view>

#include "base/error.h"
#include "base/unique_handle.h"

namespace console {

class SignalCatcher {
 public:
  // Makes the self-pipe, notes the handlers in place now, to put back at the end, and
  // installs the stop handler; call it before curses installs its own. Nothing, with one line for
  // standard error in `error`, when another catcher exists or no pipe can be made.
  [[nodiscard]] static std::unique_ptr<SignalCatcher> Prepare(base::Error& error);

  SignalCatcher(const SignalCatcher&) = delete;
  SignalCatcher& operator=(const SignalCatcher&) = delete;
  ~SignalCatcher();

  // The terminal that the handlers give back and take again: its descriptor (borrowed
  // until ReleaseTerminal or the end of the catcher), the modes it had before the program
  // took it, and the bytes that leave the program's screen (mouse reporting off, normal
  // screen, cursor shown) and enter it again. Call before Catch, which reads the program's
  // own modes from `fd`. Bytes beyond 255 are dropped.
  void KeepTerminal(int fd, const termios& shell_modes, std::string_view leave_bytes,
                    std::string_view enter_bytes);

  // Installs the handlers; from now on the signals are noted or acted on as above. A
  // signal that was ignored before (SIGXFSZ, a SIGPIPE of nohup) stays ignored, but for
  // SIGTERM, SIGHUP and SIGINT, which always end the program.
  void Catch();

  // Whether mouse reporting is on, for taking the terminal again after a stop.
  static void NoteMouseReporting(bool on);
  // The terminal has been given back for good: the handlers no longer touch it.
  static void ReleaseTerminal();

  // The end of the self-pipe to wait on beside the terminal: readable once a signal came.
  int wake_fd() const { return wake_read_.get(); }
  // Empties the self-pipe after a wake-up.
  void Drain();

  // The first termination signal that arrived, or 0.
  static int termination_signal();
  // True once, for every SIGWINCH (or several) since the last call.
  [[nodiscard]] bool TakeResize();
  // True once after the process ran on from a stop (SIGCONT): the terminal has been taken
  // again, and the whole screen is to be painted anew.
  [[nodiscard]] bool TakeRepaint();

  // Puts the default action of `signal_number` back, unblocks it and raises it, so that
  // the process ends as that signal ends it; exits with 128 + the number if it does not.
  [[noreturn]] static void EndWithSignal(int signal_number);

 private:
  SignalCatcher(base::UniqueFd wake_read, base::UniqueFd wake_write);

  base::UniqueFd wake_read_;
  base::UniqueFd wake_write_;
  // The actions from before, for every signal number; only those in `caught_` were changed.
  std::array<struct sigaction, NSIG> old_actions_{};
  std::array<bool, NSIG> caught_{};
};

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_TERMINAL_SIGNALS_POSIX_H_
