// <windows.h> comes first: the other two build on it.
// clang-format off
#include <windows.h>
#include <wincrypt.h>
#include <winhttp.h>
// clang-format on

#include "https/http_request_windows.h"

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#ifndef STATEKEEPER_VERSION
#error "STATEKEEPER_VERSION must be defined by the build"
#endif

namespace https {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kConnectTimeout{30};
constexpr DWORD kConnectTimeoutMs = 30'000;
constexpr DWORD kReadSize = 64 * 1024;
constexpr DWORD kPollMs = 50;
// How long a closed request may take to report that WinHTTP is done with it. Windows
// aborts a pending step at once; wine lets it run on until the network answers.
constexpr DWORD kCloseWaitMs = 1'000;
constexpr wchar_t kUserAgent[] = L"Statekeeper/" STATEKEEPER_VERSION;

struct EventCloser {
  void operator()(HANDLE event) const { ::CloseHandle(event); }
};
using EventHandle = std::unique_ptr<void, EventCloser>;

// A manual-reset event, not yet set; nullptr when Windows cannot make one.
EventHandle MakeEvent() { return EventHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

}  // namespace

// What WinHTTP's callback thread reports about one request, and the buffer its reads fill.
// Written by the callback before it sets `done` or `closed`, read by the request's thread
// after waiting.
struct StepReport {
  EventHandle done = MakeEvent();    // set when a step has ended
  EventHandle closed = MakeEvent();  // set when WinHTTP is done with the handle
  DWORD status = 0;                  // the callback status that ended the step
  DWORD error = 0;                   // with WINHTTP_CALLBACK_STATUS_REQUEST_ERROR
  DWORD bytes = 0;           // with WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE or _READ_COMPLETE
  DWORD secure_failure = 0;  // WINHTTP_CALLBACK_STATUS_FLAG_* of a refused certificate
  std::vector<char> buffer = std::vector<char>(kReadSize);
};

namespace {

void CALLBACK RecordStatus(HINTERNET, DWORD_PTR context, DWORD status, void* information,
                           DWORD length) {
  if (context == 0) return;  // the session and connection handles carry no context
  auto& report = *reinterpret_cast<StepReport*>(context);
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
      if (information != nullptr) report.secure_failure |= *static_cast<DWORD*>(information);
      return;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      ::SetEvent(report.closed.get());
      return;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      report.bytes = information != nullptr ? *static_cast<DWORD*>(information) : 0;
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      report.bytes = length;
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      report.error = static_cast<WINHTTP_ASYNC_RESULT*>(information)->dwError;
      if (report.error == 0) report.error = ERROR_WINHTTP_INTERNAL_ERROR;
      break;
    default:
      return;
  }
  report.status = status;
  ::SetEvent(report.done.get());
}

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

}  // namespace

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
  const int receive_ms = ((stall_seconds > 0 ? stall_seconds : 1) + 30) * 1000;
  if (!::WinHttpSetTimeouts(session, kConnectTimeoutMs, kConnectTimeoutMs, kConnectTimeoutMs,
                            receive_ms) ||
      ::WinHttpSetStatusCallback(session, RecordStatus, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
    return nullptr;
  }
  return handle;
}

// WinHTTP's own texts are fixed and never hold the request address, so the key cannot leak
// through them; the wording here uses none of them anyway.
FetchResult MakeStepFailure(DWORD error, RequestStage stage, const FailureDetail& place,
                            DWORD certificate_flags, HINTERNET request) {
  FailureDetail detail = place;
  switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return MakeFailure(FailureCause::kHostNotFound, detail);
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return MakeFailure(FailureCause::kCannotConnect, detail);
    case ERROR_WINHTTP_TIMEOUT:
      return MakeFailure(
          stage == RequestStage::kSending ? FailureCause::kNoAnswerInTime : FailureCause::kStalled,
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
      std::optional<CertificateProblem> problem =
          FindCertificateProblem(certificate_flags, error, request);
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

HttpRequest::HttpRequest(HINTERNET connection, const std::wstring& object)
    : report_(new StepReport) {
  if (!report_->done || !report_->closed) return;
  handle_ = ::WinHttpOpenRequest(
      connection, L"POST", object.c_str(), nullptr, WINHTTP_NO_REFERER,
      WINHTTP_DEFAULT_ACCEPT_TYPES,
      WINHTTP_FLAG_SECURE | WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY);
  if (handle_ == nullptr) return;
  auto context = reinterpret_cast<DWORD_PTR>(report_.get());
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

HttpRequest::~HttpRequest() { Close(); }

void HttpRequest::Close() {
  if (handle_ == nullptr) return;
  ::WinHttpCloseHandle(std::exchange(handle_, nullptr));
  if (::WaitForSingleObject(report_->closed.get(), kCloseWaitMs) != WAIT_OBJECT_0) {
    [[maybe_unused]] StepReport* abandoned = report_.release();
  }
}

FetchResult HttpRequest::Send(const StepWatch& watch, std::string_view body) {
  static constexpr wchar_t kFormType[] = L"Content-Type: application/x-www-form-urlencoded\r\n";
  return RunStep(RequestStage::kSending, watch, [this, body] {
    const auto size = static_cast<DWORD>(body.size());
    // WinHTTP reads the body while the step runs; the caller keeps it until the step ends.
    return ::WinHttpSendRequest(handle_, kFormType, static_cast<DWORD>(-1L),
                                const_cast<char*>(body.data()), size, size,
                                reinterpret_cast<DWORD_PTR>(report_.get()));
  });
}

FetchResult HttpRequest::ReceiveHead(const StepWatch& watch) {
  return RunStep(RequestStage::kReceiving, watch,
                 [this] { return ::WinHttpReceiveResponse(handle_, nullptr); });
}

FetchResult HttpRequest::QueryDataAvailable(const StepWatch& watch, DWORD& available) {
  available = 0;
  FetchResult result = RunStep(RequestStage::kReceiving, watch,
                               [this] { return ::WinHttpQueryDataAvailable(handle_, nullptr); });
  if (result.ok()) available = report_->bytes;
  return result;
}

FetchResult HttpRequest::ReadData(const StepWatch& watch, DWORD most, std::string_view& piece) {
  piece = {};
  const DWORD size = most < kReadSize ? most : kReadSize;
  FetchResult result = RunStep(RequestStage::kReceiving, watch, [this, size] {
    return ::WinHttpReadData(handle_, report_->buffer.data(), size, nullptr);
  });
  if (result.ok()) piece = std::string_view(report_->buffer.data(), report_->bytes);
  return result;
}

template <typename Start>
FetchResult HttpRequest::RunStep(RequestStage stage, const StepWatch& watch, Start start) {
  // The step's completion is the next one waited for.
  ::ResetEvent(report_->done.get());
  report_->status = 0;
  report_->error = 0;
  report_->bytes = 0;
  if (!start()) return FailStep(::GetLastError(), stage, watch);
  return AwaitStep(stage, watch);
}

// Polls the caller's cancellation and either the connect deadline (while sending) or the
// stall meter (afterwards) until WinHTTP reports that the step has ended.
FetchResult HttpRequest::AwaitStep(RequestStage stage, const StepWatch& watch) {
  const Clock::time_point deadline = Clock::now() + kConnectTimeout;
  for (;;) {
    if (::WaitForSingleObject(report_->done.get(), kPollMs) == WAIT_OBJECT_0) {
      if (report_->status == WINHTTP_CALLBACK_STATUS_REQUEST_ERROR) {
        return FailStep(report_->error, stage, watch);
      }
      return {FetchFailure::kNone, ""};
    }
    if (watch.ShouldCancel()) return MakeFailure(FailureCause::kCancelled);
    const Clock::time_point now = Clock::now();
    if (stage == RequestStage::kSending && now >= deadline) {
      return MakeFailure(FailureCause::kNoAnswerInTime, watch.place);
    }
    if (stage == RequestStage::kReceiving && watch.stall.HasStalled(now)) {
      return MakeFailure(FailureCause::kStalled);
    }
  }
}

FetchResult HttpRequest::FailStep(DWORD error, RequestStage stage, const StepWatch& watch) const {
  return MakeStepFailure(error, stage, watch.place, report_->secure_failure, handle_);
}

}  // namespace https
