#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "logbook/fetch_logbook.h"
#include "logbook_service.h"
#include "test_util.h"

namespace logbook {
namespace {

using test::FileExists;
using test::ReadFile;
using test::WriteFile;

constexpr char kKey[] = "SECRET-KEY-4711";

// The reason must never give the key away, in any of the forms it travels in.
void ExpectNoKey(const std::string& reason, const std::string& key) {
  EXPECT_EQ(reason.find(key), std::string::npos) << reason;
  const std::string encoded = RequestAddress("", key).substr(5);  // past "?KEY="
  EXPECT_EQ(reason.find(encoded.substr(0, encoded.size() - 13)), std::string::npos) << reason;
}

// A port on 127.0.0.1 where nothing listens (it was free a moment ago).
int UnusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  ::close(fd);
  return bound ? ntohs(address.sin_port) : 1;
}

TEST(FetchLogbookTest, RefusesAddressesThatAreNotHttps) {
  test::ScopedTempDir dir;
  struct Row {
    std::string endpoint;
    std::string reason;
  };
  const std::vector<Row> rows = {
      {"http://127.0.0.1:1/api", "the logbook service address must use https"},
      {"ftp://127.0.0.1/api", "the logbook service address must use https"},
      {"", "the logbook service address is not valid"},
      {"no address at all", "the logbook service address is not valid"},
  };
  for (const Row& row : rows) {
    FetchRequest request;
    request.endpoint = row.endpoint;
    request.api_key = kKey;
    request.temp_path = dir.Join("QRZ_LogBook.tmp");
    const FetchResult result = FetchLogbook(request);
    EXPECT_FALSE(result.ok()) << row.endpoint;
    EXPECT_EQ(result.reason, row.reason) << row.endpoint;
    EXPECT_FALSE(FileExists(request.temp_path)) << row.endpoint;
  }
}

TEST(FetchLogbookTest, NothingListeningIsAFailureNamingTheAddress) {
  test::ScopedTempDir dir;
  const int port = UnusedPort();
  FetchRequest request;
  request.endpoint = "https://127.0.0.1:" + std::to_string(port) + "/api";
  request.api_key = kKey;
  request.temp_path = dir.Join("QRZ_LogBook.tmp");
  WriteFile(request.temp_path, "an earlier download");
  const FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason,
            "cannot connect to the logbook service (127.0.0.1:" + std::to_string(port) + ")");
  EXPECT_FALSE(FileExists(request.temp_path));
}

// Each test gets a service of its own, so tests can change its behaviour freely and run
// in parallel with anything.
class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service_.ok());
    service_.SetKey(kKey);
  }

  FetchRequest Request(std::string key = kKey) const {
    FetchRequest request;
    request.endpoint = service_.endpoint();
    request.ca_file = service_.ca_file();
    request.api_key = std::move(key);
    request.temp_path = temp_path_;
    return request;
  }

  void SetMode(const std::string& mode) const { service_.SetMode(mode); }
  void SetLogbook(const std::string& adif) const { service_.SetLogbook(adif); }
  std::string LastReply() const { return service_.LastReply(); }
  std::string RequestLog() const { return service_.RequestLog(); }

  test::ScopedTempDir dir_;
  // The environment may name a proxy; the service is reached directly.
  test::ScopedEnv no_proxy_{"no_proxy", "127.0.0.1,localhost"};
  test::ScopedEnv no_proxy_upper_{"NO_PROXY", "127.0.0.1,localhost"};
  const std::string temp_path_ = dir_.Join("QRZ_LogBook.tmp");
  test::LogbookService service_;
};

TEST_F(DownloadTest, GoodReplyLandsInTheFileByteForByte) {
  SetLogbook(
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
  EXPECT_EQ(LastReply(), expected);
  EXPECT_EQ(test::FileMode(temp_path_), 0600);

  const std::string log = RequestLog();
  EXPECT_NE(log.find("GET /api query=KEY,ACTION key=matched action=FETCH"), std::string::npos)
      << log;
  EXPECT_NE(log.find("agent=Statekeeper/" STATEKEEPER_VERSION " "), std::string::npos) << log;
  // The reply came compressed; the file holds it as the service meant it, byte for byte.
  EXPECT_NE(log.find("encoding=gzip"), std::string::npos) << log;
  EXPECT_EQ(log.find(kKey), std::string::npos) << log;
}

TEST_F(DownloadTest, LargeGeneratedLogbookArrivesWhole) {
  ASSERT_TRUE(service_.GenerateLogbook(4000, 11));
  const FetchResult result = FetchLogbook(Request());
  ASSERT_TRUE(result.ok()) << result.reason;
  const std::string reply = ReadFile(temp_path_).value_or("");
  EXPECT_GT(reply.size(), 500'000u);
  EXPECT_TRUE(reply.starts_with("COUNT=4000&ADIF=&lt;")) << reply.substr(0, 40);
  EXPECT_TRUE(reply.ends_with("&lt;eor&gt;\n&RESULT=OK"));
  EXPECT_TRUE(reply == LastReply());
}

TEST_F(DownloadTest, ServiceAnswersReachTheFileAsTheyAre) {
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
    SetLogbook(row.logbook);
    const FetchResult result = FetchLogbook(Request(row.key));
    EXPECT_TRUE(result.ok()) << row.key << ": " << result.reason;
    EXPECT_EQ(ReadFile(temp_path_), row.reply) << row.key;
  }
}

TEST_F(DownloadTest, KeyWithSpecialCharactersReachesTheServiceWhole) {
  const std::string key = "A&B #C+D%E=F?G";
  service_.SetKey(key);
  SetLogbook("<call:4>W1AW<eor>");
  const FetchResult result = FetchLogbook(Request(key));
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_EQ(ReadFile(temp_path_), "COUNT=1&ADIF=&lt;call:4&gt;W1AW\n&lt;eor&gt;\n&RESULT=OK");
  EXPECT_NE(RequestLog().find("query=KEY,ACTION key=matched action=FETCH"), std::string::npos)
      << RequestLog();
}

TEST_F(DownloadTest, RedirectToHttpsIsFollowed) {
  SetMode("redirect");
  SetLogbook("<call:4>W1AW<eor>");
  const FetchResult result = FetchLogbook(Request());
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_EQ(ReadFile(temp_path_), "COUNT=1&ADIF=&lt;call:4&gt;W1AW\n&lt;eor&gt;\n&RESULT=OK");
  EXPECT_NE(RequestLog().find("GET /redirected "), std::string::npos) << RequestLog();
}

TEST_F(DownloadTest, FaultsFailWithAReasonAndLeaveNoFile) {
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
      {"redirect_loop", "the logbook service redirected too many times"},
  };
  // A key that percent-encoding changes, so that both of its forms are looked for.
  const std::string key = "KEY&WITH SIGNS";
  service_.SetKey(key);
  SetLogbook("<call:4>W1AW<band:3>20m<eor>\n<call:4>K1AB<band:3>40m<eor>\n");
  for (const Row& row : rows) {
    SetMode(row.mode);
    WriteFile(temp_path_, "an earlier download");
    const FetchResult result = FetchLogbook(Request(key));
    EXPECT_FALSE(result.ok()) << row.mode;
    EXPECT_EQ(result.reason, row.reason) << row.mode;
    ExpectNoKey(result.reason, key);
    EXPECT_FALSE(FileExists(temp_path_)) << row.mode;
  }
  EXPECT_EQ(RequestLog().find(key), std::string::npos);
}

TEST_F(DownloadTest, UntrustedCertificateIsRefused) {
  SetLogbook("<call:4>W1AW<eor>");
  FetchRequest request = Request();
  request.endpoint = service_.untrusted_endpoint();
  WriteFile(temp_path_, "an earlier download");
  FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason,
            "the logbook service's certificate was not trusted (self-signed certificate)");
  EXPECT_FALSE(FileExists(temp_path_));

  // The test authority is not among the system's: without it the good service is refused.
  request = Request();
  request.ca_file.clear();
  result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_TRUE(result.reason.starts_with("the logbook service's certificate was not trusted"))
      << result.reason;

  // The trusted certificate holds both of the service's names.
  request = Request();
  request.endpoint = service_.localhost_endpoint();
  result = FetchLogbook(request);
  EXPECT_TRUE(result.ok()) << result.reason;
}

TEST_F(DownloadTest, MissingAuthorityFileIsNamed) {
  FetchRequest request = Request();
  request.ca_file = dir_.Join("no-such.pem");
  const FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "cannot read the certificate authorities in " + request.ca_file);
  EXPECT_FALSE(FileExists(temp_path_));
}

TEST_F(DownloadTest, StalledBodyIsGivenUp) {
  SetMode("stall 40");
  SetLogbook("<call:4>W1AW<eor>\n<call:4>K1AB<eor>\n");
  FetchRequest request = Request();
  request.stall_seconds = 1;
  const FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the download stalled");
  EXPECT_FALSE(FileExists(temp_path_));
}

TEST_F(DownloadTest, CancelledTransferStops) {
  SetMode("stall 40");
  SetLogbook("<call:4>W1AW<eor>\n<call:4>K1AB<eor>\n");
  FetchRequest request = Request();
  // Cancelled once the service has been asked, i.e. in the middle of the stalled body.
  request.progress = [this](const DownloadProgress&) {
    return RequestLog().find("mode=stall") == std::string::npos;
  };
  const FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the download was cancelled");
  EXPECT_FALSE(FileExists(temp_path_));

  request.progress = [](const DownloadProgress&) { return false; };  // before anything arrived
  SetMode("ok");
  const FetchResult early = FetchLogbook(request);
  EXPECT_FALSE(early.ok());
  EXPECT_EQ(early.reason, "the download was cancelled");
  EXPECT_FALSE(FileExists(temp_path_));
}

TEST_F(DownloadTest, ExistingFileIsEmptiedAndMadePrivate) {
  WriteFile(temp_path_, std::string(10000, 'x'));  // longer than the reply
  ASSERT_EQ(::chmod(temp_path_.c_str(), 0644), 0);
  SetLogbook("<call:4>W1AW<eor>");
  const FetchResult result = FetchLogbook(Request());
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_EQ(ReadFile(temp_path_), "COUNT=1&ADIF=&lt;call:4&gt;W1AW\n&lt;eor&gt;\n&RESULT=OK");
  EXPECT_EQ(test::FileMode(temp_path_), 0600);
}

TEST_F(DownloadTest, SymbolicLinkIsNotWrittenThrough) {
  SetLogbook("<call:4>W1AW<eor>");
  const std::string victim = dir_.Join("victim");
  WriteFile(victim, "precious");
  ASSERT_EQ(::symlink(victim.c_str(), temp_path_.c_str()), 0);
  FetchResult result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file is a symbolic link: " + temp_path_);
  EXPECT_EQ(ReadFile(victim), "precious");
  struct stat status;
  EXPECT_EQ(::lstat(temp_path_.c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));  // left for the operator to look at

  // A dangling link does not make its target come into being.
  const std::string absent = dir_.Join("absent");
  ASSERT_EQ(::unlink(temp_path_.c_str()), 0);
  ASSERT_EQ(::symlink(absent.c_str(), temp_path_.c_str()), 0);
  result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_FALSE(FileExists(absent));
  EXPECT_EQ(RequestLog(), "");  // nothing was asked of the service
}

TEST_F(DownloadTest, FifoDoesNotHang) {
  SetLogbook("<call:4>W1AW<eor>");
  ASSERT_EQ(::mkfifo(temp_path_.c_str(), 0600), 0);
  FetchResult result = FetchLogbook(Request());  // no reader: the open fails at once
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file is not a regular file: " + temp_path_);

  // With a reader the open succeeds, and the check after it refuses the FIFO.
  const int reader = ::open(temp_path_.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  result = FetchLogbook(Request());
  char byte;
  const ssize_t read_bytes = ::read(reader, &byte, 1);
  ::close(reader);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file is not a regular file: " + temp_path_);
  EXPECT_LE(read_bytes, 0);  // nothing was written into it
  EXPECT_TRUE(FileExists(temp_path_));
}

TEST_F(DownloadTest, OtherThingsAtTheNameAreRefused) {
  SetLogbook("<call:4>W1AW<eor>");
  // A folder.
  ASSERT_EQ(::mkdir(temp_path_.c_str(), 0700), 0);
  FetchResult result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file is not a regular file: " + temp_path_);
  ASSERT_EQ(::rmdir(temp_path_.c_str()), 0);

  // A second name of another file.
  const std::string other = dir_.Join("other");
  WriteFile(other, "precious");
  ASSERT_EQ(::link(other.c_str(), temp_path_.c_str()), 0);
  result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file has other names (hard links): " + temp_path_);
  EXPECT_EQ(ReadFile(other), "precious");
  ASSERT_EQ(::unlink(temp_path_.c_str()), 0);

  // A folder that does not exist.
  FetchRequest request = Request();
  request.temp_path = dir_.Join("missing/QRZ_LogBook.tmp");
  result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason,
            "cannot open the temporary file " + request.temp_path + ": No such file or directory");
  EXPECT_EQ(RequestLog(), "");
}

}  // namespace
}  // namespace logbook
