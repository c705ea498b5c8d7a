// The download over WinHTTP and the Temporary download file on Windows.
//
// The tests that talk to the test logbook service (tools/fake_logbook.py) need it started
// beforehand, its state folder named by STATEKEEPER_TEST_SERVICE_DIR (a Windows path; under
// wine the Linux folder as Z:\...). WinHTTP trusts only the system's certificate store, so
// the service's test authority must be in it: under wine this binary adds it to the wine
// prefix's own store before the first connection and removes it at the end; on Windows
// the good-path tests run only when STATEKEEPER_TEST_CA_TRUSTED=1 says the authority was
// put there by hand (adding it from here would ask the operator to confirm).

// <winsock2.h> must come before <windows.h>.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "logbook/fetch_logbook.h"
#include "logbook/logbook_pages.h"
#include "test_util.h"
#include "windows/trusted_authority.h"

namespace logbook {
namespace {

constexpr char kKey[] = "SECRET-KEY-4711";

using test::FileExists;
using test::ReadFile;
using test::ScopedTempDir;
using test::WriteFile;

// ---- the test logbook service -----------------------------------------------------------

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string EnvValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The service started for this run, steered through the files of its state folder.
class Service {
 public:
  static const Service& Get() {
    static const Service service;
    return service;
  }
  bool ok() const { return !port_.empty(); }
  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }
  std::string endpoint() const { return "https://localhost:" + port_ + "/api"; }
  std::string ip_endpoint() const { return "https://127.0.0.1:" + port_ + "/api"; }
  const std::string& untrusted_port() const { return untrusted_port_; }
  std::string untrusted_endpoint() const { return "https://localhost:" + untrusted_port_ + "/api"; }

  void SetMode(const std::string& mode) const { WriteFile(Path("mode"), mode); }
  void SetKey(const std::string& key) const { WriteFile(Path("key"), key); }
  void SetLogbook(const std::string& adif) const { WriteFile(Path("logbook.adi"), adif); }
  std::string LastReply() const { return ReadFile(Path("last_reply")).value_or(""); }
  std::string RequestLog() const { return ReadFile(Path("requests.log")).value_or(""); }
  // Starts a new request log, so that a test sees only its own requests.
  void ClearLog() const { ::DeleteFileA(Path("requests.log").c_str()); }

 private:
  Service() : dir_(EnvValue("STATEKEEPER_TEST_SERVICE_DIR")) {
    if (dir_.empty()) return;
    port_ = Trimmed(ReadFile(Path("port")).value_or(""));
    untrusted_port_ = Trimmed(ReadFile(Path("untrusted_port")).value_or(""));
  }

  std::string dir_;
  std::string port_;
  std::string untrusted_port_;
};

bool UnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool g_authority_trusted = false;  // set by main() before the first test

// The reason must never give the key away, in any of the forms it travels in.
void ExpectNoKey(const std::string& reason, const std::string& key) {
  EXPECT_EQ(reason.find(key), std::string::npos) << reason;
  const std::string encoded = RequestAddress("", key).substr(5);  // past "?KEY="
  EXPECT_EQ(reason.find(encoded.substr(0, encoded.size() - 13)), std::string::npos) << reason;
}

// A port on 127.0.0.1 where nothing listens (it was free a moment ago).
int UnusedPort() {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  const bool bound = s != INVALID_SOCKET &&
                     ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  if (s != INVALID_SOCKET) ::closesocket(s);
  ::WSACleanup();
  return bound ? ntohs(address.sin_port) : 1;
}

// ---- without the service ----------------------------------------------------------------

TEST(FetchLogbookTest, RefusesAddressesThatAreNotHttps) {
  ScopedTempDir dir;
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
  ScopedTempDir dir;
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

TEST(FetchLogbookTest, AuthorityFileIsRefusedWithoutConnecting) {
  ScopedTempDir dir;
  FetchRequest request;
  request.endpoint = "https://127.0.0.1:1/api";
  request.ca_file = dir.Join("ca.pem");
  request.api_key = kKey;
  request.temp_path = dir.Join("QRZ_LogBook.tmp");
  const FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "a file of certificate authorities is not used on Windows (" +
                               request.ca_file + "); the authority must be in the system's store");
  EXPECT_FALSE(FileExists(request.temp_path));
}

// ---- against the service ----------------------------------------------------------------

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!service_.ok()) GTEST_SKIP() << "STATEKEEPER_TEST_SERVICE_DIR names no running service";
    service_.SetMode("ok");
    service_.SetKey(kKey);
    service_.ClearLog();
  }

  void RequireTrust() const {
    if (!g_authority_trusted) GTEST_SKIP() << "the test authority is not trusted";
  }

  FetchRequest Request(std::string key = kKey) const {
    FetchRequest request;
    request.endpoint = service_.endpoint();
    request.api_key = std::move(key);
    request.temp_path = temp_path_;
    return request;
  }

  const Service& service_ = Service::Get();
  ScopedTempDir dir_;
  const std::string temp_path_ = dir_.Join("QRZ_LogBook.tmp");
};

TEST_F(DownloadTest, GoodReplyLandsInTheFileByteForByte) {
  RequireTrust();
  service_.SetLogbook(
      "header<eoh>\n"
      "<CALL:4>W1AW<band:3>20m<app_qrzlog_status:1>C<eor>\n"
      "<call:5>K1ABC<country:13>United States<state:2>ma<eor>\n");
  WriteFile(temp_path_, std::string(10000, 'x'));  // longer than the reply
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
  const std::string log = service_.RequestLog();
  EXPECT_NE(log.find("GET /api query=KEY,ACTION key=matched action=FETCH"), std::string::npos)
      << log;
  EXPECT_NE(log.find("agent=Statekeeper/" STATEKEEPER_VERSION " "), std::string::npos) << log;
  EXPECT_EQ(log.find(kKey), std::string::npos) << log;
}

// WinHTTP asks for a compressed reply and decompresses it where it can (Windows 8.1 and
// later); wine's WinHTTP has no such option and asks for none.
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

TEST_F(DownloadTest, ACompressedReplyLandsByteForByte) {
  RequireTrust();
  service_.SetLogbook(NumberedLogbook(500));
  const FetchResult result = FetchLogbook(Request());
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_TRUE(ReadFile(temp_path_) == service_.LastReply());
  if (service_.RequestLog().find("encoding=gzip") == std::string::npos) {
    GTEST_SKIP() << "this WinHTTP asked for no compressed reply";
  }
}

// A 5xx answer to the whole logbook is followed by the pages, joined into one reply.
TEST_F(DownloadTest, ALargeLogbookComesPageByPageWhenTheWholeFails) {
  RequireTrust();
  service_.SetLogbook(NumberedLogbook(4500));
  ASSERT_TRUE(FetchLogbook(Request()).ok());
  const std::string single = service_.LastReply();
  service_.ClearLog();
  service_.SetMode("whole_504");
  const FetchResult result = FetchLogbook(Request());
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_TRUE(ReadFile(temp_path_) == DecodeReply(single));
  const std::string log = service_.RequestLog();
  EXPECT_NE(log.find("option=MAX:2000,AFTERLOGID:0 "), std::string::npos) << log;
  EXPECT_NE(log.find("option=MAX:2000,AFTERLOGID:" + std::to_string(500000 + 3 * 3999 + 1)),
            std::string::npos)
      << log;
}

TEST_F(DownloadTest, LargeLogbookArrivesWhole) {
  RequireTrust();
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
  EXPECT_TRUE(reply == service_.LastReply());
}

TEST_F(DownloadTest, KeyWithSpecialCharactersReachesTheServiceWhole) {
  RequireTrust();
  const std::string key = "A&B #C+D%E=F?G";
  service_.SetKey(key);
  service_.SetLogbook("<call:4>W1AW<eor>");
  const FetchResult result = FetchLogbook(Request(key));
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_EQ(ReadFile(temp_path_), "COUNT=1&ADIF=&lt;call:4&gt;W1AW\n&lt;eor&gt;\n&RESULT=OK");
  EXPECT_NE(service_.RequestLog().find("query=KEY,ACTION key=matched action=FETCH"),
            std::string::npos)
      << service_.RequestLog();
}

TEST_F(DownloadTest, FaultsFailWithAReasonAndLeaveNoFile) {
  RequireTrust();
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
  EXPECT_EQ(service_.RequestLog().find(key), std::string::npos);
}

// The service redirects to https://127.0.0.1:PORT. Wine's certificate check does not match
// an IP address against the certificate's names, so there the redirected request is
// refused for its certificate; Windows follows it to the end.
TEST_F(DownloadTest, RedirectToHttpsIsFollowed) {
  RequireTrust();
  service_.SetMode("redirect");
  service_.SetLogbook("<call:4>W1AW<eor>");
  const FetchResult result = FetchLogbook(Request());
  if (UnderWine()) {
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.reason.starts_with("the logbook service's certificate was not trusted") ||
                result.reason.starts_with("the secure connection to the logbook service failed "
                                          "(127.0.0.1:"))
        << result.reason;
    return;
  }
  ASSERT_TRUE(result.ok()) << result.reason;
  EXPECT_EQ(ReadFile(temp_path_), "COUNT=1&ADIF=&lt;call:4&gt;W1AW\n&lt;eor&gt;\n&RESULT=OK");
  EXPECT_NE(service_.RequestLog().find("GET /redirected "), std::string::npos)
      << service_.RequestLog();
}

TEST_F(DownloadTest, RedirectLoopIsCut) {
  RequireTrust();
  if (UnderWine()) GTEST_SKIP() << "the loop goes through 127.0.0.1, refused under wine";
  service_.SetMode("redirect_loop");
  const FetchResult result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the logbook service redirected too many times");
  EXPECT_FALSE(FileExists(temp_path_));
}

TEST_F(DownloadTest, UntrustedCertificateIsRefused) {
  service_.SetLogbook("<call:4>W1AW<eor>");
  FetchRequest request = Request();
  request.endpoint = service_.untrusted_endpoint();
  WriteFile(temp_path_, "an earlier download");
  const FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  // Wine reports the refusal only as a failed secure channel, without the certificate.
  if (UnderWine() && result.reason.starts_with("the secure connection")) {
    EXPECT_EQ(result.reason, "the secure connection to the logbook service failed (localhost:" +
                                 service_.untrusted_port() + ")");
  } else {
    EXPECT_EQ(result.reason,
              "the logbook service's certificate was not trusted (self-signed certificate)");
  }
  EXPECT_FALSE(FileExists(temp_path_));
  EXPECT_EQ(service_.RequestLog(), "");  // the key was never sent
}

TEST_F(DownloadTest, StalledBodyIsGivenUp) {
  RequireTrust();
  service_.SetMode("stall 40");
  service_.SetLogbook("<call:4>W1AW<eor>\n<call:4>K1AB<eor>\n");
  FetchRequest request = Request();
  request.stall_seconds = 1;
  const auto start = std::chrono::steady_clock::now();
  const FetchResult result = FetchLogbook(request);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the download stalled");
  EXPECT_FALSE(FileExists(temp_path_));
}

TEST_F(DownloadTest, CancelledTransferStops) {
  RequireTrust();
  service_.SetMode("stall 40");
  service_.SetLogbook("<call:4>W1AW<eor>\n<call:4>K1AB<eor>\n");
  FetchRequest request = Request();
  // Cancelled once the service has been asked, i.e. in the middle of the stalled body.
  request.progress = [this](const DownloadProgress&) {
    return service_.RequestLog().find("mode=stall") == std::string::npos;
  };
  const auto start = std::chrono::steady_clock::now();
  const FetchResult result = FetchLogbook(request);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the download was cancelled");
  EXPECT_FALSE(FileExists(temp_path_));

  service_.ClearLog();
  service_.SetMode("ok");
  request.progress = [](const DownloadProgress&) { return false; };  // before anything arrived
  const FetchResult early = FetchLogbook(request);
  EXPECT_FALSE(early.ok());
  EXPECT_EQ(early.reason, "the download was cancelled");
  EXPECT_FALSE(FileExists(temp_path_));
  EXPECT_EQ(service_.RequestLog(), "");
}

// ---- the Temporary download file --------------------------------------------------------

TEST_F(DownloadTest, FolderAtTheNameIsRefused) {
  ASSERT_TRUE(::CreateDirectoryA(temp_path_.c_str(), nullptr));
  const FetchResult result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file is not a regular file: " + temp_path_);
  EXPECT_EQ(service_.RequestLog(), "");
}

TEST_F(DownloadTest, SecondNameOfAnotherFileIsRefused) {
  const std::string other = dir_.Join("other");
  WriteFile(other, "precious");
  if (!::CreateHardLinkA(temp_path_.c_str(), other.c_str(), nullptr)) {
    GTEST_SKIP() << "no hard links here (error " << ::GetLastError() << ")";
  }
  const FetchResult result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file has other names (hard links): " + temp_path_);
  EXPECT_EQ(ReadFile(other), "precious");
  EXPECT_EQ(service_.RequestLog(), "");
}

TEST_F(DownloadTest, SymbolicLinkIsNotWrittenThrough) {
  const std::string victim = dir_.Join("victim");
  WriteFile(victim, "precious");
  if (!::CreateSymbolicLinkA(temp_path_.c_str(), victim.c_str(),
                             SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
    GTEST_SKIP() << "cannot make a symbolic link here (error " << ::GetLastError() << ")";
  }
  // Wine 8 reports success and makes nothing.
  if (const DWORD attributes = ::GetFileAttributesA(temp_path_.c_str());
      attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "no symbolic link was made here";
  }
  const FetchResult result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file is a symbolic link: " + temp_path_);
  EXPECT_EQ(ReadFile(victim), "precious");
  EXPECT_NE(::GetFileAttributesA(temp_path_.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_EQ(service_.RequestLog(), "");
}

TEST_F(DownloadTest, DeviceNameIsRefused) {
  FetchRequest request = Request();
  request.temp_path = "NUL";
  const FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file is not a regular file: NUL");
}

TEST_F(DownloadTest, MissingFolderIsNamed) {
  FetchRequest request = Request();
  request.temp_path = dir_.Join("missing\\QRZ_LogBook.tmp");
  const FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_TRUE(
      result.reason.starts_with("cannot open the temporary file " + request.temp_path + ": "))
      << result.reason;
  EXPECT_EQ(service_.RequestLog(), "");
}

}  // namespace
}  // namespace logbook

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  using logbook::Service;
  if (Service::Get().ok()) {
    if (logbook::EnvValue("STATEKEEPER_TEST_CA_TRUSTED") == "1") {
      logbook::g_authority_trusted = true;
    } else if (logbook::UnderWine()) {
      // Into the wine prefix's own store before the first secure connection, out again at
      // the end.
      const test::TrustedAuthority authority(Service::Get().Path("ca.pem"));
      if (!authority.ok()) {
        std::fprintf(stderr, "cannot put the test authority into the wine prefix's store\n");
        return 1;
      }
      logbook::g_authority_trusted = true;
      return RUN_ALL_TESTS();
    }
  }
  return RUN_ALL_TESTS();
}
