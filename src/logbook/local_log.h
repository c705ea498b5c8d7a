// One synchronisation's data work: the logbook is fetched into the Temporary download
// file, normalised into the Local log file, and both extractions run on it, writing the
// nine Band files and the Country file and extending the Confirmed-country list. Either
// all of these files are replaced and the list extended, or nothing changes at all, even
// when the process is killed meanwhile (base/file_commit.h). The caller owns the list and
// lends it for one call.
#ifndef STATEKEEPER_LOGBOOK_LOCAL_LOG_H_
#define STATEKEEPER_LOGBOOK_LOCAL_LOG_H_

#include <functional>
#include <string>

#include "award/lists.h"
#include "logbook/fetch_logbook.h"

namespace logbook {

// Where a synchronisation reads and writes, and what it sends. Borrowed for one call.
struct SyncSettings {
  std::string program_folder;  // ends with the path separator
  std::string temp_folder;     // folder of the Temporary download file, ends with it too
  https::Service service;      // where the logbook comes from, with the key
  // Called often during the download with what has arrived; https::Flow::kCancel cancels
  // it (the result is then kCancelled). May be empty.
  ProgressCheck progress;
};

// How a synchronisation ended.
enum class SyncOutcome {
  kDone,        // every file was replaced and the list extended
  kFailed,      // anything else went wrong; the reason says what
  kKeyRefused,  // the service refused the API key (its RESULT=AUTH or STATUS=AUTH answer)
  kCancelled,   // the caller cancelled the download
  // Another process was updating the same files: nothing was asked or changed.
  kAnotherRunning,
};

// The outcome of a synchronisation and, when it did not succeed, why.
struct SyncResult {
  SyncOutcome outcome = SyncOutcome::kFailed;
  // Why it failed, fit to show the operator; "" after kDone.
  std::string reason;

  bool ok() const { return outcome == SyncOutcome::kDone; }
};

// Everything after the download: the reply in the Temporary download file at `reply_path`
// judged (the service's failure answers RESULT=FAIL, RESULT=AUTH and their STATUS=
// spellings in front of the data; a reply with no record that never says RESULT=OK is no
// logbook), normalised into the Local log file at `log_path`, and both extractions run on
// it into the Band files and the Country file of `program_folder` (which ends with the path
// separator). Every new file is written and flushed beside its old one first; only when the
// reply is a logbook and all of them could be written are they put in place together
// (base::CommitFiles), and `countries` extended. When putting one in place fails, the ones
// before it get their old content back, so that on every failure no file and nothing of
// `countries` has changed. Returns kDone,
// kKeyRefused for the service's AUTH answer, or kFailed with the reason, which may quote the
// service's REASON text (DownloadLogbook scrubs the key from it). `countries` is borrowed
// for the call. Never reads the network.
[[nodiscard]] SyncResult ProcessReply(const std::string& program_folder,
                                      const std::string& reply_path, const std::string& log_path,
                                      award::ConfirmedCountryList& countries);

// One synchronisation's data work: undoes what an update killed midway left in the Program
// folder and removes its leftover files (base::RemoveLeftovers), fetches the logbook into the
// Temporary download file of `settings.temp_folder` (FetchLogbook: one reply, or page by page when
// that takes too long) and runs ProcessReply on it with the Local log file at `log_path`.
// Returns kDone; kCancelled when the caller cancelled; kKeyRefused when the service refused
// the key; or kFailed for any other reason (the transfer, the service's answer, no logbook,
// a file that could not be written). On failure no file of the Program folder but those
// leftovers and nothing of `countries` has changed, as ProcessReply says. The reason never
// holds the API key. The Temporary download file holds the reply only while the call
// runs: it is removed at the end whatever the outcome (a refused key's reply included).
// `settings` and `countries` are borrowed for the call.
[[nodiscard]] SyncResult DownloadLogbook(const SyncSettings& settings, const std::string& log_path,
                                         award::ConfirmedCountryList& countries);

}  // namespace logbook

#endif  // STATEKEEPER_LOGBOOK_LOCAL_LOG_H_
