// Why one request to the logbook service failed, in the operator's words, whatever HTTPS
// client saw it fail. Each client maps its own error codes to a FailureCause and hands the
// detail that the wording names; the texts and what a caller does about each cause are
// kept here, once, so that both platforms say the same thing about the same failure.
#ifndef STATEKEEPER_HTTPS_FETCH_FAILURE_H_
#define STATEKEEPER_HTTPS_FETCH_FAILURE_H_

#include <string>
#include <string_view>

#include "https/download.h"

namespace https {

// What went wrong, as the operator is told. Each cause's text follows it; HOST, PORT,
// TEXT and NUMBER stand for the fields of FailureDetail.
enum class FailureCause {
  kAddressNotValid,          // "the logbook service address is not valid"
  kAddressNotHttps,          // "the logbook service address must use https"
  kAuthorityFileNotUsed,     // "a file of certificate authorities is not used on Windows
                             // (TEXT); the authority must be in the system's store"
  kAuthorityFileUnreadable,  // "cannot read the certificate authorities in TEXT"
  kClientSetupFailed,        // "cannot set up the HTTPS client"
  kClientLacksFeature,       // "the HTTPS client lacks a feature the download needs"
  kHostNotFound,             // "cannot find the logbook service (HOST)"
  kProxyNotFound,            // "cannot find the proxy server"
  kCannotConnect,            // "cannot connect to the logbook service (HOST:PORT)"
  kNoAnswerInTime,           // "the logbook service did not answer in time (HOST:PORT)", before the
                             // request was sent
  kStalled,                  // "the download stalled": too little arrived for too long afterwards
  kCertificateRefused,       // "the logbook service's certificate was not trusted", followed by
                             // " (TEXT)" when TEXT says why
  kSecureChannelFailed,      // "the secure connection to the logbook service failed (HOST:PORT)"
  kRedirectNotHttps,         // "the logbook service redirected to an address that is not https"
  kTooManyRedirects,         // "the logbook service redirected too many times"
  kHttpStatus,               // "the logbook service answered HTTP NUMBER" for a status not 2xx
  kBrokenOff,                // "the download was broken off"
  kBodyUndecodable,          // "the download failed: TEXT", the client's message: the body
                             // could not be decompressed, as when a compressed body is cut short
  kBodyRefused,              // TEXT, the reason the caller's take_body gave for refusing a
                             // piece, or "cannot write the temporary file" when it gave none
  kCancelled,                // "the download was cancelled" by the caller
  kOutOfMemory,              // "out of memory"
  kClientError,              // "the download failed: TEXT", the client's own fixed message for an
                             // error that no cause above names
  kClientErrorNumber,        // "the download failed (TEXT)", TEXT naming such an error by number
                             // for a client that has no message for it ("WinHTTP error 12029")
};

// What the wording of a cause names besides the cause. Nothing in it may hold the API key:
// the host and port come from the endpoint, which holds none.
struct FailureDetail {
  std::string host;  // the logbook service's host, as the request address names it
  std::string port;  // its port, the scheme's default filled in
  std::string text;  // the cause's own detail (see FailureCause)
  long number = 0;   // the HTTP status of kHttpStatus
};

// Returns the result of a request that failed for `cause`: its wording with `detail`, and
// its class: kCancelled, kTimedOut for no answer in time and a stall, kServerError for an
// HTTP 5xx status, kBrokenOff for a body broken off or undecodable, and kOther for the rest.
FetchResult MakeFailure(FailureCause cause, const FailureDetail& detail = {});

// Why a certificate was refused, for the TEXT of kCertificateRefused.
enum class CertificateProblem {
  kSelfSigned,
  kUntrustedAuthority,
  kWrongHost,
  kOutOfDate,
  kRevoked,
  kRevocationUnchecked,
  kNotForServer,
  kInvalid,
};

// Returns the wording of `problem` ("self-signed certificate", "certificate revoked" ...).
std::string_view DescribeCertificateProblem(CertificateProblem problem);

}  // namespace https

#endif  // STATEKEEPER_HTTPS_FETCH_FAILURE_H_
