// One HTTPS request to the logbook service, its reply's body handed on piece by piece as it
// arrives. Each platform's HTTPS client implements FetchReply; nothing else in the program
// knows the client.
#ifndef STATEKEEPER_LOGBOOK_DOWNLOAD_H_
#define STATEKEEPER_LOGBOOK_DOWNLOAD_H_

#include <functional>
#include <string>
#include <string_view>

namespace logbook {

inline constexpr std::string_view kDefaultEndpoint = "https://logbook.qrz.com/api";

struct ReplyRequest {
  std::string endpoint;  // scheme, host, port and path; the query is appended
  std::string ca_file;   // PEM file of authorities to trust instead of the system's, or ""
  std::string api_key;
  // Appended to the query behind "&ACTION=FETCH" ("&OPTION=..."), or "".
  std::string more_query;
  // Takes each piece of the body as it arrives; returns "" or why the transfer must stop
  // (the request then fails with that reason).
  std::function<std::string(std::string_view)> take_body;
  // Polled often during the transfer, at least about once a second also while nothing
  // arrives; returning true abandons it. May be empty.
  std::function<bool()> cancelled;
  // The transfer is given up when less than 1 byte a second has arrived for this long
  // (libcurl measures the speed over 5 s, so it ends some seconds later). Only tests
  // shorten it.
  int stall_seconds = 60;
};

// Why a request failed, as far as the caller acts on it.
enum class FetchFailure {
  kNone,
  kCancelled,    // the caller's cancellation
  kTimedOut,     // no answer in time, or the transfer stalled
  kServerError,  // an HTTP 5xx status
  kBrokenOff,    // the body was cut short or the connection dropped
  kKeyRefused,   // the service's answer refused the API key
  kOther,
};

struct FetchResult {
  FetchFailure failure = FetchFailure::kOther;
  std::string reason;  // why not, fit to show the operator; never holds the API key

  bool ok() const { return failure == FetchFailure::kNone; }
};

// Every byte but A-Z a-z 0-9 - . _ ~ as %XX, so that no byte of the key can change the
// request.
std::string PercentEncoded(std::string_view text);

// `endpoint` + "?KEY=" + the key percent-encoded (all but A-Z a-z 0-9 - . _ ~) +
// "&ACTION=FETCH".
std::string RequestAddress(std::string_view endpoint, std::string_view api_key);

// Sends the request (a GET, asking for a compressed reply) and hands the decompressed body
// to `request.take_body`. Fails on a transfer error (connection, certificate, time-out,
// broken off), on an HTTP status other than 2xx after at most 5 redirects to https, or when
// `take_body` refuses a piece. Blocks until the transfer has ended.
[[nodiscard]] FetchResult FetchReply(const ReplyRequest& request);

}  // namespace logbook

#endif  // STATEKEEPER_LOGBOOK_DOWNLOAD_H_
