// The main procedure from start to end: the award data, the first run with its
// Introduction and prompts when there is no Settings file, the settings read at every
// start, the console set up for the main screen, the data of the last synchronisation
// loaded, and the main screen until the Farewell.
#ifndef STATEKEEPER_APP_STARTUP_H_
#define STATEKEEPER_APP_STARTUP_H_

#include <functional>
#include <memory>

#include "app/command_line.h"
#include "app/program_folder.h"
#include "base/error.h"
#include "console/backend.h"
#include "console/console.h"

namespace app {

inline constexpr const char* kWindowTitle = "Statekeeper By Brannock Tarvel v2021.11.10";

// Runs the program on `console` with the files of `places`, after removing from the Program
// folder what a rewrite killed midway left there. `termination_requested` tells a running
// download that the process has been asked to end. Returns the exit status.
int RunProgram(console::Console& console, const Places& places,
               std::function<bool()> termination_requested);

// What a platform's main program brings to RunMain.
struct Platform {
  HelpPlatform help;
  // Sets the process up once the arguments ask for a run, before anything else is done
  // (the locale, the signals); may be null.
  void (*set_up)();
  // Takes the terminal over for the screen, or returns null with `error` set.
  std::unique_ptr<console::Backend> (*open_terminal)(base::Error& error);
  // True once the process has been asked to end (a signal, the window closed).
  bool (*termination_requested)();
};

// The main program on every platform, for the arguments of main (`argc`, `argv`, both
// borrowed) and the program's `version`: answers the command line without any set-up
// ("--help" and the like touch neither the terminal nor a file), then sets up the
// platform, finds the places of the files, runs a command without the screen
// (RunUnattended) or takes the terminal over and runs the program (RunProgram). A failure
// to find the places or to take the terminal is one line on standard error, before the
// screen is taken, and status 1. Returns the exit status.
int RunMain(int argc, char** argv, const char* version, const Platform& platform);

}  // namespace app

#endif  // STATEKEEPER_APP_STARTUP_H_
