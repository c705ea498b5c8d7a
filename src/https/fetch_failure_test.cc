// The operator's wording of every failed request and what a caller does about it, the same
// for every HTTPS client.
#include "https/fetch_failure.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace https {
namespace {

TEST(MakeFailure, EveryCauseInTheOperatorsWordsAndItsClass) {
  using C = FailureCause;
  using F = FetchFailure;
  struct Row {
    FailureCause cause;
    std::string text;  // FailureDetail::text
    long number;       // FailureDetail::number
    std::string reason;
    FetchFailure failure;
  };
  // The wordings that the download contract cannot bring about against the test service.
  const std::string at = " (logbook.example:8443)";
  const std::vector<Row> rows = {
      {C::kAuthorityFileNotUsed, "C:\\ca.pem", 0,
       "a file of certificate authorities is not used on Windows (C:\\ca.pem); the authority "
       "must be in the system's store",
       F::kOther},
      {C::kClientSetupFailed, "", 0, "cannot set up the HTTPS client", F::kOther},
      {C::kClientLacksFeature, "", 0, "the HTTPS client lacks a feature the download needs",
       F::kOther},
      {C::kHostNotFound, "", 0, "cannot find the logbook service (logbook.example)", F::kOther},
      {C::kProxyNotFound, "", 0, "cannot find the proxy server", F::kOther},
      {C::kNoAnswerInTime, "", 0, "the logbook service did not answer in time" + at, F::kTimedOut},
      {C::kCertificateRefused, "", 0, "the logbook service's certificate was not trusted",
       F::kOther},
      {C::kSecureChannelFailed, "", 0, "the secure connection to the logbook service failed" + at,
       F::kOther},
      {C::kHttpStatus, "", 499, "the logbook service answered HTTP 499", F::kOther},
      {C::kHttpStatus, "", 599, "the logbook service answered HTTP 599", F::kServerError},
      {C::kHttpStatus, "", 600, "the logbook service answered HTTP 600", F::kOther},
      {C::kBodyUndecodable, "bad", 0, "the download failed: bad", F::kBrokenOff},
      {C::kBodyRefused, "", 0, "cannot write the temporary file", F::kOther},
      {C::kOutOfMemory, "", 0, "out of memory", F::kOther},
      {C::kClientError, "its words", 0, "the download failed: its words", F::kOther},
      {C::kClientErrorNumber, "error 1", 0, "the download failed (error 1)", F::kOther},
  };
  for (const Row& row : rows) {
    const FetchResult result =
        MakeFailure(row.cause, {"logbook.example", "8443", row.text, row.number});
    EXPECT_EQ(result.reason, row.reason);
    EXPECT_EQ(result.failure, row.failure) << row.reason;
  }
}

TEST(DescribeCertificateProblem, EveryProblemInTheOperatorsWords) {
  using P = CertificateProblem;
  const std::vector<std::pair<P, std::string>> rows = {
      {P::kSelfSigned, "self-signed certificate"},
      {P::kUntrustedAuthority, "issued by an authority that is not trusted"},
      {P::kWrongHost, "it is not for this host name"},
      {P::kOutOfDate, "certificate has expired or is not yet valid"},
      {P::kRevoked, "certificate revoked"},
      {P::kRevocationUnchecked, "its revocation could not be checked"},
      {P::kNotForServer, "it is not for a server"},
      {P::kInvalid, "invalid certificate"},
  };
  for (const auto& [problem, text] : rows) EXPECT_EQ(DescribeCertificateProblem(problem), text);
}

}  // namespace
}  // namespace https
