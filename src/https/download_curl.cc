// The download on POSIX, over libcurl: one easy handle for all the requests of an update,
// so that libcurl keeps the connection between them; libcurl following the redirects
// (https only, at most 5, each repeating the POST), measuring a stall and decompressing
// the body; the write and progress callbacks hand the body on and ask about cancellation.
// libcurl's error codes map to the shared wording of fetch_failure.h.
#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <string>

#include "https/download.h"
#include "https/fetch_failure.h"

#ifndef STATEKEEPER_VERSION
#error "STATEKEEPER_VERSION must be defined by the build"
#endif

namespace https {
namespace {

constexpr long kMaxRedirects = 5;
constexpr long kConnectTimeoutSeconds = 30;
constexpr long kLowSpeedBytesPerSecond = 1;
constexpr char kUserAgent[] = "Statekeeper/" STATEKEEPER_VERSION;

// libcurl's process-wide set-up, done once on first use and undone at exit.
class CurlLibrary {
 public:
  CurlLibrary() : result_(curl_global_init(CURL_GLOBAL_DEFAULT)) {}
  ~CurlLibrary() {
    if (result_ == CURLE_OK) curl_global_cleanup();
  }
  CurlLibrary(const CurlLibrary&) = delete;
  CurlLibrary& operator=(const CurlLibrary&) = delete;
  bool ok() const { return result_ == CURLE_OK; }

 private:
  const CURLcode result_;
};

bool InitialiseCurl() {
  static const CurlLibrary library;
  return library.ok();
}

struct EasyDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

struct CurlText {
  void operator()(char* text) const { curl_free(text); }
};
using CurlString = std::unique_ptr<char, CurlText>;

// The endpoint's scheme, host and port (the default port filled in), or ok == false when
// it is not a URL. The endpoint holds no key, so these may be shown.
struct Endpoint {
  bool ok = false;
  std::string scheme;
  std::string host;
  std::string port;
};

Endpoint ParseEndpoint(const std::string& endpoint) {
  Endpoint parsed;
  UrlHandle url(curl_url());
  if (!url || curl_url_set(url.get(), CURLUPART_URL, endpoint.c_str(), 0) != CURLUE_OK) {
    return parsed;
  }
  auto part = [&url](CURLUPart which, unsigned flags, std::string& out) {
    char* text = nullptr;
    if (curl_url_get(url.get(), which, &text, flags) != CURLUE_OK) return false;
    out = CurlString(text).get();
    return true;
  };
  parsed.ok = part(CURLUPART_SCHEME, 0, parsed.scheme) && part(CURLUPART_HOST, 0, parsed.host) &&
              part(CURLUPART_PORT, CURLU_DEFAULT_PORT, parsed.port);
  return parsed;
}

// What the write and progress callbacks share with FetchReply.
struct Transfer {
  const ReplyRequest* request = nullptr;
  std::string write_error;
};

// Hands a piece of the body to the caller; a refusal ends the transfer.
size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  std::string error = transfer.request->take_body(std::string_view(data, bytes));
  if (!error.empty()) {
    transfer.write_error = std::move(error);
    return 0;  // libcurl ends the transfer with CURLE_WRITE_ERROR
  }
  return bytes;
}

// Asks the caller, about once a second and whenever data arrives, whether to stop.
int CheckCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto& transfer = *static_cast<const Transfer*>(user);
  const auto& check = transfer.request->check;
  return (check && check() == Flow::kCancel) ? 1 : 0;
}

// libcurl's codes whose wording names no more than where the service is.
struct CodeCause {
  CURLcode code;
  FailureCause cause;
};
constexpr CodeCause kCodeCauses[] = {
    {CURLE_COULDNT_RESOLVE_HOST, FailureCause::kHostNotFound},
    {CURLE_COULDNT_RESOLVE_PROXY, FailureCause::kProxyNotFound},
    {CURLE_COULDNT_CONNECT, FailureCause::kCannotConnect},
    {CURLE_SSL_CONNECT_ERROR, FailureCause::kSecureChannelFailed},
    {CURLE_ABORTED_BY_CALLBACK, FailureCause::kCancelled},
    {CURLE_PARTIAL_FILE, FailureCause::kBrokenOff},
    {CURLE_RECV_ERROR, FailureCause::kBrokenOff},
    {CURLE_SEND_ERROR, FailureCause::kBrokenOff},
    {CURLE_GOT_NOTHING, FailureCause::kBrokenOff},
    {CURLE_HTTP2, FailureCause::kBrokenOff},
    {CURLE_HTTP2_STREAM, FailureCause::kBrokenOff},
    // The endpoint itself was checked to be https, so this was a redirect.
    {CURLE_UNSUPPORTED_PROTOCOL, FailureCause::kRedirectNotHttps},
    {CURLE_TOO_MANY_REDIRECTS, FailureCause::kTooManyRedirects},
    {CURLE_URL_MALFORMAT, FailureCause::kAddressNotValid},
    {CURLE_OUT_OF_MEMORY, FailureCause::kOutOfMemory},
};

// The operator's wording for a failed transfer. libcurl's own messages can hold the request
// address (which holds no key, the key going in the body, but a redirect's could), so they
// are used only where they add a detail that the wording lacks, and then scrubbed.
FetchResult DescribeTransferFailure(CURLcode code, CURL* curl, const Endpoint& endpoint,
                                    const Service& service, const char* error_text,
                                    const Transfer& transfer) {
  FailureDetail detail{endpoint.host, endpoint.port};
  for (const CodeCause& row : kCodeCauses) {
    if (row.code == code) return MakeFailure(row.cause, detail);
  }
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT: {
      // Secure before the time ran out: a handshake made in this transfer, or a connection
      // kept from the one before (which made no new one, and whose handshake time is 0).
      curl_off_t secure_since = 0;
      long new_connections = 1;
      curl_easy_getinfo(curl, CURLINFO_APPCONNECT_TIME_T, &secure_since);
      curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &new_connections);
      const bool secure = secure_since != 0 || new_connections == 0;
      return MakeFailure(secure ? FailureCause::kStalled : FailureCause::kNoAnswerInTime, detail);
    }
    case CURLE_PEER_FAILED_VERIFICATION: {
      detail.text = error_text;
      constexpr std::string_view kPrefix = "SSL certificate problem: ";
      if (detail.text.starts_with(kPrefix)) detail.text.erase(0, kPrefix.size());
      ScrubKey(detail.text, service.api_key);
      return MakeFailure(FailureCause::kCertificateRefused, detail);
    }
    case CURLE_SSL_CACERT_BADFILE:
      detail.text = service.ca_file;
      return MakeFailure(FailureCause::kAuthorityFileUnreadable, detail);
    case CURLE_WRITE_ERROR:
      detail.text = transfer.write_error;
      return MakeFailure(FailureCause::kBodyRefused, detail);
    default:
      // curl_easy_strerror's texts are fixed and never hold the address.
      detail.text = curl_easy_strerror(code);
      return MakeFailure(code == CURLE_BAD_CONTENT_ENCODING ? FailureCause::kBodyUndecodable
                                                            : FailureCause::kClientError,
                         detail);
  }
}

}  // namespace

// The session's easy handle, kept with its connection for the next request, and what its
// callbacks and error text point to, which must live as long as the handle.
struct FetchSession::Client {
  EasyHandle curl;
  Transfer transfer;
  char error_text[CURL_ERROR_SIZE] = {};
};

FetchSession::FetchSession() = default;
FetchSession::~FetchSession() = default;

FetchSession::Client& FetchSession::client() {
  if (!client_) client_ = std::make_unique<Client>();
  return *client_;
}

namespace {

// Sets every option of one request, the same ones for every request on the handle (a
// request leaves nothing behind but the connection). Returns false when libcurl refuses
// any of them.
bool SetOptions(FetchSession::Client& client, const Service& service, const std::string& body) {
  CURL* curl = client.curl.get();
  const long stall = service.stall_seconds > 0 ? service.stall_seconds : 1;
  // The body is copied, and sent again on every redirect: a POST stays a POST.
  const CURLcode codes[] = {
      curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, client.error_text),
      curl_easy_setopt(curl, CURLOPT_URL, service.endpoint.c_str()),
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size())),
      curl_easy_setopt(curl, CURLOPT_COPYPOSTFIELDS, body.c_str()),
      curl_easy_setopt(curl, CURLOPT_POSTREDIR, CURL_REDIR_POST_ALL),
      curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https"),
      curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https"),
      curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L),
      curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects),
      curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds),
      curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond),
      curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stall),
      curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L),
      curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent),
      curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, ""),
      curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L),
      curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L),
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody),
      curl_easy_setopt(curl, CURLOPT_WRITEDATA, &client.transfer),
      curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L),
      curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckCancel),
      curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &client.transfer),
      service.ca_file.empty() ? CURLE_OK
                              : curl_easy_setopt(curl, CURLOPT_CAINFO, service.ca_file.c_str()),
  };
  return std::ranges::all_of(codes, [](CURLcode code) { return code == CURLE_OK; });
}

}  // namespace

FetchResult FetchReply(FetchSession& session, const Service& service, const ReplyRequest& request) {
  const Endpoint endpoint = ParseEndpoint(service.endpoint);
  if (!endpoint.ok) return MakeFailure(FailureCause::kAddressNotValid);
  if (endpoint.scheme != "https") return MakeFailure(FailureCause::kAddressNotHttps);
  if (!InitialiseCurl()) return MakeFailure(FailureCause::kClientSetupFailed);
  FetchSession::Client& client = session.client();
  if (!client.curl) client.curl.reset(curl_easy_init());
  if (!client.curl) return MakeFailure(FailureCause::kClientSetupFailed);
  CURL* curl = client.curl.get();

  client.transfer = Transfer{&request, ""};
  client.error_text[0] = '\0';
  if (!SetOptions(client, service, MakeRequestBody(service.api_key, request.option))) {
    return MakeFailure(FailureCause::kClientLacksFeature);
  }

  const CURLcode code = curl_easy_perform(curl);
  if (code != CURLE_OK) {
    return DescribeTransferFailure(code, curl, endpoint, service, client.error_text,
                                   client.transfer);
  }
  FailureDetail detail{endpoint.host, endpoint.port};
  if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &detail.number) != CURLE_OK ||
      detail.number < 200 || detail.number > 299) {
    return MakeFailure(FailureCause::kHttpStatus, detail);
  }
  return {FetchFailure::kNone, ""};
}

}  // namespace https
