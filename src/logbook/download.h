// The one HTTPS request of the program: the whole logbook, fetched into the Temporary
// download file. This is the only file that knows the HTTPS client.
#ifndef STATEKEEPER_LOGBOOK_DOWNLOAD_H_
#define STATEKEEPER_LOGBOOK_DOWNLOAD_H_

#include <functional>
#include <string>
#include <string_view>

namespace logbook {

inline constexpr std::string_view kDefaultEndpoint = "https://logbook.qrz.com/api";
inline constexpr std::string_view kTemporaryFileName = "QRZ_LogBook.tmp";

struct FetchRequest {
  std::string endpoint;  // scheme, host, port and path; the query is appended
  std::string ca_file;   // PEM file of authorities to trust instead of the system's, or ""
  std::string api_key;
  std::string temp_path;  // the Temporary download file
  // Polled during the transfer; returning true abandons it. May be empty.
  std::function<bool()> cancelled;
  // The transfer is given up when less than 1 byte a second has arrived for this long
  // (libcurl measures the speed over 5 s, so it ends some seconds later). Only tests
  // shorten it.
  int stall_seconds = 60;
};

struct FetchResult {
  bool ok = false;
  std::string reason;  // why not, fit to show the operator; never holds the API key
};

// Every byte but A-Z a-z 0-9 - . _ ~ as %XX, so that no byte of the key can change the
// request.
std::string PercentEncoded(std::string_view text);

// `endpoint` + "?KEY=" + the key percent-encoded (all but A-Z a-z 0-9 - . _ ~) +
// "&ACTION=FETCH".
std::string RequestAddress(std::string_view endpoint, std::string_view api_key);

// Fetches the request address into `request.temp_path` (created 0600, never through a
// symbolic link or into anything but a regular file of this user). Fails on a transfer
// error (connection, certificate, time-out, broken off), an HTTP status other than 2xx, or
// an empty reply. On failure the file holds nothing of this transfer that could be taken
// for a logbook: it is removed.
[[nodiscard]] FetchResult FetchLogbook(const FetchRequest& request);

}  // namespace logbook

#endif  // STATEKEEPER_LOGBOOK_DOWNLOAD_H_
