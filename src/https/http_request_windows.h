// One request of the download over WinHTTP and its steps. WinHTTP runs asynchronously so
// that the calling thread stays free to poll the caller's cancellation and to measure a
// stalled transfer while a step is under way: each step is started, then its completion
// waited for here, and every way a step can end becomes a FetchResult in one place. Used
// by download_windows.cc, which follows redirects and hands the body on.
#ifndef STATEKEEPER_HTTPS_HTTP_REQUEST_WINDOWS_H_
#define STATEKEEPER_HTTPS_HTTP_REQUEST_WINDOWS_H_

// <windows.h> comes first: <winhttp.h> builds on it.
// clang-format off
#include <windows.h>
#include <winhttp.h>
// clang-format on

#include <memory>
#include <string>
#include <string_view>

#include "https/download.h"
#include "https/fetch_failure.h"
#include "https/stall_meter.h"

namespace https {

// Closes a WinHTTP handle: a session, a connection or a request.
struct InternetCloser {
  void operator()(void* handle) const { ::WinHttpCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetCloser>;

// Opens an asynchronous WinHTTP session with the system's proxy settings, a connect
// time-out of 30 s, a receive limit of `stall_seconds` + 30 s (a backstop: the stall meter
// gives up first) and the status callback that its requests report through. Returns
// nullptr when WinHTTP refuses any of these.
InternetHandle OpenSession(int stall_seconds);

// What every step of one request is measured with. Borrowed for the request's lifetime.
struct StepWatch {
  const ReplyRequest& fetch;  // the caller's request, for its cancellation
  StallMeter& stall;          // the transfer's stall meter, started before the answer's head
  FailureDetail place;        // where the request goes, for the wording of a failure

  // Returns true when the caller answers Flow::kCancel.
  bool ShouldCancel() const { return fetch.check && fetch.check() == Flow::kCancel; }
};

// Which part of a request a step belongs to, for what a time-out means.
enum class RequestStage {
  kSending,    // connecting, the secure handshake, sending: a time-out is no answer in time
  kReceiving,  // the answer's head and body: a time-out is a stall
};

// Returns the result of a WinHTTP call of `stage` that failed with `error`, worded for the
// operator. `certificate_flags` are the WINHTTP_CALLBACK_STATUS_FLAG_* that the
// callback reported of a refused certificate, and `request` the request handle, whose
// certificate is looked at (nullptr before there is one).
FetchResult MakeStepFailure(DWORD error, RequestStage stage, const FailureDetail& place,
                            DWORD certificate_flags = 0, HINTERNET request = nullptr);

struct StepReport;  // what WinHTTP's callback thread reports about one request

// One POST request and its steps, in their order: Send, ReceiveHead, then QueryDataAvailable
// and ReadData in turn until no more data is available. Each step returns ok, or why it
// failed: WinHTTP's error, the caller's cancellation (asked for every 50 ms), no answer
// within 30 s while sending, or a stall of the watch's meter afterwards.
//
// Closing waits until WinHTTP has said that it is done with the handle, since its
// callbacks and reads write into the report; if it does not say so within a second, the
// report is left allocated rather than freed under a step that is still running.
class HttpRequest {
 public:
  // Opens a POST request for `object` (path and query) on `connection`, which must outlive it:
  // https, no redirects followed by WinHTTP, a compressed reply where WinHTTP can
  // decompress it (Windows 8.1 and later). ok() tells whether it could.
  HttpRequest(HINTERNET connection, const std::wstring& object);
  ~HttpRequest();
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  bool ok() const { return handle_ != nullptr; }
  HINTERNET handle() const { return handle_; }

  // Connects (or takes a connection that the session kept open), makes the secure
  // handshake and sends the request with `body`, a form of application/x-www-form-urlencoded
  // fields, which is borrowed until the step has ended.
  FetchResult Send(const StepWatch& watch, std::string_view body);
  // Waits for the answer's head; its headers can then be queried through handle().
  FetchResult ReceiveHead(const StepWatch& watch);
  // Waits until body data is available and sets `available` to how much (0 at its end).
  FetchResult QueryDataAvailable(const StepWatch& watch, DWORD& available);
  // Reads at most `most` bytes of the body into `piece`, which stays valid until the next
  // step; an empty piece is the end of the body.
  FetchResult ReadData(const StepWatch& watch, DWORD most, std::string_view& piece);

 private:
  // Starts a step with `start`, a WinHTTP call that returns FALSE when the step cannot
  // begin, and waits for it to end.
  template <typename Start>
  FetchResult RunStep(RequestStage stage, const StepWatch& watch, Start start);
  FetchResult AwaitStep(RequestStage stage, const StepWatch& watch);
  FetchResult FailStep(DWORD error, RequestStage stage, const StepWatch& watch) const;
  void Close();

  std::unique_ptr<StepReport> report_;
  HINTERNET handle_ = nullptr;
};

}  // namespace https

#endif  // STATEKEEPER_HTTPS_HTTP_REQUEST_WINDOWS_H_
