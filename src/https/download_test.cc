// The contract of FetchReply, through FetchLogbook, against the test logbook service: the
// same tests for every platform's HTTPS client (tests/download_service.h says what each
// platform provides). The cases that only one platform has are in download_curl_test.cc and
// download_windows_test.cc.
#include "https/download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "download_service.h"
#include "logbook/fetch_logbook.h"
#include "logbook/logbook_pages.h"
#include "test_util.h"

namespace logbook {
namespace {

using https::FetchResult;
using test::FetchLogbook;
using test::FetchRequest;

using test::DownloadTest;
using test::ExpectNoKey;
using test::FileExists;
using test::kNotTrusted;
using test::ReadFile;
using test::WriteFile;

constexpr char kKey[] = "SECRET-KEY-4711";

// `count` records, each with its log id, in the order of their log ids.
std::string NumberedLogbook(int count) {
  std::string adif;
  for (int i = 0; i < count; ++i) {
    const std::string id = std::to_string(500000 + 3 * i);
    adif += "<call:6>K" + std::to_string(10000 + i) + "<band:3>20m<app_qrzlog_status:1>C" +
            "<app_qrzlog_logid:" + std::to_string(id.size()) + ">" + id + "<eor>\n";
  }
  return adif;
}

// The lines of the request log that hold `text`.
std::vector<std::string> LogLines(const std::string& log, const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < log.size();) {
    const size_t end = std::min(log.find('\n', at), log.size());
    std::string line = log.substr(at, end - at);
    if (line.find(text) != std::string::npos) lines.push_back(std::move(line));
    at = end + 1;
  }
  return lines;
}

// The number of the connection that a line of the request log came on.
std::string ConnectionOf(const std::string& line) {
  const size_t at = line.find(" connection=");
  return at == std::string::npos ? "" : line.substr(at + 12, line.find(' ', at + 1) - at - 12);
}

// ---- without the service ----------------------------------------------------------------

TEST(FetchLogbookTest, RefusesAddressesThatAreNotHttps) {
  test::ScopedTempDir dir;
  struct Row {
    std::string endpoint;
    std::string reason;
  };
  const std::vector<Row> rows = {
      {"http://127.0.0.1:1/api", "the logbook service address must use https"},
      {"HTTP://127.0.0.1:1/api", "the logbook service address must use https"},
      {"ftp://127.0.0.1/api", "the logbook service address must use https"},
      {"", "the logbook service address is not valid"},
      {"no address at all", "the logbook service address is not valid"},
      {"https://", "the logbook service address is not valid"},
      {"https:127.0.0.1/api", "the logbook service address is not valid"},
  };
  for (const Row& row : rows) {
    FetchRequest request;
    request.service.endpoint = row.endpoint;
    request.service.api_key = kKey;
    request.temp_path = dir.Join("QRZ_LogBook.tmp");
    const FetchResult result = FetchLogbook(request);
    EXPECT_FALSE(result.ok()) << row.endpoint;
    EXPECT_EQ(result.reason, row.reason) << row.endpoint;
    EXPECT_FALSE(FileExists(request.temp_path)) << row.endpoint;
  }
}

TEST(FetchLogbookTest, NothingListeningIsAFailureNamingTheAddress) {
  test::ScopedTempDir dir;
  const int port = test::FindUnusedPort();
  FetchRequest request;
  request.service.endpoint = "https://127.0.0.1:" + std::to_string(port) + "/api";
  request.service.api_key = kKey;
  request.temp_path = dir.Join("QRZ_LogBook.tmp");
  WriteFile(request.temp_path, "an earlier download");
  const FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason,
            "cannot connect to the logbook service (127.0.0.1:" + std::to_string(port) + ")");
  EXPECT_FALSE(FileExists(request.temp_path));
}

// ---- against the service ----------------------------------------------------------------

TEST_F(DownloadTest, GoodReplyLandsInTheFileByteForByte) {
  if (!service_.trusted()) GTEST_SKIP() << kNotTrusted;
  service_.SetLogbook(
      "header<eoh>\n"
      "<CALL:4>W1AW<band:3>20m<app_qrzlog_status:1>C<eor>\n"
      "<call:5>K1ABC<country:13>United States<state:2>ma<eor>\n");
  const FetchResult result = FetchLogbook(Request());
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_EQ(result.reason, "");
  const std::string expected =
      "COUNT=2&ADIF="
      "&lt;call:4&gt;W1AW\n&lt;band:3&gt;20m\n&lt;app_qrzlog_status:1&gt;C\n&lt;eor&gt;\n"
      "\n"
      "&lt;call:5&gt;K1ABC\n&lt;country:13&gt;United States\n&lt;state:2&gt;ma\n"
      "&lt;eor&gt;\n"
      "&RESULT=OK";
  EXPECT_EQ(ReadFile(temp_path_), expected);
  EXPECT_EQ(service_.LastReply(), expected);
  EXPECT_EQ(test::FileMode(temp_path_), client_.private_file_mode);

  // A POST of the form, nothing of it in the address.
  const std::string log = service_.RequestLog();
  EXPECT_NE(log.find(" POST /api query= body=KEY=SECRET-KEY-4711&ACTION=FETCH "
                     "type=application/x-www-form-urlencoded connection="),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(" key=matched action=FETCH option= "), std::string::npos) << log;
  EXPECT_NE(log.find("agent=Statekeeper/" STATEKEEPER_VERSION " "), std::string::npos) << log;
}

TEST_F(DownloadTest, ExistingFileIsEmptiedAndMadePrivate) {
  if (!service_.trusted()) GTEST_SKIP() << kNotTrusted;
  WriteFile(temp_path_, std::string(10000, 'x'));  // longer than the reply
  std::error_code error;
  std::filesystem::permissions(
      temp_path_, std::filesystem::perms::group_read | std::filesystem::perms::others_read,
      std::filesystem::perm_options::add, error);
  ASSERT_FALSE(error) << error.message();
  service_.SetLogbook("<call:4>W1AW<eor>");
  const FetchResult result = FetchLogbook(Request());
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_EQ(ReadFile(temp_path_), "COUNT=1&ADIF=&lt;call:4&gt;W1AW\n&lt;eor&gt;\n&RESULT=OK");
  EXPECT_EQ(test::FileMode(temp_path_), client_.private_file_mode);
}

// The client asks for a compressed reply where it can decompress one; the file holds the
// reply as the service meant it, byte for byte.
TEST_F(DownloadTest, ACompressedReplyLandsByteForByte) {
  if (!service_.trusted()) GTEST_SKIP() << kNotTrusted;
  service_.SetLogbook(NumberedLogbook(500));
  const FetchResult result = FetchLogbook(Request());
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_TRUE(ReadFile(temp_path_) == service_.LastReply());
  const bool compressed = service_.RequestLog().find("encoding=gzip") != std::string::npos;
  if (client_.always_compresses) {
    EXPECT_TRUE(compressed) << service_.RequestLog();
  } else if (!compressed) {
    GTEST_SKIP() << "this WinHTTP asked for no compressed reply";
  }
}

TEST_F(DownloadTest, LargeLogbookArrivesWhole) {
  if (!service_.trusted()) GTEST_SKIP() << kNotTrusted;
  std::string adif;
  for (int i = 0; i < 4000; ++i) {
    adif += "<call:6>K" + std::to_string(10000 + i) +
            "<band:3>20m<state:2>MA"
            "<app_qrzlog_status:1>C<comment:40>" +
            std::string(40, 'c') + "<eor>\n";
  }
  service_.SetLogbook(adif);
  const FetchResult result = FetchLogbook(Request());
  ASSERT_TRUE(result.ok()) << result.reason;
  const std::string reply = ReadFile(temp_path_).value_or("");
  EXPECT_GT(reply.size(), 500'000u);
  EXPECT_TRUE(reply.starts_with("COUNT=4000&ADIF=&lt;")) << reply.substr(0, 40);
  EXPECT_TRUE(reply.ends_with("&lt;eor&gt;\n&RESULT=OK"));
  EXPECT_TRUE(reply == service_.LastReply());
}

// A 5xx answer to the whole logbook is followed by the pages, joined into one reply; they
// come over one connection while the service keeps it open.
TEST_F(DownloadTest, ALargeLogbookComesPageByPageWhenTheWholeFails) {
  if (!service_.trusted()) GTEST_SKIP() << kNotTrusted;
  service_.SetLogbook(NumberedLogbook(4500));
  ASSERT_TRUE(FetchLogbook(Request()).ok());
  const std::string single = service_.LastReply();
  service_.ClearLog();
  service_.SetMode("whole_504");
  const FetchResult result = FetchLogbook(Request());
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_TRUE(ReadFile(temp_path_) == DecodeReply(single));
  const std::string log = service_.RequestLog();
  const std::vector<std::string> pages = LogLines(log, " option=MAX");
  ASSERT_EQ(pages.size(), 3u) << log;
  const std::string form = " POST /api query= body=KEY=SECRET-KEY-4711&ACTION=FETCH&OPTION=";
  EXPECT_NE(pages[0].find(form + "MAX:2000,AFTERLOGID:0 type=application/x-www-form-urlencoded "),
            std::string::npos)
      << pages[0];
  EXPECT_NE(pages[2].find(form + "MAX:2000,AFTERLOGID:" + std::to_string(500000 + 3 * 3999 + 1) +
                          " type=application/x-www-form-urlencoded "),
            std::string::npos)
      << pages[2];
  for (const std::string& page : pages) EXPECT_EQ(ConnectionOf(page), ConnectionOf(pages[0]));
  EXPECT_NE(ConnectionOf(pages[0]), "");
}

TEST_F(DownloadTest, ServiceAnswersReachTheFileAsTheyAre) {
  if (!service_.trusted()) GTEST_SKIP() << kNotTrusted;
  // Whether the answer is a logbook is for the caller to decide: the transfer succeeded.
  struct Row {
    std::string key;
    std::string logbook;
    std::string reply;
  };
  const std::vector<Row> rows = {
      {"WRONG-KEY", "<call:4>W1AW<eor>", "RESULT=AUTH&REASON=invalid api key"},
      {"", "<call:4>W1AW<eor>", "RESULT=AUTH&REASON=invalid api key"},
      {kKey, "", "RESULT=FAIL&REASON=no log entries found&COUNT=0"},
  };
  for (const Row& row : rows) {
    service_.SetLogbook(row.logbook);
    const FetchResult result = FetchLogbook(Request(row.key));
    EXPECT_TRUE(result.ok()) << row.key << ": " << result.reason;
    EXPECT_EQ(ReadFile(temp_path_), row.reply) << row.key;
  }
}

TEST_F(DownloadTest, KeyWithSpecialCharactersReachesTheServiceWhole) {
  if (!service_.trusted()) GTEST_SKIP() << kNotTrusted;
  const std::string key = "A&B #C+D%E=F?G";
  service_.SetKey(key);
  service_.SetLogbook("<call:4>W1AW<eor>");
  const FetchResult result = FetchLogbook(Request(key));
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_EQ(ReadFile(temp_path_), "COUNT=1&ADIF=&lt;call:4&gt;W1AW\n&lt;eor&gt;\n&RESULT=OK");
  EXPECT_NE(service_.RequestLog().find(" query= body=KEY=A%26B%20%23C%2BD%25E%3DF%3FG&ACTION=FETCH "
                                       "type=application/x-www-form-urlencoded connection="),
            std::string::npos)
      << service_.RequestLog();
  EXPECT_NE(service_.RequestLog().find(" key=matched action=FETCH "), std::string::npos);
}

TEST_F(DownloadTest, FaultsFailWithAReasonAndLeaveNoFile) {
  if (!service_.trusted()) GTEST_SKIP() << kNotTrusted;
  struct Row {
    std::string mode;
    std::string reason;
  };
  const std::vector<Row> rows = {
      {"fail500", "the logbook service answered HTTP 500"},
      {"cut", "the download was broken off"},
      {"hangup", "the download was broken off"},
      {"empty", "the logbook service sent an empty reply"},
      {"redirect_http", "the logbook service redirected to an address that is not https"},
  };
  // A key that percent-encoding changes, so that both of its forms are looked for.
  const std::string key = "KEY&WITH SIGNS";
  service_.SetKey(key);
  service_.SetLogbook("<call:4>W1AW<band:3>20m<eor>\n<call:4>K1AB<band:3>40m<eor>\n");
  for (const Row& row : rows) {
    service_.SetMode(row.mode);
    WriteFile(temp_path_, "an earlier download");
    const FetchResult result = FetchLogbook(Request(key));
    EXPECT_FALSE(result.ok()) << row.mode;
    EXPECT_EQ(result.reason, row.reason) << row.mode;
    ExpectNoKey(result.reason, key);
    EXPECT_FALSE(FileExists(temp_path_)) << row.mode;
  }
  // The key went in the body of every request, never in an address.
  const std::string log = service_.RequestLog();
  EXPECT_EQ(LogLines(log, " query= ").size(), LogLines(log, "").size()) << log;
  EXPECT_NE(log.find(" query= body=KEY=KEY%26WITH%20SIGNS&ACTION=FETCH "), std::string::npos);
}

// The service redirects to the same host and port, path /redirected.
TEST_F(DownloadTest, RedirectToHttpsIsFollowed) {
  if (!service_.trusted()) GTEST_SKIP() << kNotTrusted;
  service_.SetMode("redirect");
  service_.SetLogbook("<call:4>W1AW<eor>");
  const FetchResult result = FetchLogbook(Request());
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_EQ(ReadFile(temp_path_), "COUNT=1&ADIF=&lt;call:4&gt;W1AW\n&lt;eor&gt;\n&RESULT=OK");
  // The redirect repeated the POST with its body.
  EXPECT_NE(service_.RequestLog().find(" POST /redirected query= body=KEY=SECRET-KEY-4711&"
                                       "ACTION=FETCH type=application/x-www-form-urlencoded "),
            std::string::npos)
      << service_.RequestLog();
}

TEST_F(DownloadTest, RedirectLoopIsCut) {
  if (!service_.trusted()) GTEST_SKIP() << kNotTrusted;
  service_.SetMode("redirect_loop");
  WriteFile(temp_path_, "an earlier download");
  const FetchResult result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the logbook service redirected too many times");
  ExpectNoKey(result.reason, kKey);
  EXPECT_FALSE(FileExists(temp_path_));
}

TEST_F(DownloadTest, UntrustedCertificateIsRefused) {
  service_.SetLogbook("<call:4>W1AW<eor>");
  FetchRequest request = Request();
  request.service.endpoint = service_.untrusted_endpoint();
  WriteFile(temp_path_, "an earlier download");
  const FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  if (client_.may_hide_certificate && result.reason.starts_with("the secure connection")) {
    EXPECT_EQ(result.reason, "the secure connection to the logbook service failed (" +
                                 service_.untrusted_place() + ")");
  } else {
    EXPECT_EQ(result.reason,
              "the logbook service's certificate was not trusted (self-signed certificate)");
  }
  EXPECT_FALSE(FileExists(temp_path_));
  EXPECT_EQ(service_.RequestLog(), "");  // the key was never sent
}

TEST_F(DownloadTest, StalledBodyIsGivenUp) {
  if (!service_.trusted()) GTEST_SKIP() << kNotTrusted;
  service_.SetMode("stall 40");
  service_.SetLogbook("<call:4>W1AW<eor>\n<call:4>K1AB<eor>\n");
  FetchRequest request = Request();
  request.service.stall_seconds = 1;
  const auto start = std::chrono::steady_clock::now();
  const FetchResult result = FetchLogbook(request);
  if (client_.stall_bound.count() > 0) {
    EXPECT_LT(std::chrono::steady_clock::now() - start, client_.stall_bound);
  }
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the download stalled");
  EXPECT_FALSE(FileExists(temp_path_));
}

TEST_F(DownloadTest, CancelledTransferStops) {
  if (!service_.trusted()) GTEST_SKIP() << kNotTrusted;
  service_.SetMode("stall 40");
  service_.SetLogbook("<call:4>W1AW<eor>\n<call:4>K1AB<eor>\n");
  FetchRequest request = Request();
  // Cancelled once the service has been asked, i.e. in the middle of the stalled body.
  request.progress = [this](const DownloadProgress&) {
    return service_.RequestLog().find("mode=stall") == std::string::npos ? https::Flow::kGoOn
                                                                         : https::Flow::kCancel;
  };
  const auto start = std::chrono::steady_clock::now();
  const FetchResult result = FetchLogbook(request);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the download was cancelled");
  EXPECT_FALSE(FileExists(temp_path_));

  service_.ClearLog();
  service_.SetMode("ok");
  request.progress = [](const DownloadProgress&) {
    return https::Flow::kCancel;
  };  // before anything arrived
  const FetchResult early = FetchLogbook(request);
  EXPECT_FALSE(early.ok());
  EXPECT_EQ(early.reason, "the download was cancelled");
  EXPECT_FALSE(FileExists(temp_path_));
  EXPECT_EQ(service_.RequestLog(), "");
}

// ---- the Temporary download file --------------------------------------------------------

TEST_F(DownloadTest, FolderAtTheNameIsRefused) {
  std::error_code error;
  ASSERT_TRUE(std::filesystem::create_directory(temp_path_, error)) << error.message();
  const FetchResult result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file is not a regular file: " + temp_path_);
  EXPECT_EQ(service_.RequestLog(), "");  // nothing was asked of the service
}

TEST_F(DownloadTest, MissingFolderIsNamed) {
  FetchRequest request = Request();
  request.temp_path = dir_.Join("missing/QRZ_LogBook.tmp");
  const FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  const std::string start = "cannot open the temporary file " + request.temp_path + ": ";
  EXPECT_TRUE(result.reason.starts_with(start)) << result.reason;
  if (!client_.missing_folder_error.empty()) {
    EXPECT_EQ(result.reason, start + client_.missing_folder_error);
  }
  EXPECT_EQ(service_.RequestLog(), "");
}

}  // namespace
}  // namespace logbook

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return test::RunDownloadTests();
}
