#include "https/fetch_failure.h"

#include <iterator>

namespace https {
namespace {

std::string DescribeFailure(FailureCause cause, const FailureDetail& detail) {
  const std::string where = detail.host + ":" + detail.port;
  switch (cause) {
    case FailureCause::kAddressNotValid:
      return "the logbook service address is not valid";
    case FailureCause::kAddressNotHttps:
      return "the logbook service address must use https";
    case FailureCause::kAuthorityFileNotUsed:
      return "a file of certificate authorities is not used on Windows (" + detail.text +
             "); the authority must be in the system's store";
    case FailureCause::kAuthorityFileUnreadable:
      return "cannot read the certificate authorities in " + detail.text;
    case FailureCause::kClientSetupFailed:
      return "cannot set up the HTTPS client";
    case FailureCause::kClientLacksFeature:
      return "the HTTPS client lacks a feature the download needs";
    case FailureCause::kHostNotFound:
      return "cannot find the logbook service (" + detail.host + ")";
    case FailureCause::kProxyNotFound:
      return "cannot find the proxy server";
    case FailureCause::kCannotConnect:
      return "cannot connect to the logbook service (" + where + ")";
    case FailureCause::kNoAnswerInTime:
      return "the logbook service did not answer in time (" + where + ")";
    case FailureCause::kStalled:
      return "the download stalled";
    case FailureCause::kCertificateRefused:
      if (detail.text.empty()) return "the logbook service's certificate was not trusted";
      return "the logbook service's certificate was not trusted (" + detail.text + ")";
    case FailureCause::kSecureChannelFailed:
      return "the secure connection to the logbook service failed (" + where + ")";
    case FailureCause::kRedirectNotHttps:
      return "the logbook service redirected to an address that is not https";
    case FailureCause::kTooManyRedirects:
      return "the logbook service redirected too many times";
    case FailureCause::kHttpStatus:
      return std::string("the logbook service answered HTTP ")
          .append(std::to_string(detail.number));
    case FailureCause::kBrokenOff:
      return "the download was broken off";
    case FailureCause::kBodyRefused:
      return detail.text.empty() ? "cannot write the temporary file" : detail.text;
    case FailureCause::kCancelled:
      return "the download was cancelled";
    case FailureCause::kOutOfMemory:
      return "out of memory";
    case FailureCause::kBodyUndecodable:
    case FailureCause::kClientError:
      return "the download failed: " + detail.text;
    case FailureCause::kClientErrorNumber:
      return "the download failed (" + detail.text + ")";
  }
  return "the download failed";
}

FetchFailure ClassifyFailure(FailureCause cause, const FailureDetail& detail) {
  switch (cause) {
    case FailureCause::kCancelled:
      return FetchFailure::kCancelled;
    case FailureCause::kNoAnswerInTime:
    case FailureCause::kStalled:
      return FetchFailure::kTimedOut;
    case FailureCause::kHttpStatus:
      return detail.number >= 500 && detail.number <= 599 ? FetchFailure::kServerError
                                                          : FetchFailure::kOther;
    case FailureCause::kBrokenOff:
    case FailureCause::kBodyUndecodable:
      return FetchFailure::kBrokenOff;
    default:
      return FetchFailure::kOther;
  }
}

}  // namespace

FetchResult MakeFailure(FailureCause cause, const FailureDetail& detail) {
  return {ClassifyFailure(cause, detail), DescribeFailure(cause, detail)};
}

std::string_view DescribeCertificateProblem(CertificateProblem problem) {
  // In the order of CertificateProblem.
  constexpr std::string_view kWordings[] = {
      "self-signed certificate",      "issued by an authority that is not trusted",
      "it is not for this host name", "certificate has expired or is not yet valid",
      "certificate revoked",          "its revocation could not be checked",
      "it is not for a server",       "invalid certificate",
  };
  static_assert(std::size(kWordings) == static_cast<size_t>(CertificateProblem::kInvalid) + 1);
  return kWordings[static_cast<size_t>(problem)];
}

}  // namespace https
