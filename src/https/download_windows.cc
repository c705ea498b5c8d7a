// The download on Windows, over WinHTTP: the endpoint checked, the request made step by step
// (http_request_windows.h), redirects followed and the body handed on. The requests of one
// update share one WinHTTP session and connection handle, so that WinHTTP keeps the
// connection between them.
//
// Redirects are followed here rather than by WinHTTP, so that one to an address that is
// not https is refused before anything is sent to it, so that their number is bounded, and
// so that each repeats the POST with its body (WinHTTP would turn a 301-303 into a GET).

// <windows.h> comes first: <winhttp.h> builds on it.
// clang-format off
#include <windows.h>
#include <winhttp.h>
// clang-format on

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/ansi_text_windows.h"
#include "https/address.h"
#include "https/download.h"
#include "https/fetch_failure.h"
#include "https/http_request_windows.h"
#include "https/stall_meter.h"

namespace https {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxRedirects = 5;

// ---- addresses at the WinHTTP boundary --------------------------------------------------

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

// ---- the answer's head ------------------------------------------------------------------

std::optional<DWORD> QueryStatus(HINTERNET request) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &value, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::uint64_t> QueryContentLength(HINTERNET request) {
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

std::optional<std::wstring> QueryLocation(HINTERNET request) {
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

// Whether the body came compressed: its Content-Length is then that of the compressed
// bytes, not of what WinHTTP hands on.
bool IsCompressed(HINTERNET request) {
  wchar_t text[64];
  DWORD size = sizeof text;
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_ENCODING, WINHTTP_HEADER_NAME_BY_INDEX,
                             text, &size, WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  const std::wstring_view encoding(text, size / sizeof(wchar_t));
  return !encoding.empty() && encoding != L"identity";
}

// ---- the transfer -----------------------------------------------------------------------

const FetchResult kDone{FetchFailure::kNone, ""};

// Hands the body of an answer whose head has arrived to `watch.fetch.take_body`, piece by
// piece as it arrives.
FetchResult PassBody(HttpRequest& request, const StepWatch& watch) {
  const std::optional<std::uint64_t> expected =
      IsCompressed(request.handle()) ? std::nullopt : QueryContentLength(request.handle());
  std::uint64_t received = 0;
  for (;;) {
    // How much has arrived is asked first and only that much is read, so that every wait
    // on the network happens in a step (wine's read would wait to fill the whole buffer).
    if (watch.ShouldCancel()) return MakeFailure(FailureCause::kCancelled);
    DWORD available = 0;
    if (FetchResult step = request.QueryDataAvailable(watch, available); !step.ok()) return step;
    if (available == 0) break;
    std::string_view piece;
    if (FetchResult step = request.ReadData(watch, available, piece); !step.ok()) return step;
    if (piece.empty()) break;
    received += piece.size();
    watch.stall.Add(static_cast<std::int64_t>(piece.size()));
    if (std::string error = watch.fetch.take_body(piece); !error.empty()) {
      return MakeFailure(FailureCause::kBodyRefused, {"", "", std::move(error)});
    }
    if (watch.stall.HasStalled(Clock::now())) return MakeFailure(FailureCause::kStalled);
  }
  // WinHTTP ends a body that the server cut short as if it were complete.
  if (expected && received != *expected) return MakeFailure(FailureCause::kBrokenOff);
  return kDone;
}

}  // namespace

// The session's WinHTTP handles, kept for the next request: WinHTTP keeps the open
// connections of a session for the requests that follow on it.
struct FetchSession::Client {
  InternetHandle session;
  InternetHandle connection;  // to `host` and `port`, or nullptr
  std::string host;
  int port = 0;
};

FetchSession::FetchSession() = default;
FetchSession::~FetchSession() = default;

FetchSession::Client& FetchSession::client() {
  if (!client_) client_ = std::make_unique<Client>();
  return *client_;
}

namespace {

// The session's connection handle to `address`, opened when it goes elsewhere; nullptr
// when WinHTTP refuses one.
HINTERNET Connect(FetchSession::Client& client, const AddressParts& address,
                  const std::wstring& host) {
  if (client.connection && client.host == address.host && client.port == address.port) {
    return client.connection.get();
  }
  client.connection.reset();
  client.connection.reset(::WinHttpConnect(client.session.get(), host.c_str(),
                                           static_cast<INTERNET_PORT>(address.port), 0));
  client.host = address.host;
  client.port = address.port;
  return client.connection.get();
}

// Runs the request to `url`, POSTing `body` to it and to every address it redirects to,
// and hands the final body to `fetch.take_body`.
FetchResult TransferReply(FetchSession::Client& client, const Service& service,
                          const ReplyRequest& fetch, std::string url, const std::string& body) {
  StallMeter stall(service.stall_seconds);
  for (int redirects = 0;; ++redirects) {
    const std::optional<AddressParts> address = SplitAddress(url);
    if (!address) return MakeFailure(FailureCause::kAddressNotValid);
    const std::optional<std::wstring> host = WidenText(address->host);
    const std::optional<std::wstring> object = WidenText(address->object);
    if (!host || !object) return MakeFailure(FailureCause::kAddressNotValid);
    const StepWatch watch{fetch, stall, {address->host, std::to_string(address->port)}};
    HINTERNET connection = Connect(client, *address, *host);
    if (connection == nullptr) {
      return MakeStepFailure(::GetLastError(), RequestStage::kSending, watch.place);
    }
    HttpRequest request(connection, *object);
    if (!request.ok()) return MakeFailure(FailureCause::kClientSetupFailed);
    if (watch.ShouldCancel()) return MakeFailure(FailureCause::kCancelled);

    if (FetchResult sent = request.Send(watch, body); !sent.ok()) return sent;
    stall.Start(Clock::now());
    if (FetchResult head = request.ReceiveHead(watch); !head.ok()) return head;

    const DWORD status = QueryStatus(request.handle()).value_or(0);
    if (IsRedirect(status)) {
      if (std::optional<std::wstring> location = QueryLocation(request.handle())) {
        if (redirects == kMaxRedirects) return MakeFailure(FailureCause::kTooManyRedirects);
        url = ResolveLocation(*address, NarrowText(*location));
        if (ReadScheme(url) != "https") return MakeFailure(FailureCause::kRedirectNotHttps);
        continue;
      }
    }
    if (status < 200 || status > 299) {
      FailureDetail answered = watch.place;
      answered.number = static_cast<long>(status);
      return MakeFailure(FailureCause::kHttpStatus, answered);
    }
    return PassBody(request, watch);
  }
}

}  // namespace

FetchResult FetchReply(FetchSession& session, const Service& service, const ReplyRequest& request) {
  if (!WidenText(service.endpoint)) return MakeFailure(FailureCause::kAddressNotValid);
  switch (CheckEndpointShape(service.endpoint)) {
    case EndpointShape::kHttps:
      break;
    case EndpointShape::kOtherScheme:
      return MakeFailure(FailureCause::kAddressNotHttps);
    case EndpointShape::kNotAnAddress:
      return MakeFailure(FailureCause::kAddressNotValid);
  }
  if (!SplitAddress(service.endpoint)) return MakeFailure(FailureCause::kAddressNotValid);
  // WinHTTP checks certificates against the system's store only; trusting a file of
  // authorities instead would need a check of our own before the key is sent.
  if (!service.ca_file.empty()) {
    return MakeFailure(FailureCause::kAuthorityFileNotUsed, {"", "", service.ca_file});
  }
  FetchSession::Client& client = session.client();
  if (!client.session) client.session = OpenSession(service.stall_seconds);
  if (!client.session) return MakeFailure(FailureCause::kClientSetupFailed);
  return TransferReply(client, service, request, service.endpoint,
                       MakeRequestBody(service.api_key, request.option));
}

}  // namespace https
