// The whole logbook fetched into the Temporary download file: first as one reply, and when
// that takes too long for the service or the network (a time-out or stall, an HTTP 5xx
// status, a body broken off) once more page by page, joined into the text of one reply.
// The caller is told what has arrived as it arrives and may cancel.
#ifndef STATEKEEPER_LOGBOOK_FETCH_LOGBOOK_H_
#define STATEKEEPER_LOGBOOK_FETCH_LOGBOOK_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "https/download.h"

namespace logbook {

inline constexpr std::string_view kTemporaryFileName = "QRZ_LogBook.tmp";

// What has arrived of the logbook so far (over all pages when it comes page by page).
struct DownloadProgress {
  std::int64_t records = 0;
  // The COUNT the service announced, once known; page by page, the first page's, which
  // some services give for that page alone, so `records` may exceed it.
  std::optional<std::int64_t> announced;
  std::int64_t bytes = 0;  // after decompression
};

// Asked often during the download (at least about once a second, also while nothing
// arrives) with what has arrived; https::Flow::kCancel cancels it.
using ProgressCheck = std::function<https::Flow(const DownloadProgress&)>;

// Fetches the logbook from `service` into `temp_path` (created 0600, never through a symbolic
// link or into anything but a regular file of this user). The file then holds the reply,
// or the pages joined: the first page's text in front of its data, every page's records
// in order, the last page's text behind its records (decoded as the program's
// normalisation would decode them). All requests go over one connection while the service
// keeps it open. Fails when the request fails and no second try by
// pages is due, when the second try fails at any page, on an empty reply, or when the file
// cannot be written; the file is then removed. The result's reason never holds the key.
// `progress` may be empty. Everything is borrowed for the call.
[[nodiscard]] https::FetchResult FetchLogbook(const https::Service& service,
                                              const std::string& temp_path,
                                              const ProgressCheck& progress);

}  // namespace logbook

#endif  // STATEKEEPER_LOGBOOK_FETCH_LOGBOOK_H_
