// The contract of FetchReply, the same for every platform's HTTPS client, mostly against the
// test logbook service. The cases of one platform alone are in download_curl_test.cc and
// download_windows_test.cc.
#include "https/download.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download_service.h"

namespace https {
namespace {

using test::DownloadTest;
using test::Fetch;
using test::Reply;

// `count` records of the logbook.
std::string Logbook(int count) {
  std::string adif;
  for (int i = 0; i < count; ++i) adif += "<call:6>K" + std::to_string(10000 + i) + "<eor>\n";
  return adif;
}

TEST(FetchReplyTest, RequestsThatCannotReachTheServiceFailWithTheirReason) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"HTTP://127.0.0.1:1/api", "the logbook service address must use https"},
      {"ftp://127.0.0.1/api", "the logbook service address must use https"},
      {"", "the logbook service address is not valid"},
      {"https://", "the logbook service address is not valid"},
      {"https:127.0.0.1/api", "the logbook service address is not valid"},
      {"https://127.0.0.1:1/api", "cannot connect to the logbook service (127.0.0.1:1)"},
  };
  for (const auto& [endpoint, reason] : rows) {
    const FetchResult result = Fetch({endpoint, "", "KEY"}).result;
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
  Reply reply = Fetch(MakeService(key), request, &session);
  ASSERT_TRUE(reply.result.ok()) << reply.result.reason;
  EXPECT_GT(reply.body.size(), 50'000u);  // many pieces
  EXPECT_TRUE(reply.body == service_.LastReply());
  std::string log = service_.RequestLog();
  EXPECT_NE(log.find(" POST /api query= body=KEY=A%26B%20%23C%2BD%25E%3DF%3FG&ACTION=FETCH&"
                     "OPTION=MAX:2000,AFTERLOGID:0 type=application/x-www-form-urlencoded "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(" key=matched action=FETCH "), std::string::npos) << log;
  EXPECT_NE(log.find(" agent=Statekeeper/" STATEKEEPER_VERSION " "), std::string::npos) << log;
  EXPECT_TRUE(!client_.always_compresses || log.find("encoding=gzip") != std::string::npos) << log;

  service_.SetMode("redirect");
  reply = Fetch(MakeService(key), {}, &session);
  ASSERT_TRUE(reply.result.ok()) << reply.result.reason;
  EXPECT_TRUE(reply.body == service_.LastReply());
  log = service_.RequestLog();
  EXPECT_NE(log.find(" POST /redirected query= body=KEY=A%26B"), std::string::npos) << log;
  const auto connection = [&log](size_t at) {  // of the request logged at `at`
    at = log.find(" connection=", at) + 12;
    return log.substr(at, log.find(' ', at) - at);
  };
  EXPECT_EQ(connection(log.find('\n')), connection(0)) << log;
}

TEST_F(DownloadTest, FaultsFailWithTheirReasonAndClassAndNeverTheKey) {
  // How a request differs from a plain one.
  enum class How { kPlain, kRefuseBody, kCancelOnceAsked, kCancelAtOnce, kStall, kUntrusted };
  struct Row {
    std::string mode;
    How how;
    std::string reason;
    FetchFailure failure;
  };
  const std::string untrusted = service_.untrusted_place();
  const std::vector<Row> rows = {
      {"fail500", How::kPlain, "the logbook service answered HTTP 500", FetchFailure::kServerError},
      {"cut", How::kPlain, "the download was broken off", FetchFailure::kBrokenOff},
      {"hangup", How::kPlain, "the download was broken off", FetchFailure::kBrokenOff},
      {"redirect_http", How::kPlain,
       "the logbook service redirected to an address that is not https", FetchFailure::kOther},
      {"redirect_loop", How::kPlain, "the logbook service redirected too many times",
       FetchFailure::kOther},
      {"ok", How::kRefuseBody, "no room", FetchFailure::kOther},
      // The service ends a stall itself after 20 s, as a broken-off body.
      {"stall 20", How::kStall, "the download stalled", FetchFailure::kTimedOut},
      {"stall 20", How::kCancelOnceAsked, "the download was cancelled", FetchFailure::kCancelled},
      {"ok", How::kCancelAtOnce, "the download was cancelled", FetchFailure::kCancelled},
      {"ok", How::kUntrusted,
       "the logbook service's certificate was not trusted (self-signed certificate)",
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
    ReplyRequest request;
    request.check = [&] {
      const bool asked = !service_.RequestLog().empty();
      return row.how == How::kCancelAtOnce || (row.how == How::kCancelOnceAsked && asked)
                 ? Flow::kCancel
                 : Flow::kGoOn;
    };
    if (row.how == How::kRefuseBody) {
      request.take_body = [](std::string_view) { return std::string("no room"); };
    }
    const FetchResult result = Fetch(service, request).result;
    if (row.how != How::kUntrusted || !client_.may_hide_certificate ||
        result.reason !=
            "the secure connection to the logbook service failed (" + untrusted + ")") {
      EXPECT_EQ(result.reason, row.reason);
    }
    EXPECT_EQ(result.failure, row.failure);
    EXPECT_EQ(result.reason.find("SIGNS"), std::string::npos);
    // The key is never sent before the transfer is under way, nor to an untrusted service.
    const bool asked = row.how != How::kCancelAtOnce && row.how != How::kUntrusted;
    EXPECT_EQ(service_.RequestLog().empty(), !asked) << service_.RequestLog();
  }
}

}  // namespace
}  // namespace https

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return test::RunDownloadTests();
}
