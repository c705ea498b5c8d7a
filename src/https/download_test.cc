// The contract of FetchReply, the same for every platform's HTTPS client (where they differ,
// tests/logbook_service.h says how), mostly against the test logbook service.
#include "https/download.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logbook_service.h"
#include "test_util.h"

namespace https {
namespace {

// The tests of requests to the running service, whose certificate is trusted.
class DownloadTest : public ::testing::Test {
 protected:
  // A key that percent-encoding changes, so that both of its forms are looked for.
  static constexpr char kKey[] = "KEY&WITH SIGNS";

  void SetUp() override {
    if (!service_.ok()) {
      if (service_.must_run()) FAIL() << service_.missing();
      GTEST_SKIP() << service_.missing();
    }
    service_.SetMode("ok");
    service_.SetKey(kKey);
    service_.ClearLog();
  }

  // The service with a stall limit of `stall_seconds`.
  Service MakeService(int stall_seconds) const {
    return {service_.endpoint(), service_.ca_file(), kKey, stall_seconds};
  }

  // The environment may name a proxy; the service is reached directly.
  test::ScopedEnv no_proxy_{"no_proxy", "127.0.0.1,localhost"};
  test::ScopedEnv no_proxy_upper_{"NO_PROXY", "127.0.0.1,localhost"};
  test::LogbookService service_;
  const test::ClientTraits client_ = test::DescribeClient();
};

TEST_F(DownloadTest, FaultsFailWithTheirReasonAndClassAndNeverTheKey) {
  // How a request differs from a plain one; those from kCancelAtOnce on never reach the service.
  enum class How { kPlain, kNoRoom, kCancelLater, kStall, kCancelAtOnce, kElsewhere, kNoFile };
  struct Row {
    std::string mode;
    How how;
    std::string reason;
    FetchFailure failure;
    std::string endpoint;  // asked instead of the service's own, with kElsewhere
  };
  const std::string untrusted = service_.untrusted_place();
  // libcurl trusts the authorities of the named file alone; WinHTTP refuses a file at once.
  const std::string no_file = service_.state_dir() + "/none.pem";
  const std::vector<Row> rows = {
      {"fail500", How::kPlain, "the logbook service answered HTTP 500", FetchFailure::kServerError},
      {"cut", How::kPlain, "the download was broken off", FetchFailure::kBrokenOff},
      {"hangup", How::kPlain, "the download was broken off", FetchFailure::kBrokenOff},
      {"redirect_http", How::kPlain,
       "the logbook service redirected to an address that is not https", FetchFailure::kOther},
      {"redirect_loop", How::kPlain, "the logbook service redirected too many times",
       FetchFailure::kOther},
      {"ok", How::kNoRoom, "no room", FetchFailure::kOther},
      // The service ends a stall itself after 20 s, as a broken-off body.
      {"stall 20", How::kStall, "the download stalled", FetchFailure::kTimedOut},
      {"stall 20", How::kCancelLater, "the download was cancelled", FetchFailure::kCancelled},
      {"ok", How::kCancelAtOnce, "the download was cancelled", FetchFailure::kCancelled},
      {"ok", How::kElsewhere,
       "the logbook service's certificate was not trusted (self-signed certificate)",
       FetchFailure::kOther, "https://" + untrusted + "/api"},
      {"ok", How::kElsewhere, "the logbook service address must use https", FetchFailure::kOther,
       "HTTP://127.0.0.1:1/api"},
      {"ok", How::kElsewhere, "the logbook service address is not valid", FetchFailure::kOther,
       "https://"},
      {"ok", How::kElsewhere, "the logbook service address is not valid", FetchFailure::kOther,
       "https:127.0.0.1/api"},
      {"ok", How::kElsewhere, "cannot connect to the logbook service (127.0.0.1:1)",
       FetchFailure::kOther, "https://127.0.0.1:1/api"},
      {"ok", How::kNoFile,
       client_.reads_authority_file
           ? "cannot read the certificate authorities in " + no_file
           : "a file of certificate authorities is not used on Windows (" + no_file +
                 "); the authority must be in the system's store",
       FetchFailure::kOther},
  };
  service_.SetLogbook("<call:4>W1AW<eor>\n<call:5>K1ABC<eor>\n");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode + ": " + row.reason);
    service_.SetMode(row.mode);
    service_.ClearLog();
    Service service = MakeService(row.how == How::kStall ? 1 : 60);
    if (row.how == How::kElsewhere) service.endpoint = row.endpoint;
    if (row.how == How::kNoFile) service.ca_file = no_file;
    ReplyRequest request;
    request.check = [&] {
      const bool asked = !service_.RequestLog().empty();
      return row.how == How::kCancelAtOnce || (row.how == How::kCancelLater && asked)
                 ? Flow::kCancel
                 : Flow::kGoOn;
    };
    request.take_body = [&row](std::string_view) {
      return std::string(row.how == How::kNoRoom ? "no room" : "");
    };
    FetchSession session;
    const FetchResult result = FetchReply(session, service, request);
    if (row.how != How::kElsewhere || !client_.may_hide_certificate ||
        result.reason !=
            "the secure connection to the logbook service failed (" + untrusted + ")") {
      EXPECT_EQ(result.reason, row.reason);
    }
    EXPECT_EQ(result.failure, row.failure);
    EXPECT_EQ(result.reason.find("SIGNS"), std::string::npos);
    // The key goes percent-encoded in the form of a POST, never in the address, and never
    // before the transfer is under way, nor to another address.
    const std::string log = service_.RequestLog();
    EXPECT_EQ(log.find(" POST /api query= body=KEY=KEY%26WITH%20SIGNS&ACTION=FETCH type="
                       "application/x-www-form-urlencoded ") != std::string::npos,
              row.how < How::kCancelAtOnce)
        << log;
    EXPECT_EQ(log.find("agent=Statekeeper/" STATEKEEPER_VERSION " ") != std::string::npos,
              row.how < How::kCancelAtOnce);
  }
}

}  // namespace
}  // namespace https

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return test::RunDownloadTests();
}
