#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "app/unattended.h"

namespace app {
namespace {

volatile sig_atomic_t interruption_arrived = 0;

void NoteInterruption(int /*signal_number*/) { interruption_arrived = 1; }

}  // namespace

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

void CatchInterruptions() {
  struct sigaction action = {};
  action.sa_handler = NoteInterruption;
  sigemptyset(&action.sa_mask);
  // Restarted calls: a file write of the update must not fail for the signal itself; the
  // download looks at the note at least once a second.
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

bool InterruptionArrived() { return interruption_arrived != 0; }

}  // namespace app
