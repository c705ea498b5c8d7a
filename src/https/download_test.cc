// The contract of FetchReply, the same for every platform's HTTPS client (where they differ,
// tests/logbook_service.h says how), mostly against the test logbook service.
#include "https/download.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "logbook_service.h"
#include "test_util.h"

namespace https {
namespace {

// Sends `request` to `service` on `session` (a new one when null); unless the request has a
// take_body of its own, the body goes to `body` (when not null).
FetchResult Fetch(const Service& service, ReplyRequest request = {},
                  FetchSession* session = nullptr, std::string* body = nullptr) {
  if (!request.take_body) {
    request.take_body = [body](std::string_view piece) {
      if (body != nullptr) body->append(piece);
      return std::string();
    };
  }
  FetchSession own;
  return FetchReply(session != nullptr ? *session : own, service, request);
}

// The tests of requests to the running service, whose certificate is trusted.
class DownloadTest : public ::testing::Test {
 protected:
  static constexpr char kKey[] = "SECRET-KEY-4711";

  void SetUp() override {
    if (!service_.ok()) {
      if (service_.must_run()) FAIL() << service_.missing();
      GTEST_SKIP() << service_.missing();
    }
    service_.SetMode("ok");
    service_.SetKey(kKey);
    service_.ClearLog();
  }

  // The service with `key` and a stall limit of `stall_seconds`.
  Service MakeService(std::string key = kKey, int stall_seconds = 60) const {
    return {service_.endpoint(), service_.ca_file(), std::move(key), stall_seconds};
  }

  // The environment may name a proxy; the service is reached directly.
  test::ScopedEnv no_proxy_{"no_proxy", "127.0.0.1,localhost"};
  test::ScopedEnv no_proxy_upper_{"NO_PROXY", "127.0.0.1,localhost"};
  test::LogbookService service_;
  const test::ClientTraits client_ = test::DescribeClient();
};

// `count` records of the logbook.
std::string Logbook(int count) {
  std::string adif;
  for (int i = 0; i < count; ++i) adif += "<call:6>K" + std::to_string(10000 + i) + "<eor>\n";
  return adif;
}

TEST(FetchReplyTest, RequestsThatCannotReachTheServiceFailWithTheirReason) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"HTTP://127.0.0.1:1/api", "the logbook service address must use https"},
      {"https://", "the logbook service address is not valid"},
      {"https:127.0.0.1/api", "the logbook service address is not valid"},
      {"https://127.0.0.1:1/api", "cannot connect to the logbook service (127.0.0.1:1)"},
  };
  for (const auto& [endpoint, reason] : rows) {
    const FetchResult result = Fetch({endpoint, "", "KEY"});
    EXPECT_EQ(result.failure, FetchFailure::kOther) << endpoint;
    EXPECT_EQ(result.reason, reason);
  }
}

// The body arrives byte for byte, compressed on the way where the client can decompress it,
// from a POST of the form with the key percent-encoded; the next request of a session, a
// redirected one here, goes over the same connection and repeats the POST.
TEST_F(DownloadTest, TheReplyArrivesWholeFromAPostOfTheForm) {
  const std::string key = "A&B #C+D%E=F?G";
  service_.SetKey(key);
  service_.SetLogbook(Logbook(4000));
  FetchSession session;
  ReplyRequest request;
  request.option = "MAX:2000,AFTERLOGID:0";
  std::string body;
  FetchResult result = Fetch(MakeService(key), request, &session, &body);
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_GT(body.size(), 50'000u);  // many pieces
  EXPECT_TRUE(body == service_.LastReply());
  std::string log = service_.RequestLog();
  EXPECT_NE(log.find(" POST /api query= body=KEY=A%26B%20%23C%2BD%25E%3DF%3FG&ACTION=FETCH&"
                     "OPTION=MAX:2000,AFTERLOGID:0 type=application/x-www-form-urlencoded "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(" agent=Statekeeper/" STATEKEEPER_VERSION " "), std::string::npos) << log;
  EXPECT_TRUE(!client_.always_compresses || log.find("encoding=gzip") != std::string::npos) << log;

  service_.SetMode("redirect");
  body.clear();
  result = Fetch(MakeService(key), {}, &session, &body);
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_TRUE(body == service_.LastReply());
  log = service_.RequestLog();
  EXPECT_NE(log.find(" POST /redirected query= body=KEY=A%26B"), std::string::npos) << log;
  const auto connection = [&log](size_t at) {  // of the request logged at `at`
    at = log.find(" connection=", at) + 12;
    return log.substr(at, log.find(' ', at) - at);
  };
  EXPECT_EQ(connection(log.find('\n')), connection(0)) << log;
}

TEST_F(DownloadTest, FaultsFailWithTheirReasonAndClassAndNeverTheKey) {
  // How a request differs from a plain one; those from kCancelAtOnce on never reach the service.
  enum class How { kPlain, kNoRoom, kCancelLater, kStall, kCancelAtOnce, kUntrusted, kNoFile };
  struct Row {
    std::string mode;
    How how;
    std::string reason;
    FetchFailure failure;
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
      {"ok", How::kUntrusted,
       "the logbook service's certificate was not trusted (self-signed certificate)",
       FetchFailure::kOther},
      {"ok", How::kNoFile,
       client_.reads_authority_file
           ? "cannot read the certificate authorities in " + no_file
           : "a file of certificate authorities is not used on Windows (" + no_file +
                 "); the authority must be in the system's store",
       FetchFailure::kOther},
  };
  // A key that percent-encoding changes, so that both of its forms are looked for.
  const std::string key = "KEY&WITH SIGNS";
  service_.SetKey(key);
  service_.SetLogbook(Logbook(3));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode + ": " + row.reason);
    service_.SetMode(row.mode);
    service_.ClearLog();
    Service service = MakeService(key, row.how == How::kStall ? 1 : 60);
    if (row.how == How::kUntrusted) service.endpoint = "https://" + untrusted + "/api";
    if (row.how == How::kNoFile) service.ca_file = no_file;
    ReplyRequest request;
    request.check = [&] {
      const bool asked = !service_.RequestLog().empty();
      return row.how == How::kCancelAtOnce || (row.how == How::kCancelLater && asked)
                 ? Flow::kCancel
                 : Flow::kGoOn;
    };
    if (row.how == How::kNoRoom) {
      request.take_body = [](std::string_view) { return std::string("no room"); };
    }
    const FetchResult result = Fetch(service, request);
    if (row.how != How::kUntrusted || !client_.may_hide_certificate ||
        result.reason !=
            "the secure connection to the logbook service failed (" + untrusted + ")") {
      EXPECT_EQ(result.reason, row.reason);
    }
    EXPECT_EQ(result.failure, row.failure);
    EXPECT_EQ(result.reason.find("SIGNS"), std::string::npos);
    // The key is never sent before the transfer is under way, nor to an untrusted service.
    EXPECT_EQ(service_.RequestLog().empty(), row.how >= How::kCancelAtOnce)
        << service_.RequestLog();
    EXPECT_EQ(service_.RequestLog().empty(), row.how >= How::kCancelAtOnce)
        << service_.RequestLog();
  }
}

}  // namespace
}  // namespace https

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return test::RunDownloadTests();
}
