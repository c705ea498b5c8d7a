// One synchronisation as the operator sees it: the waiting notice, the download and the
// extractions, the reload of the band lists, and the notice of a failure.
#ifndef STATEKEEPER_APP_SYNCHRONISE_H_
#define STATEKEEPER_APP_SYNCHRONISE_H_

#include <functional>
#include <string>

#include "app/program.h"
#include "console/console.h"
#include "logbook/local_log.h"

namespace app {

// Blanks rows 3 to 42, columns 2 to 56, in the colours in force.
void ClearWorkArea(console::Console& console);

// The Local log file's path: the Program folder and the file name LocalLogFileName makes
// of the account name.
std::string LocalLogPath(const ProgramValues& values);

// One synchronisation without the screen, the one both the Update page and "--update"
// make: takes the update lock of the Program folder (UpdateLock), downloads the logbook
// into the Local log file and rewrites the Band files and the Country file, extending
// `data.countries`, then reloads `data.unconfirmed` from the Band files. `progress` is
// called often during the download; https::Flow::kCancel cancels it. Returns kAnotherRunning
// ("another update is running") at once, before anything is opened or asked, when another
// process holds the lock, and kFailed when the lock cannot be taken at all. On failure or
// cancellation nothing of the last good synchronisation has changed, on disk or in `data`.
// The lock is dropped on return.
[[nodiscard]] logbook::SyncResult UpdateLogbook(const ProgramValues& values, AwardData& data,
                                                const logbook::ProgressCheck& progress);

// Shows the waiting notice and runs UpdateLogbook. While the logbook
// arrives, row 23 shows how much has (ProgressText) and row 24 that Esc cancels; Esc stops
// the download, and every other key typed meanwhile is kept for the next WaitKey. Both rows
// are blank again on return. On failure or cancellation nothing of the last good
// synchronisation has changed, on disk or in `data`.
[[nodiscard]] logbook::SyncResult Synchronise(console::Console& console,
                                              const ProgramValues& values, AwardData& data);

// What row 23 says during a download: "1,234 of 5,678 contacts received" once the reply
// has announced its count, "4,040 contacts received" once more than that have arrived (the
// count was a page's own), else the megabytes received ("12.3 MB received").
std::string ProgressText(const logbook::DownloadProgress& progress);

// The failure of `result` in one line, in the words of the Update page's notice ("Update
// failed: nothing was changed: " and the reason, with how to enter a refused key again),
// for a run without the screen. A cancellation is said to have come from outside.
std::string SyncFailureLine(const ProgramValues& values, const logbook::SyncResult& result);

// Where the notice of a failed or cancelled synchronisation stands.
enum class FailureLayout {
  // On the Update page: rows 21 and 22 (what failed and why) and, when the key was
  // refused, rows 24 and 25 (how to enter it again); row 23 is left for the process time.
  kUpdatePage,
  // On a first run, in the window's own size, which may be no more than 24 rows: rows 20
  // and 21, the hint on rows 22 and 23, and row 24 left for the line that asks for a key.
  kFirstRun,
};

// Puts the notice of a failed or cancelled synchronisation in place of the success notice,
// as `layout` says.
void ShowSyncFailure(console::Console& console, const ProgramValues& values,
                     const logbook::SyncResult& result, FailureLayout layout);

}  // namespace app

#endif  // STATEKEEPER_APP_SYNCHRONISE_H_
