// The main procedure from start to end: the award data, the first run with its
// Introduction and prompts when there is no Settings file, the settings read at every
// start, the console set up for the main screen, the data of the last synchronisation
// loaded, and the main screen until the Farewell.
#ifndef STATEKEEPER_APP_STARTUP_H_
#define STATEKEEPER_APP_STARTUP_H_

#include <functional>

#include "app/program_folder.h"
#include "console/console.h"

namespace app {

inline constexpr const char* kWindowTitle = "Statekeeper By Brannock Tarvel v2021.11.10";

// Runs the program on `console` with the files of `places`, after removing from the Program
// folder what a rewrite killed midway left there. `termination_requested` tells a running
// download that the process has been asked to end. Returns the exit status.
int RunProgram(console::Console& console, const Places& places,
               std::function<bool()> termination_requested);

}  // namespace app

#endif  // STATEKEEPER_APP_STARTUP_H_
