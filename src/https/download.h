// One HTTPS request to the logbook service, its reply's body handed on piece by piece as it
// arrives: the seam between the program and the platform's HTTPS client. download_curl.cc
// implements FetchSession and FetchReply with libcurl, download_windows.cc with WinHTTP;
// nothing else in the program knows the client. The request is a POST of form fields, so
// the API key never stands in an address. The wording of failures is shared
// (fetch_failure.h), so both say the same thing about the same failure.
#ifndef STATEKEEPER_HTTPS_DOWNLOAD_H_
#define STATEKEEPER_HTTPS_DOWNLOAD_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace https {

// The logbook service's API address, used unless the environment names another.
inline constexpr std::string_view kDefaultEndpoint = "https://logbook.qrz.com/api";

// What a caller answers when a transfer asks whether to go on: the one meaning of
// cancelling, from the HTTPS clients up to the Update page.
enum class Flow {
  kGoOn,    // go on with the transfer
  kCancel,  // abandon it: it fails as kCancelled
};

// The logbook service as every request of an update reaches it: built once from the
// settings and the environment, and lent unchanged to each request.
struct Service {
  // Scheme, host, port and path; the scheme must be https. Nothing is added to it: the
  // fields go in the body.
  std::string endpoint;
  // A PEM file of authorities to trust instead of the system's, or "". Only libcurl takes
  // one; WinHTTP trusts the system's store alone and fails a request that names a file.
  std::string ca_file;
  std::string api_key;
  // The transfer is given up when less than 1 byte a second has arrived for this long
  // (libcurl averages the speed over 5 s, so there it ends some seconds later). Only tests
  // shorten it.
  int stall_seconds = 60;
};

// What one request asks for beyond the service and where its reply goes. Borrowed by
// FetchReply for the call; its callbacks are called on the calling thread, before
// FetchReply returns.
struct ReplyRequest {
  // The value of the OPTION field ("MAX:2000,AFTERLOGID:0"), or "" to send none.
  std::string option;
  // Takes each piece of the body as it arrives; returns "" or why the transfer must stop
  // (the request then fails with that reason as it is).
  std::function<std::string(std::string_view)> take_body;
  // Asked often during the transfer, at least about once a second also while nothing
  // arrives; Flow::kCancel abandons it. May be empty.
  std::function<Flow()> check;
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

// Returns the body of a request, application/x-www-form-urlencoded: "KEY=" + the key
// percent-encoded (every byte but A-Z a-z 0-9 - . _ ~ written as %XX, so that no byte of
// the key can change the request) + "&ACTION=FETCH", then "&OPTION=" + `option` unless it is "". It
// holds the key: it is never shown.
std::string MakeRequestBody(std::string_view api_key, std::string_view option);

// Replaces every occurrence of the key in `text`, as it is and percent-encoded, by "***".
void ScrubKey(std::string& text, std::string_view api_key);

// The connection that the requests of one update share, so that the pages after the first
// need no new connection and no new secure handshake: libcurl keeps it in a reused easy
// handle, WinHTTP in one session and connection handle. A new connection is opened only
// when the service has closed the last one (or a request failed on it). Opened by the
// first request; closed with the object. Used from one thread at a time.
class FetchSession {
 public:
  FetchSession();
  ~FetchSession();
  FetchSession(const FetchSession&) = delete;
  FetchSession& operator=(const FetchSession&) = delete;

  struct Client;  // the platform's HTTPS client state (download_curl.cc, download_windows.cc)
  // The client state, made on first use; FetchReply's alone.
  Client& client();

 private:
  std::unique_ptr<Client> client_;
};

// Sends the request on `session` to `service`: a POST of MakeRequestBody(key, option) as
// application/x-www-form-urlencoded to the endpoint, asking for a compressed reply where
// the client can decompress one, and hands the body, decompressed, to
// `request.take_body`. Follows at most 5 redirects, each to https only, repeating the POST
// with its body. Fails before anything is sent when the endpoint is not a valid https
// address (or, on Windows, names an authority file); after that on a transfer error (name,
// connection, certificate, no answer within 30 s, a stall, a broken body), on an HTTP
// status other than 2xx (whose body libcurl may already have handed on), when `take_body`
// refuses a piece or when the caller cancels. Blocks until the transfer has ended.
// `session`, `service` and `request` are borrowed for the call; the session keeps the
// connection for the next request, which must be to the same `service`.
[[nodiscard]] FetchResult FetchReply(FetchSession& session, const Service& service,
                                     const ReplyRequest& request);

}  // namespace https

#endif  // STATEKEEPER_HTTPS_DOWNLOAD_H_
