// One HTTPS request to the logbook service, its reply's body handed on piece by piece as it
// arrives: the seam between the program and the platform's HTTPS client. download_curl.cc
// implements FetchReply with libcurl, download_windows.cc with WinHTTP; nothing else in the
// program knows the client. The wording of failures is shared (fetch_failure.h), so both
// say the same thing about the same failure.
#ifndef STATEKEEPER_LOGBOOK_DOWNLOAD_H_
#define STATEKEEPER_LOGBOOK_DOWNLOAD_H_

#include <functional>
#include <string>
#include <string_view>

namespace logbook {

// The logbook service's API address, used unless the environment names another.
inline constexpr std::string_view kDefaultEndpoint = "https://logbook.qrz.com/api";

// What one request asks for and where its reply goes. Borrowed by FetchReply for the call;
// its callbacks are called on the calling thread, before FetchReply returns.
struct ReplyRequest {
  // Scheme, host, port and path, without a query; the scheme must be https.
  std::string endpoint;
  // A PEM file of authorities to trust instead of the system's, or "". Only libcurl takes
  // one; WinHTTP trusts the system's store alone and fails a request that names a file.
  std::string ca_file;
  std::string api_key;
  // Appended to the query behind "&ACTION=FETCH" ("&OPTION=..."), or "".
  std::string more_query;
  // Takes each piece of the body as it arrives; returns "" or why the transfer must stop
  // (the request then fails with that reason as it is).
  std::function<std::string(std::string_view)> take_body;
  // Asked often during the transfer, at least about once a second also while nothing
  // arrives; returning true abandons it. May be empty.
  std::function<bool()> should_cancel;
  // The transfer is given up when less than 1 byte a second has arrived for this long
  // (libcurl averages the speed over 5 s, so there it ends some seconds later). Only tests
  // shorten it.
  int stall_seconds = 60;
};

// Why a request failed, as far as the caller acts on it.
enum class FetchFailure {
  kNone,         // it did not fail
  kCancelled,    // the caller's cancellation
  kTimedOut,     // no answer in time, or the transfer stalled
  kServerError,  // an HTTP 5xx status
  kBrokenOff,    // the body was cut short, undecodable, or the connection dropped
  kKeyRefused,   // the service's answer refused the API key (only FetchLogbook finds this)
  kOther,        // anything else: the address, the certificate, another status, a refused
                 // piece of the body, the HTTPS client itself
};

// How a request ended.
struct FetchResult {
  FetchFailure failure = FetchFailure::kOther;
  // Why it failed, fit to show the operator; "" when it did not. It holds the API key only
  // if a reason given by take_body does.
  std::string reason;

  bool ok() const { return failure == FetchFailure::kNone; }
};

// Returns `text` with every byte but A-Z a-z 0-9 - . _ ~ written as %XX (upper-case hex),
// so that no byte of the key can change the request.
std::string PercentEncode(std::string_view text);

// Returns the address of the request for the whole logbook: `endpoint` + "?KEY=" + the key
// percent-encoded + "&ACTION=FETCH". It holds the key: it is never shown.
std::string MakeRequestAddress(std::string_view endpoint, std::string_view api_key);

// Sends the request (a GET with the key and `more_query` in its query, asking for a
// compressed reply where the client can decompress one) and hands the body, decompressed,
// to `request.take_body`. Follows at most 5 redirects, each to https only. Fails before
// anything is sent when the endpoint is not a valid https address (or, on Windows, names an
// authority file); after that on a transfer error (name, connection, certificate, no
// answer within 30 s, a stall, a broken body), on an HTTP status other than 2xx (whose body
// libcurl may already have handed on), when `take_body` refuses a piece or when the caller
// cancels. Blocks until the transfer has ended.
[[nodiscard]] FetchResult FetchReply(const ReplyRequest& request);

}  // namespace logbook

#endif  // STATEKEEPER_LOGBOOK_DOWNLOAD_H_
