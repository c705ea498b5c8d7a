// The rules of a request that need no service: addresses as text, the stall meter on a clock
// that the test moves, the form body that carries the key and the scrubbing of the key, and
// the operator's wording of every failure.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "https/address.h"
#include "https/download.h"
#include "https/fetch_failure.h"
#include "https/stall_meter.h"

namespace https {
namespace {

TEST(Address, SchemeShapeRequestObjectAndWhereARedirectLeads) {
  using S = EndpointShape;
  const std::vector<std::tuple<std::string, std::string, EndpointShape>> rows = {
      {"HTTPS://127.0.0.1:4711/api", "https", S::kHttps},
      {"https://", "https", S::kHttps},  // the client finds no host in it
      {"HtTp://127.0.0.1:1/api", "http", S::kOtherScheme},
      {"svn+ssh://host/x", "svn+ssh", S::kOtherScheme},
      {"a1.b-c:rest", "a1.b-c", S::kNotAnAddress},
      {"https:127.0.0.1/api", "https", S::kNotAnAddress},
      {"", "", S::kNotAnAddress},
      {":no-scheme", "", S::kNotAnAddress},
      {"1http://host/", "", S::kNotAnAddress},
      {"ht tp://host/", "", S::kNotAnAddress},
      {"h\xC3\xA9://host/", "", S::kNotAnAddress},
      {"logbook.qrz.com/api?x=https://y", "", S::kNotAnAddress},
  };
  for (const auto& [address, scheme, shape] : rows) {
    EXPECT_EQ(ReadScheme(address), scheme) << address;
    EXPECT_EQ(CheckEndpointShape(address), shape) << address;
  }
  EXPECT_EQ(MakeRequestObject("", ""), "/");
  EXPECT_EQ(MakeRequestObject("/api", "?a=b#part"), "/api?a=b");
  const AddressParts base{"logbook.example", 8443, "/v1/api?KEY=K"};
  const std::string here = "https://logbook.example:8443";
  const std::vector<std::pair<std::string, std::string>> locations = {
      {"HTTP://other.example/x", "HTTP://other.example/x"},  // refused by the caller
      {"//other.example:9/x?y", "https://other.example:9/x?y"},
      {"/redirected?KEY=K", here + "/redirected?KEY=K"},
      {"?KEY=K&X=1", here + "/v1/api?KEY=K&X=1"},
      {"next?a=b", here + "/v1/next?a=b"},
  };
  for (const auto& [location, address] : locations) {
    EXPECT_EQ(ResolveLocation(base, location), address) << location;
  }
  EXPECT_EQ(ResolveLocation({"::1", 443, "/"}, "page"), "https://[::1]:443/page");
}

TEST(StallMeter, AWindowWithFewerBytesThanSecondsHasStalled) {
  const StallMeter::Clock::time_point start{std::chrono::seconds(1000)};
  struct Step {
    int bytes;  // arrive, then the meter is asked at `at_ms` after the start
    int at_ms;
    bool stalled;
  };
  const std::vector<std::pair<int, std::vector<Step>>> rows = {
      {3, {{0, 2999, false}, {0, 3000, true}}},
      // Enough bytes begin the next window, empty, where they were judged.
      {3, {{3, 5000, false}, {2, 7000, false}, {0, 8000, true}}},
      {0, {{0, 999, false}, {0, 1000, true}}},  // a window is at least one second
  };
  for (const auto& [seconds, steps] : rows) {
    StallMeter meter(seconds);
    meter.Start(start);
    for (const Step& step : steps) {
      meter.Add(step.bytes);
      EXPECT_EQ(meter.HasStalled(start + std::chrono::milliseconds(step.at_ms)), step.stalled)
          << seconds << " s, at " << step.at_ms << " ms";
    }
  }
}

TEST(RequestForm, TheKeyIsPercentEncodedInTheBodyAndScrubbedInBothForms) {
  const std::vector<std::tuple<std::string, std::string, std::string>> rows = {
      {"azAZ09-._~", "", "KEY=azAZ09-._~&ACTION=FETCH"},
      {"a#b c&+/=%?", "", "KEY=a%23b%20c%26%2B%2F%3D%25%3F&ACTION=FETCH"},
      {std::string("\xC3\xA9\x01\x7F\0", 5), "", "KEY=%C3%A9%01%7F%00&ACTION=FETCH"},
      {"", "", "KEY=&ACTION=FETCH"},
      {"a&b", "MAX:2000,AFTERLOGID:0", "KEY=a%26b&ACTION=FETCH&OPTION=MAX:2000,AFTERLOGID:0"},
  };
  for (const auto& [key, option, body] : rows) {
    EXPECT_EQ(MakeRequestBody(key, option), body) << key;
    // Every occurrence, as it is and percent-encoded, goes; an empty key changes nothing.
    std::string text = body + " " + key + key;
    ScrubKey(text, key);
    const std::string rest = option.empty() ? "" : "&OPTION=" + option;
    EXPECT_EQ(text, key.empty() ? "KEY=&ACTION=FETCH " : "KEY=***&ACTION=FETCH" + rest + " ******");
  }
}

// The wordings that the download contract cannot bring about against the test service.
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
  const std::string at = " (logbook.example:8443)";
  const std::string revoked(DescribeCertificateProblem(CertificateProblem::kRevoked));
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
      {C::kCertificateRefused, revoked, 0,
       "the logbook service's certificate was not trusted (certificate revoked)", F::kOther},
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

}  // namespace
}  // namespace https
