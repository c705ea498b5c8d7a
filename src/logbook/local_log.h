// One synchronisation's data work: the logbook is fetched into the Temporary download
// file, normalised into the Local log file, and both extractions run on it, writing the
// nine Band files and the Country file and extending the Confirmed-country list. Either
// all of these files are replaced and the list extended, or nothing changes at all.
#ifndef STATEKEEPER_LOGBOOK_LOCAL_LOG_H_
#define STATEKEEPER_LOGBOOK_LOCAL_LOG_H_

#include <functional>
#include <string>

#include "award/lists.h"

namespace logbook {

// Where a synchronisation reads and writes, and what it sends. Borrowed for one call.
struct SyncSettings {
  std::string program_folder;  // ends with the path separator
  std::string temp_folder;     // folder of the Temporary download file, ends with it too
  std::string endpoint;        // the Logbook service's API address, without a query
  std::string ca_file;         // certificate authorities to trust instead of the system's
  std::string api_key;
  // Polled during the transfer; returning true abandons it (the result then fails).
  std::function<bool()> cancelled;
};

struct SyncResult {
  bool ok = false;
  // Why it failed, fit to show the operator; never holds the API key.
  std::string reason;
  // The service refused the API key (its RESULT=AUTH answer).
  bool key_refused = false;
};

// Downloads the logbook and rewrites the Local log file at `log_path`, the Band files and
// the Country file, and adds newly confirmed countries to `countries`. On failure (the
// transfer failed, an HTTP status other than 2xx, an empty reply, the service's RESULT=FAIL
// or RESULT=AUTH answer, or a file that could not be written) no file of the Program
// folder and nothing of `countries` has changed.
// Everything after the download: the reply in the Temporary download file at
// `reply_path` checked for the service's failure answers, normalised into the Local log
// file at `log_path`, and both extractions run on it into the Band files and the Country
// file of `program_folder`. All of these files are replaced together, and `countries`
// extended, only when every one of them could be written.
[[nodiscard]] SyncResult ProcessReply(const std::string& program_folder,
                                      const std::string& reply_path, const std::string& log_path,
                                      award::ConfirmedCountryList& countries);

[[nodiscard]] SyncResult DownloadLogbook(const SyncSettings& settings, const std::string& log_path,
                                         award::ConfirmedCountryList& countries);

}  // namespace logbook

#endif  // STATEKEEPER_LOGBOOK_LOCAL_LOG_H_
