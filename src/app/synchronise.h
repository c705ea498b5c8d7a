// One synchronisation without the screen: the update lock, the download and the
// extractions, and the reload of the band lists. The Update page (update_page.h) and
// "--update" both run it.
#ifndef STATEKEEPER_APP_SYNCHRONISE_H_
#define STATEKEEPER_APP_SYNCHRONISE_H_

#include <functional>
#include <string>

#include "app/program.h"
#include "logbook/local_log.h"

namespace app {

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

}  // namespace app

#endif  // STATEKEEPER_APP_SYNCHRONISE_H_
