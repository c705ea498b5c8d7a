// The program's entry on POSIX systems: the locale, the signals and the terminal; the rest
// is the main program that every platform shares (RunMain).
#include <signal.h>

#include <clocale>
#include <memory>

#include "app/startup.h"
#include "console/backend_ncurses.h"

namespace {

void SetUp() {
  std::setlocale(LC_ALL, "");
  // Numbers are written with a full stop whatever the user's locale says.
  std::setlocale(LC_NUMERIC, "C");
  // A disk that fills up, or a file size limit, must come back as a write error that
  // leaves the old files in place, not as a signal that kills the program mid-write.
  ::signal(SIGXFSZ, SIG_IGN);
}

std::unique_ptr<console::Backend> OpenTerminal(base::Error& error) {
  return console::TerminalBackend::Create(error);
}

}  // namespace

int main(int argc, char** argv) {
  const app::Platform platform{app::HelpPlatform::kPosix, &SetUp, &OpenTerminal,
                               &console::TerminalBackend::IsTerminationRequested};
  return app::RunMain(argc, argv, STATEKEEPER_VERSION, platform);
}
