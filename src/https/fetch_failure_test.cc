// The operator's wording of every failed request and what a caller does about it, the same
// for every HTTPS client.
#include "https/fetch_failure.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace https {
namespace {

TEST(DescribeFailure, EveryCauseInTheOperatorsWords) {
  const FailureDetail place{"logbook.example", "8443", "", 0};
  auto with_text = [&place](std::string text) {
    FailureDetail detail = place;
    detail.text = std::move(text);
    return detail;
  };
  struct Row {
    FailureCause cause;
    FailureDetail detail;
    std::string text;
    FetchFailure failure;
  };
  const std::vector<Row> rows = {
      {FailureCause::kAddressNotValid,
       {},
       "the logbook service address is not valid",
       FetchFailure::kOther},
      {FailureCause::kAddressNotHttps,
       {},
       "the logbook service address must use https",
       FetchFailure::kOther},
      {FailureCause::kAuthorityFileNotUsed, with_text("C:\\ca.pem"),
       "a file of certificate authorities is not used on Windows (C:\\ca.pem); the authority "
       "must be in the system's store",
       FetchFailure::kOther},
      {FailureCause::kAuthorityFileUnreadable, with_text("/tmp/ca.pem"),
       "cannot read the certificate authorities in /tmp/ca.pem", FetchFailure::kOther},
      {FailureCause::kClientSetupFailed,
       {},
       "cannot set up the HTTPS client",
       FetchFailure::kOther},
      {FailureCause::kClientLacksFeature,
       {},
       "the HTTPS client lacks a feature the download needs",
       FetchFailure::kOther},
      {FailureCause::kHostNotFound, place, "cannot find the logbook service (logbook.example)",
       FetchFailure::kOther},
      {FailureCause::kProxyNotFound, place, "cannot find the proxy server", FetchFailure::kOther},
      {FailureCause::kCannotConnect, place,
       "cannot connect to the logbook service (logbook.example:8443)", FetchFailure::kOther},
      {FailureCause::kNoAnswerInTime, place,
       "the logbook service did not answer in time (logbook.example:8443)",
       FetchFailure::kTimedOut},
      {FailureCause::kStalled, place, "the download stalled", FetchFailure::kTimedOut},
      {FailureCause::kCertificateRefused, place,
       "the logbook service's certificate was not trusted", FetchFailure::kOther},
      {FailureCause::kCertificateRefused, with_text("self-signed certificate"),
       "the logbook service's certificate was not trusted (self-signed certificate)",
       FetchFailure::kOther},
      {FailureCause::kSecureChannelFailed, place,
       "the secure connection to the logbook service failed (logbook.example:8443)",
       FetchFailure::kOther},
      {FailureCause::kRedirectNotHttps, place,
       "the logbook service redirected to an address that is not https", FetchFailure::kOther},
      {FailureCause::kTooManyRedirects, place, "the logbook service redirected too many times",
       FetchFailure::kOther},
      {FailureCause::kHttpStatus,
       {"", "", "", 404},
       "the logbook service answered HTTP 404",
       FetchFailure::kOther},
      {FailureCause::kHttpStatus,
       {"", "", "", 0},
       "the logbook service answered HTTP 0",
       FetchFailure::kOther},
      {FailureCause::kHttpStatus,
       {"", "", "", 500},
       "the logbook service answered HTTP 500",
       FetchFailure::kServerError},
      {FailureCause::kHttpStatus,
       {"", "", "", 599},
       "the logbook service answered HTTP 599",
       FetchFailure::kServerError},
      {FailureCause::kHttpStatus,
       {"", "", "", 600},
       "the logbook service answered HTTP 600",
       FetchFailure::kOther},
      {FailureCause::kBrokenOff, place, "the download was broken off", FetchFailure::kBrokenOff},
      {FailureCause::kBodyUndecodable, with_text("Unrecognized or bad HTTP Content"),
       "the download failed: Unrecognized or bad HTTP Content", FetchFailure::kBrokenOff},
      {FailureCause::kBodyRefused, with_text("a page of the logbook was too large"),
       "a page of the logbook was too large", FetchFailure::kOther},
      {FailureCause::kBodyRefused, place, "cannot write the temporary file", FetchFailure::kOther},
      {FailureCause::kCancelled, place, "the download was cancelled", FetchFailure::kCancelled},
      {FailureCause::kOutOfMemory, {}, "out of memory", FetchFailure::kOther},
      {FailureCause::kClientError, with_text("Some client message"),
       "the download failed: Some client message", FetchFailure::kOther},
      {FailureCause::kClientErrorNumber, with_text("WinHTTP error 12345"),
       "the download failed (WinHTTP error 12345)", FetchFailure::kOther},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DescribeFailure(row.cause, row.detail), row.text);
    EXPECT_EQ(ClassifyFailure(row.cause, row.detail), row.failure) << row.text;
    const FetchResult result = MakeFailure(row.cause, row.detail);
    EXPECT_FALSE(result.ok()) << row.text;
    EXPECT_EQ(result.failure, row.failure) << row.text;
    EXPECT_EQ(result.reason, row.text);
  }
}

TEST(DescribeCertificateProblem, EveryProblemInTheOperatorsWords) {
  struct Row {
    CertificateProblem problem;
    std::string text;
  };
  const std::vector<Row> rows = {
      {CertificateProblem::kSelfSigned, "self-signed certificate"},
      {CertificateProblem::kUntrustedAuthority, "issued by an authority that is not trusted"},
      {CertificateProblem::kWrongHost, "it is not for this host name"},
      {CertificateProblem::kOutOfDate, "certificate has expired or is not yet valid"},
      {CertificateProblem::kRevoked, "certificate revoked"},
      {CertificateProblem::kRevocationUnchecked, "its revocation could not be checked"},
      {CertificateProblem::kNotForServer, "it is not for a server"},
      {CertificateProblem::kInvalid, "invalid certificate"},
  };
  for (const Row& row : rows) EXPECT_EQ(DescribeCertificateProblem(row.problem), row.text);
}

}  // namespace
}  // namespace https
