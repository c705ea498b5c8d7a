#include "console/terminal_signals_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <utility>

namespace console {
namespace {

// What the handlers share with the program. Signal handlers can only talk through objects
// like these: the number of a termination signal, a resize and a repaint flag and the
// write end of the self-pipe that wakes the input wait (-1 while no catcher exists).
volatile sig_atomic_t g_termination_signal = 0;
volatile sig_atomic_t g_resized = 0;
volatile sig_atomic_t g_repaint = 0;
volatile sig_atomic_t g_wake_fd = -1;

// The terminal to give back and take again. Filled before the handlers are installed and
// not changed while they are, but for the flags.
struct KeptBytes {
  char bytes[256];
  std::size_t length;
};
struct KeptTerminal {
  int fd;
  termios shell_modes;
  termios program_modes;
  KeptBytes leave;
  KeptBytes enter;
};
KeptTerminal g_terminal{};
volatile sig_atomic_t g_terminal_held = 0;  // the program has the terminal and may restore it
volatile sig_atomic_t g_given_back = 0;     // given back for a stop, to be taken again
volatile sig_atomic_t g_mouse_on = 0;

// The signals whose handler only notes them.
constexpr int kNotedSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGWINCH, SIGCONT};
// The signals whose default action ends the process, and which are not noted: the terminal
// is given back in the handler. The real-time signals join them in Catch.
constexpr int kEndingSignals[] = {
    SIGQUIT,   SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGIO,   SIGSYS,
    SIGTRAP,   SIGXCPU, SIGXFSZ, SIGSEGV, SIGBUS,  SIGFPE,    SIGILL,  SIGABRT,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

void WakeUp() {
  const int fd = g_wake_fd;
  if (fd >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(fd, &byte, 1);
  }
}

// write(2) of all of `length` bytes, as far as the terminal takes them.
void WriteAll(const char* bytes, std::size_t length) {
  while (length > 0) {
    const ssize_t written = write(g_terminal.fd, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    length -= static_cast<std::size_t>(written);
  }
}

// The terminal as it was before the program: its bytes first, so that they are written
// under the program's modes, then the modes.
void GiveBackTerminal() {
  if (g_terminal_held == 0 || g_given_back != 0) return;
  g_given_back = 1;
  WriteAll(g_terminal.leave.bytes, g_terminal.leave.length);
  tcsetattr(g_terminal.fd, TCSANOW, &g_terminal.shell_modes);
}

void TakeTerminalAgain() {
  if (g_terminal_held == 0 || g_given_back == 0) return;
  g_given_back = 0;
  tcsetattr(g_terminal.fd, TCSANOW, &g_terminal.program_modes);
  WriteAll(g_terminal.enter.bytes, g_terminal.enter.length);
  if (g_mouse_on != 0) {
    static constexpr char kMouseOn[] = "\x1b[?1000h\x1b[?1006h";
    WriteAll(kMouseOn, sizeof kMouseOn - 1);
  }
  g_repaint = 1;
  WakeUp();
}

void SetAction(int signal_number, void (*handler)(int), const sigset_t& mask) {
  struct sigaction action = {};
  action.sa_handler = handler;
  action.sa_mask = mask;
  action.sa_flags = SA_RESTART;
  sigaction(signal_number, &action, nullptr);
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

// The terminal is taken again by SIGTSTP's handler when it runs on; a stop that the handler
// did not see (SIGSTOP) leaves the program's modes in place, but what the shell wrote
// meanwhile is painted over.
void OnContinue(int) {
  const int saved_errno = errno;
  if (g_terminal_held != 0 && g_given_back == 0) {
    tcsetattr(g_terminal.fd, TCSANOW, &g_terminal.program_modes);
  }
  TakeTerminalAgain();
  g_repaint = 1;
  WakeUp();
  errno = saved_errno;
}

void OnStop(int signal_number) {
  const int saved_errno = errno;
  GiveBackTerminal();
  // Stop as the default action does. The signal is blocked while its handler runs: once
  // unblocked, the raised one stops the process here, and SIGCONT makes raise return.
  sigset_t empty;
  sigemptyset(&empty);
  SetAction(signal_number, SIG_DFL, empty);
  sigset_t this_signal;
  sigemptyset(&this_signal);
  sigaddset(&this_signal, signal_number);
  raise(signal_number);
  sigprocmask(SIG_UNBLOCK, &this_signal, nullptr);
  // Running again (or never stopped: the kernel drops a stop for a process whose group
  // has no shell to come back to).
  sigprocmask(SIG_BLOCK, &this_signal, nullptr);
  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGCONT);
  SetAction(signal_number, OnStop, mask);
  TakeTerminalAgain();
  errno = saved_errno;
}

void OnEndingSignal(int signal_number) {
  GiveBackTerminal();
  // The default action, once this handler returns and the signal is no longer blocked: a
  // fault that raised it happens again, and either ends the process as the signal says.
  sigset_t empty;
  sigemptyset(&empty);
  SetAction(signal_number, SIG_DFL, empty);
  raise(signal_number);
}

void Keep(KeptBytes& kept, std::string_view bytes) {
  kept.length = std::min(bytes.size(), sizeof kept.bytes);
  std::copy_n(bytes.begin(), kept.length, kept.bytes);
}

}  // namespace

std::unique_ptr<SignalCatcher> SignalCatcher::Prepare(base::Error& error) {
  if (g_wake_fd >= 0) {
    error = {"statekeeper: the terminal is already in use"};
    return nullptr;
  }
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_NONBLOCK | O_CLOEXEC) != 0) {
    error = base::MakeOsError("statekeeper: cannot create a pipe", base::GetLastOsError());
    return nullptr;
  }
  std::unique_ptr<SignalCatcher> catcher(
      new SignalCatcher(base::UniqueFd(pipe_fds[0]), base::UniqueFd(pipe_fds[1])));
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    sigaction(signal_number, nullptr, &catcher->old_actions_[signal_number]);
  }
  // The stop handler goes in before curses sets up: curses then leaves SIGTSTP alone,
  // instead of ignoring it while it draws (a stop sent then would be lost). SIGCONT's
  // handler waits until the stop's has taken the terminal again.
  if (catcher->old_actions_[SIGTSTP].sa_handler != SIG_IGN) {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGCONT);
    SetAction(SIGTSTP, OnStop, mask);
    catcher->caught_[SIGTSTP] = true;
  }
  g_termination_signal = 0;
  g_resized = 0;
  g_repaint = 0;
  g_terminal_held = 0;
  g_given_back = 0;
  g_mouse_on = 0;
  g_wake_fd = catcher->wake_write_.get();
  return catcher;
}

SignalCatcher::SignalCatcher(base::UniqueFd wake_read, base::UniqueFd wake_write)
    : wake_read_(std::move(wake_read)), wake_write_(std::move(wake_write)) {}

SignalCatcher::~SignalCatcher() {
  ReleaseTerminal();
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    if (caught_[signal_number]) sigaction(signal_number, &old_actions_[signal_number], nullptr);
  }
  g_wake_fd = -1;
}

void SignalCatcher::KeepTerminal(int fd, const termios& shell_modes, std::string_view leave_bytes,
                                 std::string_view enter_bytes) {
  g_terminal.fd = fd;
  g_terminal.shell_modes = shell_modes;
  Keep(g_terminal.leave, leave_bytes);
  Keep(g_terminal.enter, enter_bytes);
}

void SignalCatcher::Catch() {
  if (tcgetattr(g_terminal.fd, &g_terminal.program_modes) == 0) g_terminal_held = 1;
  sigset_t empty;
  sigemptyset(&empty);
  for (int signal_number : kNotedSignals) {
    SetAction(signal_number,
              signal_number == SIGWINCH  ? OnResize
              : signal_number == SIGCONT ? OnContinue
                                         : OnTerminationSignal,
              empty);
    caught_[signal_number] = true;
  }
  const auto is_ignored = [this](int signal_number) {
    return old_actions_[signal_number].sa_handler == SIG_IGN;
  };
  for (int signal_number : kEndingSignals) {
    if (is_ignored(signal_number)) continue;
    SetAction(signal_number, OnEndingSignal, empty);
    caught_[signal_number] = true;
  }
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
    if (is_ignored(signal_number)) continue;
    SetAction(signal_number, OnEndingSignal, empty);
    caught_[signal_number] = true;
  }
}

void SignalCatcher::NoteMouseReporting(bool on) { g_mouse_on = on ? 1 : 0; }

void SignalCatcher::ReleaseTerminal() { g_terminal_held = 0; }

void SignalCatcher::Drain() {
  char drain[64];
  while (read(wake_read_.get(), drain, sizeof drain) > 0) {
  }
}

int SignalCatcher::termination_signal() { return g_termination_signal; }

bool SignalCatcher::TakeResize() {
  if (g_resized == 0) return false;
  g_resized = 0;
  return true;
}

bool SignalCatcher::TakeRepaint() {
  if (g_repaint == 0) return false;
  g_repaint = 0;
  return true;
}

void SignalCatcher::EndWithSignal(int signal_number) {
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

}  // namespace console
