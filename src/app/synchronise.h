// One synchronisation as the operator sees it: the waiting notice, the download and the
// extractions, the reload of the band lists, and the notice of a failure.
#ifndef STATEKEEPER_APP_SYNCHRONISE_H_
#define STATEKEEPER_APP_SYNCHRONISE_H_

#include "app/program.h"
#include "console/console.h"
#include "logbook/local_log.h"

namespace app {

// Blanks rows 3 to 42, columns 2 to 56, in the colours in force.
void ClearWorkArea(console::Console& console);

// Shows the waiting notice, downloads the logbook into the Local log file (Program folder,
// account name, ".adi") and rewrites the Band files and the Country file, extending
// `data.countries`, then reloads `data.unconfirmed` from the Band files. On failure
// nothing of the last good synchronisation has changed, on disk or in `data`.
[[nodiscard]] logbook::SyncResult Synchronise(console::Console& console,
                                              const ProgramValues& values, AwardData& data);

// Puts the notice of a failed synchronisation in place of the success notice: rows 21
// and 22 (what failed and why) and, when the key was refused, rows 24 and 25 (how to enter
// it again). Row 23 is left for the process time.
void ShowSyncFailure(console::Console& console, const ProgramValues& values,
                     const logbook::SyncResult& result);

}  // namespace app

#endif  // STATEKEEPER_APP_SYNCHRONISE_H_
