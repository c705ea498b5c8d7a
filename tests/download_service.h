// What the download tests run against on every platform: the test logbook service
// (tools/fake_logbook.py, HTTPS on 127.0.0.1 with a throwaway certificate authority),
// steered through the files of its state folder, and the few things the platforms' HTTPS
// clients do each their own way. The contract of FetchReply is written once over these
// (src/https/download_test.cc); each platform provides them in download_service_posix.cc
// or download_service_windows.cc.
#ifndef STATEKEEPER_TESTS_DOWNLOAD_SERVICE_H_
#define STATEKEEPER_TESTS_DOWNLOAD_SERVICE_H_

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "logbook/fetch_logbook.h"
#include "test_util.h"

namespace test {

// The test logbook service for one test. On POSIX each one starts a service of its own in
// a state folder of its own, so that a test can steer it freely while other tests run in
// parallel; on Windows (under wine too) it is the service that the test run started, named
// by STATEKEEPER_TEST_SERVICE_DIR, whose authority is in the system's store.
class DownloadService {
 public:
  enum class Availability {
    kRunning,
    kBroken,  // it should run and does not: the tests that need it fail
    kAbsent,  // this run has none: the tests that need it skip
  };

  DownloadService();
  ~DownloadService();
  DownloadService(const DownloadService&) = delete;
  DownloadService& operator=(const DownloadService&) = delete;

  Availability availability() const { return availability_; }
  // The API address by the name that the service's certificate holds, e.g.
  // "https://127.0.0.1:4711/api", and the same service with a self-signed certificate.
  std::string endpoint() const { return "https://" + host_ + ":" + port_ + "/api"; }
  std::string untrusted_endpoint() const {
    return "https://" + host_ + ":" + untrusted_port_ + "/api";
  }
  // The port of endpoint(), which the service also answers by the name localhost.
  const std::string& port() const { return port_; }
  // The host and port of the untrusted endpoint, as a failure names them.
  std::string untrusted_place() const { return host_ + ":" + untrusted_port_; }
  // The authority to trust for endpoint(), or "" where it is in the system's store.
  const std::string& ca_file() const { return ca_file_; }
  // Whether the client trusts endpoint(): through ca_file(), or through the system's store
  // when the authority was put there.
  bool trusted() const { return trusted_; }

  // How the next requests are answered ("ok", "fail500", "cut", "stall 3" ...).
  void SetMode(const std::string& mode) const;
  void SetKey(const std::string& key) const;
  // The ADIF records to serve.
  void SetLogbook(const std::string& adif) const;
  // The body of the last answer, and the request log (one line a request: its method,
  // address, form body, content type, connection number and how it was answered).
  std::string LastReply() const;
  std::string RequestLog() const;
  // Starts a new request log, so that a test sees only its own requests.
  void ClearLog() const;

 private:
  struct Process;  // the service this object started, where it starts one

  std::string Path(const std::string& name) const { return state_dir_ + "/" + name; }

  std::unique_ptr<Process> process_;
  Availability availability_ = Availability::kAbsent;
  std::string state_dir_;
  std::string host_ = "127.0.0.1";
  std::string port_;
  std::string untrusted_port_;
  std::string ca_file_;
  bool trusted_ = false;
};

// What this platform's HTTPS client does its own way, as the shared tests expect it.
struct ClientTraits {
  // Asks for a compressed reply every time (libcurl), not only where the system can
  // decompress one (WinHTTP before Windows 8.1 and under wine cannot).
  bool always_compresses = true;
  // May report an untrusted certificate only as a failed secure channel (wine's WinHTTP).
  bool may_hide_certificate = false;
  // How long a download that stalls may take at most with a stall limit of 1 s, over both
  // of its tries, so that the client's own limit is told from a backstop of the system
  // that ends it with the same words (WinHTTP's receive time-out of 31 s); zero where the
  // words tell them apart (libcurl's limit stalls, the service ending the stall breaks off).
  std::chrono::seconds stall_bound{0};
  // The permission bits of a new Temporary download file; 0 where test::FileMode finds none.
  int private_file_mode = 0600;
  // The system's words that end the failure to open a file in a missing folder, or "" where
  // they vary.
  std::string missing_folder_error;
};

ClientTraits DescribeClient();

// Returns a port on 127.0.0.1 where nothing listens (it was free a moment ago).
int FindUnusedPort();

// Runs every test of the program, with the service's authority trusted for the run where
// this platform needs that done from here (under wine: in the prefix's own store, taken out
// again afterwards). Returns RUN_ALL_TESTS()'s result, or 1 when the authority could not be
// trusted.
int RunDownloadTests();

// What one download of the tests asks for: the service, the Temporary download file and
// the caller's progress check.
struct FetchRequest {
  https::Service service;
  std::string temp_path;
  logbook::ProgressCheck progress;
};

// Runs logbook::FetchLogbook with `request`.
https::FetchResult FetchLogbook(const FetchRequest& request);

// The tests of one download against the service, each with a Temporary download file path
// in a fresh folder. A test that needs the service's certificate trusted skips itself when
// it is not (on a Windows machine where no one put the authority into the store).
class DownloadTest : public ::testing::Test {
 protected:
  static constexpr char kKey[] = "SECRET-KEY-4711";

  void SetUp() override;

  // A request for the whole logbook with `key` into the Temporary download file.
  FetchRequest Request(std::string key = kKey) const;

  ScopedTempDir dir_;
  // The environment may name a proxy; the service is reached directly.
  ScopedEnv no_proxy_{"no_proxy", "127.0.0.1,localhost"};
  ScopedEnv no_proxy_upper_{"NO_PROXY", "127.0.0.1,localhost"};
  const std::string temp_path_ = dir_.Join("QRZ_LogBook.tmp");
  DownloadService service_;
  const ClientTraits client_ = DescribeClient();
};

// Why a test that needs the certificate trusted skips itself.
inline constexpr char kNotTrusted[] = "the test authority is not trusted";

// Expects that `reason` does not give the key away, in any of the forms it travels in.
void ExpectNoKey(const std::string& reason, const std::string& key);

}  // namespace test

#endif  // STATEKEEPER_TESTS_DOWNLOAD_SERVICE_H_
