// The download on Windows, over WinHTTP. WinHTTP runs asynchronously so that this thread
// stays free to poll the caller's cancellation and to measure a stalled transfer while a
// request is under way; each step is started here and its completion waited for.
//
// Redirects are followed here rather than by WinHTTP, so that one to an address that is
// not https is refused before anything is sent to it, and so that their number is bounded.

// <windows.h> comes first: the other two build on it.
// clang-format off
#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>
// clang-format on

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/ansi_text_windows.h"
#include "logbook/address.h"
#include "logbook/download.h"
#include "logbook/fetch_failure.h"
#include "logbook/stall_meter.h"

#ifndef STATEKEEPER_VERSION
#error "STATEKEEPER_VERSION must be defined by the build"
#endif

namespace logbook {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxRedirects = 5;
constexpr std::chrono::seconds kConnectTimeout{30};
constexpr DWORD kConnectTimeoutMs = 30'000;
constexpr DWORD kReadSize = 64 * 1024;
constexpr DWORD kPollMs = 50;
// How long a closed request may take to report that WinHTTP is done with it. Windows
// aborts a pending step at once; wine lets it run on until the network answers.
constexpr DWORD kCloseWaitMs = 1'000;
constexpr wchar_t kUserAgent[] = L"Statekeeper/" STATEKEEPER_VERSION;

// ---- addresses --------------------------------------------------------------------------

// The program's strings are bytes in the ANSI code page; WinHTTP takes and gives UTF-16.
std::optional<std::wstring> WidenText(std::string_view text) { return base::WidenAnsi(text); }

std::string NarrowText(std::wstring_view text) {
  if (text.empty()) return "";
  const int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
  if (length <= 0) return "?";
  std::string narrow(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                        length, nullptr, nullptr);
  return narrow;
}

// Takes an https address apart with WinHTTP's own parser; nullopt when it is not one
// WinHTTP can use.
std::optional<AddressParts> SplitAddress(const std::string& url) {
  const std::optional<std::wstring> wide = WidenText(url);
  if (!wide) return std::nullopt;
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(wide->c_str(), static_cast<DWORD>(wide->size()), 0, &parts)) {
    return std::nullopt;
  }
  if (parts.nScheme != INTERNET_SCHEME_HTTPS || parts.dwHostNameLength == 0) return std::nullopt;
  AddressParts address;
  address.host = NarrowText({parts.lpszHostName, parts.dwHostNameLength});
  address.port = parts.nPort;
  address.object = MakeRequestObject(NarrowText({parts.lpszUrlPath, parts.dwUrlPathLength}),
                                     NarrowText({parts.lpszExtraInfo, parts.dwExtraInfoLength}));
  return address;
}

// ---- WinHTTP handles and asynchronous steps ---------------------------------------------

struct InternetCloser {
  void operator()(void* handle) const { ::WinHttpCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetCloser>;

// What WinHTTP's callback thread reports about one request, and the buffer its reads fill.
// Written by the callback before it sets `done` or `closed`, read here after waiting.
struct Progress {
  Progress()
      : done(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        closed(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Progress() {
    if (done) ::CloseHandle(done);
    if (closed) ::CloseHandle(closed);
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  HANDLE done;
  HANDLE closed;
  DWORD status = 0;          // the callback status that ended the step
  DWORD error = 0;           // with WINHTTP_CALLBACK_STATUS_REQUEST_ERROR
  DWORD bytes = 0;           // with WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE or _READ_COMPLETE
  DWORD secure_failure = 0;  // WINHTTP_CALLBACK_STATUS_FLAG_* of a refused certificate
  std::vector<char> buffer = std::vector<char>(kReadSize);
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* information,
                       DWORD length) {
  if (context == 0) return;  // the session and connection handles carry no context
  auto& progress = *reinterpret_cast<Progress*>(context);
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
      if (information != nullptr) progress.secure_failure |= *static_cast<DWORD*>(information);
      return;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      ::SetEvent(progress.closed);
      return;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      progress.bytes = information != nullptr ? *static_cast<DWORD*>(information) : 0;
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      progress.bytes = length;
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      progress.error = static_cast<WINHTTP_ASYNC_RESULT*>(information)->dwError;
      if (progress.error == 0) progress.error = ERROR_WINHTTP_INTERNAL_ERROR;
      break;
    default:
      return;
  }
  progress.status = status;
  ::SetEvent(progress.done);
}

// One request handle and what its callbacks report. Closing waits until WinHTTP has said
// that it is done with the handle, since its callbacks and reads write into `progress`; if
// it does not say so in time, `progress` is left allocated rather than freed under a step
// that is still running.
class Request {
 public:
  Request(HINTERNET connection, const std::wstring& object) : progress_(new Progress) {
    if (!progress_->done || !progress_->closed) return;
    handle_ = ::WinHttpOpenRequest(
        connection, L"GET", object.c_str(), nullptr, WINHTTP_NO_REFERER,
        WINHTTP_DEFAULT_ACCEPT_TYPES,
        WINHTTP_FLAG_SECURE | WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY);
    if (handle_ == nullptr) return;
    auto context = reinterpret_cast<DWORD_PTR>(progress_.get());
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!::WinHttpSetOption(handle_, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context) ||
        !::WinHttpSetOption(handle_, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never)) {
      Close();
      return;
    }
    // A compressed reply (gzip or deflate), decompressed by WinHTTP. Windows before 8.1
    // lacks the option and gets the reply as it is.
    DWORD decompression = WINHTTP_DECOMPRESSION_FLAG_ALL;
    ::WinHttpSetOption(handle_, WINHTTP_OPTION_DECOMPRESSION, &decompression, sizeof decompression);
  }
  ~Request() { Close(); }
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  bool ok() const { return handle_ != nullptr; }
  HINTERNET handle() const { return handle_; }
  Progress& progress() { return *progress_; }

  // Makes the next step's completion the one waited for.
  void Begin() {
    ::ResetEvent(progress_->done);
    progress_->status = 0;
    progress_->error = 0;
    progress_->bytes = 0;
  }

  void Close() {
    if (handle_ == nullptr) return;
    const bool had_context = progress_->closed != nullptr;
    ::WinHttpCloseHandle(std::exchange(handle_, nullptr));
    if (had_context && ::WaitForSingleObject(progress_->closed, kCloseWaitMs) != WAIT_OBJECT_0) {
      [[maybe_unused]] Progress* abandoned = progress_.release();
    }
  }

 private:
  std::unique_ptr<Progress> progress_;
  HINTERNET handle_ = nullptr;
};

enum class Outcome { kDone, kFailed, kCancelled, kTimedOut, kStalled };

bool Cancelled(const ReplyRequest& request) { return request.cancelled && request.cancelled(); }

// Waits for the step started on `request`, polling the caller's cancellation and either the
// deadline (while connecting) or the stall meter (once the request is out).
Outcome Await(Request& request, const ReplyRequest& fetch,
              std::optional<Clock::time_point> deadline, StallMeter* stall) {
  for (;;) {
    if (::WaitForSingleObject(request.progress().done, kPollMs) == WAIT_OBJECT_0) {
      return request.progress().status == WINHTTP_CALLBACK_STATUS_REQUEST_ERROR ? Outcome::kFailed
                                                                                : Outcome::kDone;
    }
    if (Cancelled(fetch)) return Outcome::kCancelled;
    if (deadline && Clock::now() >= *deadline) return Outcome::kTimedOut;
    if (stall != nullptr && stall->HasStalled(Clock::now())) return Outcome::kStalled;
  }
}

// ---- reasons ----------------------------------------------------------------------------

// Whether the server's certificate signed itself, for the operator's wording.
bool IsSelfSigned(HINTERNET request) {
  PCCERT_CONTEXT certificate = nullptr;
  DWORD size = sizeof certificate;
  if (!::WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &certificate, &size) ||
      certificate == nullptr) {
    return false;
  }
  const bool same_name =
      ::CertCompareCertificateName(X509_ASN_ENCODING, &certificate->pCertInfo->Subject,
                                   &certificate->pCertInfo->Issuer) != 0;
  const bool signed_by_itself =
      same_name && ::CryptVerifyCertificateSignatureEx(
                       0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT,
                       const_cast<CERT_CONTEXT*>(certificate), CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT,
                       const_cast<CERT_CONTEXT*>(certificate), 0, nullptr) != 0;
  ::CertFreeCertificateContext(certificate);
  return signed_by_itself;
}

// Why a certificate was refused, from the callback's flags or the error itself; nullopt
// when neither says.
std::optional<CertificateProblem> FindCertificateProblem(DWORD flags, DWORD error,
                                                         HINTERNET request) {
  if ((flags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA) ||
      error == ERROR_WINHTTP_SECURE_INVALID_CA) {
    return IsSelfSigned(request) ? CertificateProblem::kSelfSigned
                                 : CertificateProblem::kUntrustedAuthority;
  }
  struct Problem {
    DWORD flag;
    DWORD error;
    CertificateProblem problem;
  };
  static constexpr Problem kProblems[] = {
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID, ERROR_WINHTTP_SECURE_CERT_CN_INVALID,
       CertificateProblem::kWrongHost},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID, ERROR_WINHTTP_SECURE_CERT_DATE_INVALID,
       CertificateProblem::kOutOfDate},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED, ERROR_WINHTTP_SECURE_CERT_REVOKED,
       CertificateProblem::kRevoked},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED, ERROR_WINHTTP_SECURE_CERT_REV_FAILED,
       CertificateProblem::kRevocationUnchecked},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE, ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE,
       CertificateProblem::kNotForServer},
      {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT, ERROR_WINHTTP_SECURE_INVALID_CERT,
       CertificateProblem::kInvalid},
  };
  for (const Problem& problem : kProblems) {
    if ((flags & problem.flag) || error == problem.error) return problem.problem;
  }
  return std::nullopt;
}

// The result of a WinHTTP step that failed with `error`, worded for the operator. `flags`
// are the certificate's failure flags the callback reported, `request` the request handle
// (nullptr before there is one). WinHTTP's own texts are fixed and never hold the request
// address, so the key cannot leak through them.
FetchResult FailStep(DWORD error, bool request_sent, const FailureDetail& place, DWORD flags,
                     HINTERNET request) {
  FailureDetail detail = place;
  switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return MakeFailure(FailureCause::kHostNotFound, detail);
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return MakeFailure(FailureCause::kCannotConnect, detail);
    case ERROR_WINHTTP_TIMEOUT:
      return MakeFailure(request_sent ? FailureCause::kStalled : FailureCause::kNoAnswerInTime,
                         detail);
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
    case ERROR_WINHTTP_SECURE_INVALID_CERT: {
      std::optional<CertificateProblem> problem = FindCertificateProblem(flags, error, request);
      // Some WinHTTP versions report an untrusted certificate only as a failed channel.
      if (!problem && IsSelfSigned(request)) problem = CertificateProblem::kSelfSigned;
      if (problem) {
        detail.text = DescribeCertificateProblem(*problem);
        return MakeFailure(FailureCause::kCertificateRefused, detail);
      }
      if (error == ERROR_WINHTTP_SECURE_FAILURE) {
        return MakeFailure(FailureCause::kCertificateRefused, detail);
      }
      return MakeFailure(FailureCause::kSecureChannelFailed, detail);
    }
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
    case ERROR_WINHTTP_RESEND_REQUEST:
      return MakeFailure(FailureCause::kBrokenOff, detail);
    case ERROR_WINHTTP_OPERATION_CANCELLED:
      return MakeFailure(FailureCause::kCancelled, detail);
    case ERROR_WINHTTP_INVALID_URL:
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
      return MakeFailure(FailureCause::kAddressNotValid, detail);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return MakeFailure(FailureCause::kOutOfMemory, detail);
    default:
      detail.text = "WinHTTP error " + std::to_string(error);
      return MakeFailure(FailureCause::kClientErrorNumber, detail);
  }
}

// ---- the transfer -----------------------------------------------------------------------

// An asynchronous WinHTTP session with the system's proxy settings and the time-outs of
// one download.
InternetHandle OpenSession(int stall_seconds) {
  HINTERNET session =
      ::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                    WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
  if (session == nullptr) {
    // Before Windows 8.1 the automatic proxy is unknown; the default one is the next best.
    session = ::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
  }
  if (session == nullptr) return nullptr;
  InternetHandle handle(session);
  // The stall meter here gives up first; WinHTTP's own receive limit is the backstop.
  const int receive_ms = ((stall_seconds > 0 ? stall_seconds : 1) + 30) * 1000;
  if (!::WinHttpSetTimeouts(session, kConnectTimeoutMs, kConnectTimeoutMs, kConnectTimeoutMs,
                            receive_ms) ||
      ::WinHttpSetStatusCallback(session, OnStatus, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS, 0) ==
          WINHTTP_INVALID_STATUS_CALLBACK) {
    return nullptr;
  }
  return handle;
}

std::optional<DWORD> NumberHeader(HINTERNET request, DWORD which) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (!::WinHttpQueryHeaders(request, which | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &value, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::uint64_t> ContentLength(HINTERNET request) {
  wchar_t text[32];
  DWORD size = sizeof text;
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                             text, &size, WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  std::uint64_t length = 0;
  const size_t count = size / sizeof(wchar_t);
  if (count == 0) return std::nullopt;
  for (size_t i = 0; i < count; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return std::nullopt;
    length = length * 10 + static_cast<std::uint64_t>(text[i] - L'0');
  }
  return length;
}

std::optional<std::wstring> Location(HINTERNET request) {
  DWORD size = 0;
  ::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return std::nullopt;
  std::wstring location(size / sizeof(wchar_t) + 1, L'\0');
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                             location.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  location.resize(size / sizeof(wchar_t));
  return location;
}

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

FetchResult FailStep(DWORD error, bool request_sent, const FailureDetail& place, Request& request) {
  return FailStep(error, request_sent, place, request.progress().secure_failure, request.handle());
}

const FetchResult kDoneResult{FetchFailure::kNone, ""};

// Waits for a step of reading the body.
FetchResult AwaitBody(Request& request, const ReplyRequest& fetch, StallMeter& stall,
                      const FailureDetail& place) {
  switch (Await(request, fetch, std::nullopt, &stall)) {
    case Outcome::kDone:
      return kDoneResult;
    case Outcome::kFailed:
      return FailStep(request.progress().error, true, place, request);
    case Outcome::kCancelled:
      return MakeFailure(FailureCause::kCancelled);
    case Outcome::kTimedOut:
    case Outcome::kStalled:
      break;
  }
  return MakeFailure(FailureCause::kStalled);
}

// Whether the body came compressed: its Content-Length is then that of the compressed
// bytes, not of what WinHTTP hands on.
bool Compressed(HINTERNET request) {
  wchar_t text[64];
  DWORD size = sizeof text;
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_ENCODING, WINHTTP_HEADER_NAME_BY_INDEX,
                             text, &size, WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  const std::wstring_view encoding(text, size / sizeof(wchar_t));
  return !encoding.empty() && encoding != L"identity";
}

// Runs the request, following redirects, and hands the final body to `fetch.take_body`.
FetchResult Transfer(HINTERNET session, const ReplyRequest& fetch, std::string url) {
  StallMeter stall(fetch.stall_seconds);
  for (int redirects = 0;; ++redirects) {
    const std::optional<AddressParts> address = SplitAddress(url);
    if (!address) return MakeFailure(FailureCause::kAddressNotValid);
    const std::optional<std::wstring> host = WidenText(address->host);
    const std::optional<std::wstring> object = WidenText(address->object);
    if (!host || !object) return MakeFailure(FailureCause::kAddressNotValid);
    const FailureDetail place{address->host, std::to_string(address->port)};
    InternetHandle connection(
        ::WinHttpConnect(session, host->c_str(), static_cast<INTERNET_PORT>(address->port), 0));
    if (!connection) return FailStep(::GetLastError(), false, place, 0, nullptr);
    Request request(connection.get(), *object);
    if (!request.ok()) return MakeFailure(FailureCause::kClientSetupFailed);
    if (Cancelled(fetch)) return MakeFailure(FailureCause::kCancelled);

    // Connecting, the secure handshake and sending the request.
    request.Begin();
    if (!::WinHttpSendRequest(request.handle(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                              WINHTTP_NO_REQUEST_DATA, 0, 0,
                              reinterpret_cast<DWORD_PTR>(&request.progress()))) {
      return FailStep(::GetLastError(), false, place, request);
    }
    switch (Await(request, fetch, Clock::now() + kConnectTimeout, nullptr)) {
      case Outcome::kDone:
        break;
      case Outcome::kFailed:
        return FailStep(request.progress().error, false, place, request);
      case Outcome::kCancelled:
        return MakeFailure(FailureCause::kCancelled);
      case Outcome::kTimedOut:
      case Outcome::kStalled:
        return MakeFailure(FailureCause::kNoAnswerInTime, place);
    }

    // The answer's head.
    stall.Start(Clock::now());
    request.Begin();
    if (!::WinHttpReceiveResponse(request.handle(), nullptr)) {
      return FailStep(::GetLastError(), true, place, request);
    }
    switch (Await(request, fetch, std::nullopt, &stall)) {
      case Outcome::kDone:
        break;
      case Outcome::kFailed:
        return FailStep(request.progress().error, true, place, request);
      case Outcome::kCancelled:
        return MakeFailure(FailureCause::kCancelled);
      case Outcome::kTimedOut:
      case Outcome::kStalled:
        return MakeFailure(FailureCause::kStalled);
    }
    const DWORD status = NumberHeader(request.handle(), WINHTTP_QUERY_STATUS_CODE).value_or(0);
    if (IsRedirect(status)) {
      if (std::optional<std::wstring> location = Location(request.handle())) {
        if (redirects == kMaxRedirects) {
          return MakeFailure(FailureCause::kTooManyRedirects, place);
        }
        url = ResolveLocation(*address, NarrowText(*location));
        if (ReadScheme(url) != "https") {
          return MakeFailure(FailureCause::kRedirectNotHttps, place);
        }
        continue;
      }
    }
    if (status < 200 || status > 299) {
      FailureDetail answered = place;
      answered.number = static_cast<long>(status);
      return MakeFailure(FailureCause::kHttpStatus, answered);
    }

    // The body, piece by piece to the caller.
    const std::optional<std::uint64_t> expected =
        Compressed(request.handle()) ? std::nullopt : ContentLength(request.handle());
    std::uint64_t received = 0;
    for (;;) {
      // How much has arrived is asked first and only that much is read, so that every wait
      // on the network happens in Await (wine's read would wait to fill the whole buffer).
      if (Cancelled(fetch)) return MakeFailure(FailureCause::kCancelled);
      request.Begin();
      if (!::WinHttpQueryDataAvailable(request.handle(), nullptr)) {
        return FailStep(::GetLastError(), true, place, request);
      }
      if (FetchResult step = AwaitBody(request, fetch, stall, place); !step.ok()) return step;
      const DWORD available = request.progress().bytes;
      if (available == 0) break;
      request.Begin();
      if (!::WinHttpReadData(request.handle(), request.progress().buffer.data(),
                             available < kReadSize ? available : kReadSize, nullptr)) {
        return FailStep(::GetLastError(), true, place, request);
      }
      if (FetchResult step = AwaitBody(request, fetch, stall, place); !step.ok()) return step;
      const DWORD bytes = request.progress().bytes;
      if (bytes == 0) break;
      received += bytes;
      stall.Add(bytes);
      const std::string_view piece(request.progress().buffer.data(), bytes);
      if (std::string error = fetch.take_body(piece); !error.empty()) {
        return MakeFailure(FailureCause::kBodyRefused, {"", "", std::move(error)});
      }
      if (stall.HasStalled(Clock::now())) return MakeFailure(FailureCause::kStalled);
    }
    // WinHTTP ends a body that the server cut short as if it were complete.
    if (expected && received != *expected) {
      return MakeFailure(FailureCause::kBrokenOff, place);
    }
    return kDoneResult;
  }
}

}  // namespace

FetchResult FetchReply(const ReplyRequest& request) {
  if (!WidenText(request.endpoint)) return MakeFailure(FailureCause::kAddressNotValid);
  switch (CheckEndpointShape(request.endpoint)) {
    case EndpointShape::kHttps:
      break;
    case EndpointShape::kOtherScheme:
      return MakeFailure(FailureCause::kAddressNotHttps);
    case EndpointShape::kNotAnAddress:
      return MakeFailure(FailureCause::kAddressNotValid);
  }
  if (!SplitAddress(request.endpoint)) return MakeFailure(FailureCause::kAddressNotValid);
  // WinHTTP checks certificates against the system's store only; trusting a file of
  // authorities instead would need a check of our own before the key is sent.
  if (!request.ca_file.empty()) {
    return MakeFailure(FailureCause::kAuthorityFileNotUsed, {"", "", request.ca_file});
  }
  std::string address = RequestAddress(request.endpoint, request.api_key) + request.more_query;
  if (!WidenText(address)) return MakeFailure(FailureCause::kAddressNotValid);

  const InternetHandle session = OpenSession(request.stall_seconds);
  if (!session) return MakeFailure(FailureCause::kClientSetupFailed);
  return Transfer(session.get(), request, std::move(address));
}

}  // namespace logbook
