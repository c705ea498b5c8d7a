// The runs without the screen, for scripts, cron, a systemd timer or the Task Scheduler:
// "--update" makes the Update page's synchronisation, "--needed" and "--countries" print
// what the Band files and the Country file of the last one hold. They read no key and draw
// nothing; their results are plain lines, and their exit statuses say what happened.
#ifndef STATEKEEPER_APP_UNATTENDED_H_
#define STATEKEEPER_APP_UNATTENDED_H_

#include <cstdio>

#include "app/command_line.h"
#include "app/program_folder.h"

namespace app {

// The exit statuses of the runs without the screen (2 is kUsageExitStatus).
inline constexpr int kExitFailed = 1;          // failed or cancelled; nothing was changed
inline constexpr int kExitNoSettings = 2;      // "--update" without a Settings file
inline constexpr int kExitKeyRefused = 3;      // the service refused the API key
inline constexpr int kExitAnotherRunning = 4;  // another update holds the lock

// Runs the command that `answer` names (kUpdate, kNeeded or kCountries) on the files of
// `places`, writing its lines to `output` and its failure to `error` (both borrowed for the
// call), and returns the exit status:
// - kUpdate: one synchronisation for the account of the Settings file (UpdateLogbook), a
//   line on `output` with the contacts and the process time, or the failure on `error`.
//   While it runs, and only when `error` is a terminal, one line there counts what has
//   arrived, rewritten in place and blanked at the end. An interruption (SIGINT, SIGTERM;
//   Ctrl+C or Ctrl+Break on Windows) cancels the download as Esc does. 0; 1 failed or
//   cancelled; 2 no Settings file (nothing is asked); 3 the key was refused; 4 another
//   update is running.
// - kNeeded: per band (or the one asked for), in Band list order, the band, a colon and
//   every state the band view lists, each after a blank. 0; 1 when no Band file exists.
// - kCountries: the names of the Country file, sorted as the DX page shows them, one a
//   line. 0; 1 when there is no Country file.
// Only kUpdate writes a file. A failed write of `output` gives 1 with a line on `error`.
int RunUnattended(const CommandLineAnswer& answer, const Places& places, std::FILE* output,
                  std::FILE* error);

// Platform services of RunUnattended, in unattended_posix.cc and unattended_windows.cc.

// True when `stream` is a terminal (on Windows: a console).
bool IsTerminal(std::FILE* stream);

// From now on, SIGINT and SIGTERM (on Windows Ctrl+C and Ctrl+Break) are noted instead of
// ending the process.
void CatchInterruptions();

// True once an interruption noted by CatchInterruptions has arrived.
bool InterruptionArrived();

}  // namespace app

#endif  // STATEKEEPER_APP_UNATTENDED_H_
