#include "console/terminal_signals_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <iterator>
#include <utility>

namespace console {
namespace {

// What the handlers share with the program. Signal handlers can only talk through objects
// like these: the number of a termination signal, a resize flag and the write end of the
// self-pipe that wakes the input wait (-1 while no catcher exists).
volatile sig_atomic_t g_termination_signal = 0;
volatile sig_atomic_t g_resized = 0;
volatile sig_atomic_t g_wake_fd = -1;

constexpr int kHandledSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGWINCH};

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
  for (std::size_t i = 0; i < std::size(kHandledSignals); ++i) {
    sigaction(kHandledSignals[i], nullptr, &catcher->old_actions_[i]);
  }
  g_termination_signal = 0;
  g_resized = 0;
  g_wake_fd = catcher->wake_write_.get();
  return catcher;
}

SignalCatcher::SignalCatcher(base::UniqueFd wake_read, base::UniqueFd wake_write)
    : wake_read_(std::move(wake_read)), wake_write_(std::move(wake_write)) {}

SignalCatcher::~SignalCatcher() {
  if (catching_) {
    for (std::size_t i = 0; i < std::size(kHandledSignals); ++i) {
      sigaction(kHandledSignals[i], &old_actions_[i], nullptr);
    }
  }
  g_wake_fd = -1;
}

void SignalCatcher::Catch() {
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal_number : kHandledSignals) {
    action.sa_handler = signal_number == SIGWINCH ? OnResize : OnTerminationSignal;
    sigaction(signal_number, &action, nullptr);
  }
  catching_ = true;
}

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
