// The contract of FetchReply against the test logbook service, the same for every
// platform's HTTPS client (tests/download_service.h says what each platform provides).
// The cases that only one platform has are in download_curl_test.cc and
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

// The number of the connection that the `n`th line (from 0) of the request log came on.
std::string ConnectionOf(const std::string& log, int n) {
  size_t at = 0;
  for (int i = 0; i < n; ++i) at = log.find('\n', at) + 1;
  at = log.find(" connection=", at) + 12;
  return log.substr(at, log.find(' ', at) - at);
}

TEST(FetchReplyTest, RequestsThatCannotReachTheServiceFailWithTheirReason) {
  const std::string unused = "127.0.0.1:" + std::to_string(test::FindUnusedPort());
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"HTTP://127.0.0.1:1/api", "the logbook service address must use https"},
      {"ftp://127.0.0.1/api", "the logbook service address must use https"},
      {"", "the logbook service address is not valid"},
      {"https://", "the logbook service address is not valid"},
      {"https:127.0.0.1/api", "the logbook service address is not valid"},
      {"https://" + unused + "/api", "cannot connect to the logbook service (" + unused + ")"},
  };
  for (const auto& [endpoint, reason] : rows) {
    const Reply reply = Fetch({endpoint, "", "KEY"});
    EXPECT_EQ(reply.result.failure, FetchFailure::kOther) << endpoint;
    EXPECT_EQ(reply.result.reason, reason);
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
  EXPECT_EQ(reply.result.reason, "");
  EXPECT_GT(reply.body.size(), 50'000u);  // many pieces
  EXPECT_TRUE(reply.body == service_.LastReply());
  std::string log = service_.RequestLog();
  EXPECT_NE(log.find(" POST /api query= body=KEY=A%26B%20%23C%2BD%25E%3DF%3FG&ACTION=FETCH&"
                     "OPTION=MAX:2000,AFTERLOGID:0 type=application/x-www-form-urlencoded "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(" key=matched action=FETCH "), std::string::npos) << log;
  EXPECT_NE(log.find(" agent=Statekeeper/" STATEKEEPER_VERSION " "), std::string::npos) << log;
  EXPECT_EQ(log.find("encoding=gzip") != std::string::npos, client_.always_compresses) << log;

  service_.SetMode("redirect");
  reply = Fetch(MakeService(key), {}, &session);
  ASSERT_TRUE(reply.result.ok()) << reply.result.reason;
  EXPECT_TRUE(reply.body == service_.LastReply());
  log = service_.RequestLog();
  EXPECT_NE(log.find(" POST /redirected query= body=KEY=A%26B"), std::string::npos) << log;
  EXPECT_EQ(ConnectionOf(log, 1), ConnectionOf(log, 0)) << log;
}

TEST_F(DownloadTest, FaultsFailWithTheirReasonAndClassAndNeverTheKey) {
  struct Row {
    std::string mode;
    std::string reason;
    FetchFailure failure;
    bool asked = true;  // whether the service saw the request (and the key)
    // How the request differs: refuse the body, cancel once asked, cancel at once, stall
    // limit of 1 s, the untrusted listener.
    enum class How { kPlain, kRefuse, kCancelOnceAsked, kCancelAtOnce, kStall, kUntrusted };
    How how = How::kPlain;
  };
  using How = Row::How;
  const std::vector<Row> rows = {
      {"fail500", "the logbook service answered HTTP 500", FetchFailure::kServerError},
      {"cut", "the download was broken off", FetchFailure::kBrokenOff},
      {"hangup", "the download was broken off", FetchFailure::kBrokenOff},
      {"redirect_http", "the logbook service redirected to an address that is not https",
       FetchFailure::kOther},
      {"redirect_loop", "the logbook service redirected too many times", FetchFailure::kOther},
      {"ok", "no room", FetchFailure::kOther, true, How::kRefuse},
      {"stall 20", "the download stalled", FetchFailure::kTimedOut, true, How::kStall},
      {"stall 20", "the download was cancelled", FetchFailure::kCancelled, true,
       How::kCancelOnceAsked},
      {"ok", "the download was cancelled", FetchFailure::kCancelled, false, How::kCancelAtOnce},
      {"ok", "the logbook service's certificate was not trusted (self-signed certificate)",
       FetchFailure::kOther, false, How::kUntrusted},
  };
  // A key that percent-encoding changes, so that both of its forms are looked for.
  const std::string key = "KEY&WITH SIGNS";
  service_.SetKey(key);
  service_.SetLogbook(Logbook(3));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode + " " + row.reason);
    service_.SetMode(row.mode);
    service_.ClearLog();
    Service service = MakeService(key, row.how == How::kStall ? 1 : 60);
    if (row.how == How::kUntrusted) service.endpoint = service_.untrusted_endpoint();
    ReplyRequest request;
    request.check = [&] {
      const bool asked = !service_.RequestLog().empty();
      const bool cancel =
          row.how == How::kCancelAtOnce || (row.how == How::kCancelOnceAsked && asked);
      return cancel ? Flow::kCancel : Flow::kGoOn;
    };
    if (row.how == How::kRefuse) {
      request.take_body = [](std::string_view) { return std::string("no room"); };
    }
    const Reply reply = Fetch(service, request);
    const std::string hidden =
        "the secure connection to the logbook service failed (" + service_.untrusted_place() + ")";
    if (!(row.how == How::kUntrusted && client_.may_hide_certificate &&
          reply.result.reason == hidden)) {
      EXPECT_EQ(reply.result.reason, row.reason);
    }
    EXPECT_EQ(reply.result.failure, row.failure);
    EXPECT_EQ(reply.result.reason.find("KEY"), std::string::npos);
    EXPECT_EQ(reply.result.reason.find("SIGNS"), std::string::npos);
    EXPECT_EQ(service_.RequestLog().empty(), !row.asked) << service_.RequestLog();
  }
}

}  // namespace
}  // namespace https

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return test::RunDownloadTests();
}
