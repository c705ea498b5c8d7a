// One synchronisation's data work: the logbook is fetched into the Temporary download
// file, normalised into the Local log file, and both extractions run on it, writing the
// nine Band files and the Country file and extending the Confirmed-country list. Either
// all of these files are replaced and the list extended, or nothing changes at all. The
// caller owns the list and lends it for one call.
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
  std::string endpoint;        // the Logbook service's API address, without a query
  std::string ca_file;         // certificate authorities to trust instead of the system's
  std::string api_key;
  // Called often during the download with what has arrived; returning false cancels it
  // (the result is then kCancelled). May be empty.
  std::function<bool(const DownloadProgress&)> progress;
  int stall_seconds = 60;  // see ReplyRequest; only tests shorten it
};

// How a synchronisation ended.
enum class SyncOutcome {
  kDone,
  kFailed,
  kKeyRefused,  // the service refused the API key (its RESULT=AUTH or STATUS=AUTH answer)
  kCancelled,   // the caller cancelled the download
};

struct SyncResult {
  SyncOutcome outcome = SyncOutcome::kFailed;
  // Why it failed, fit to show the operator; never holds the API key.
  std::string reason;

  bool ok() const { return outcome == SyncOutcome::kDone; }
};

// Everything after the download: the reply in the Temporary download file at `reply_path`
// judged (the service's failure answers RESULT=FAIL, RESULT=AUTH and their STATUS=
// spellings in front of the data; a reply with no record that never says RESULT=OK is no
// logbook), normalised into the Local log file at `log_path`, and both extractions run on
// it into the Band files and the Country file of `program_folder`. All of these files are
// replaced together, and `countries` extended, only when the reply is a logbook and every
// one of them could be written; otherwise nothing has changed.
[[nodiscard]] SyncResult ProcessReply(const std::string& program_folder,
                                      const std::string& reply_path, const std::string& log_path,
                                      award::ConfirmedCountryList& countries);

// One synchronisation's data work: fetches the logbook into the Temporary download file
// (FetchLogbook: one reply, or page by page when that takes too long) and runs
// ProcessReply on it. On failure, for whatever reason (the transfer, the service's answer,
// no logbook, a file that could not be written, the caller's cancellation) no file of the
// Program folder and nothing of `countries` has changed. The Temporary download file stays
// after a success; the next download rewrites it.
[[nodiscard]] SyncResult DownloadLogbook(const SyncSettings& settings, const std::string& log_path,
                                         award::ConfirmedCountryList& countries);

}  // namespace logbook

#endif  // STATEKEEPER_LOGBOOK_LOCAL_LOG_H_
