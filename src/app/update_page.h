// The Update page: its prompt, the synchronisation with its waiting notice, progress and
// Esc to cancel, and the notice of its outcome; the same notice on a first run, and the
// same words for a run without the screen.
#ifndef STATEKEEPER_APP_UPDATE_PAGE_H_
#define STATEKEEPER_APP_UPDATE_PAGE_H_

#include <string>

#include "app/program.h"
#include "console/console.h"
#include "logbook/local_log.h"

namespace app {

// Where the main loop goes after the Update page.
enum class UpdatePageMove {
  kStay,   // wait for the main loop's own key
  kLeft,   // an arrow or "L": the item before
  kRight,  // an arrow or "R": the item after
};

// Shows the Update page on a main screen whose Selector and rule are drawn, and waits for a
// key. Enter runs Synchronise, shows its outcome with the process time and waits 3 seconds
// (a key typed during the download is taken and dropped there); the arrows and "R"/"L" ask
// for a move; every other key is dropped.
UpdatePageMove ShowUpdatePage(console::Console& console, const ProgramValues& values,
                              AwardData& data);

// Shows the waiting notice and runs UpdateLogbook. While the logbook
// arrives, row 23 shows how much has (ProgressText) and row 24 that Esc cancels; Esc stops
// the download, and every other key typed meanwhile is kept for the next WaitKey. Both rows
// are blank again on return. On failure or cancellation nothing of the last good
// synchronisation has changed, on disk or in `data`.
[[nodiscard]] logbook::SyncResult Synchronise(console::Console& console,
                                              const ProgramValues& values, AwardData& data);

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

// What row 23 says during a download: "1,234 of 5,678 contacts received" once the reply
// has announced its count, "4,040 contacts received" once more than that have arrived (the
// count was a page's own), else the megabytes received ("12.3 MB received").
std::string ProgressText(const logbook::DownloadProgress& progress);

// The failure of `result` in one line, in the words of the Update page's notice ("Update
// failed: nothing was changed: " and the reason, with how to enter a refused key again),
// for a run without the screen. A cancellation is said to have come from outside.
std::string SyncFailureLine(const ProgramValues& values, const logbook::SyncResult& result);

// The process time of `elapsed_ms` in seconds, rounded to two decimals (an exact half to
// the even neighbour).
double ProcessSeconds(long long elapsed_ms);

}  // namespace app

#endif  // STATEKEEPER_APP_UPDATE_PAGE_H_
