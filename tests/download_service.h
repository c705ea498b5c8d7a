// What the download contract (src/https/download_test.cc) runs against on every platform:
// the test logbook service (tools/fake_logbook.py, HTTPS on 127.0.0.1 with a throwaway
// certificate authority), steered through the files of its state folder. Each platform
// provides it in download_service_posix.cc or download_service_windows.cc.
#ifndef STATEKEEPER_TESTS_DOWNLOAD_SERVICE_H_
#define STATEKEEPER_TESTS_DOWNLOAD_SERVICE_H_

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "https/download.h"
#include "test_util.h"

namespace test {

// The test logbook service for one test. On POSIX each test starts its own; on Windows
// (under wine too) it is the one the test run started, named by
// STATEKEEPER_TEST_SERVICE_DIR, whose authority is in the system's store.
class DownloadService {
 public:
  DownloadService();
  ~DownloadService();

  // Why the tests that need the service cannot run ("" when they can), and whether they
  // fail for it (it should run and does not) or skip.
  const std::string& missing() const { return missing_; }
  bool must_run() const { return must_run_; }
  // The API address by the name the certificate holds, and the self-signed listener's.
  std::string endpoint() const { return "https://" + host_ + ":" + port_ + "/api"; }
  std::string untrusted_place() const { return host_ + ":" + untrusted_port_; }
  const std::string& port() const { return port_; }
  // The authority to trust for endpoint(), or "" where it is in the system's store.
  const std::string& ca_file() const { return ca_file_; }

  // How the next requests are answered ("ok", "fail500", "cut", "stall 3" ...), the key it
  // takes and the ADIF records it serves; the body of its last answer and its request log
  // (one line a request: method, address, form body, type, connection, how answered).
  void SetMode(const std::string& mode) const { WriteFile(Path("mode"), mode); }
  void SetKey(const std::string& key) const { WriteFile(Path("key"), key); }
  void SetLogbook(const std::string& adif) const { WriteFile(Path("logbook.adi"), adif); }
  std::string LastReply() const { return ReadFile(Path("last_reply")).value_or(""); }
  std::string RequestLog() const { return ReadFile(Path("requests.log")).value_or(""); }
  void ClearLog() const { std::remove(Path("requests.log").c_str()); }

 private:
  struct Process;  // the service this object started, where it starts one

  std::string Path(const std::string& name) const { return state_dir_ + "/" + name; }

  std::unique_ptr<Process> process_;
  std::string missing_ = "STATEKEEPER_TEST_SERVICE_DIR names no running service";
  bool must_run_ = false;
  std::string state_dir_;
  std::string host_ = "127.0.0.1";
  std::string port_;
  std::string untrusted_port_;
  std::string ca_file_;
};

// What this platform's HTTPS client does its own way: whether it asks for a compressed
// reply every time (libcurl; WinHTTP only where the system can decompress one, not under
// wine), and whether it may report an untrusted certificate only as a failed secure
// channel (wine's WinHTTP).
struct ClientTraits {
  bool always_compresses = true;
  bool may_hide_certificate = false;
};
ClientTraits DescribeClient();

// Runs every test, with the service's authority trusted for the run where this platform
// needs that done from here (under wine: in the prefix's own store). Returns
// RUN_ALL_TESTS()'s result, or 1 when the authority could not be trusted.
int RunDownloadTests();

// A request's outcome and the body it handed on.
struct Reply {
  https::FetchResult result;
  std::string body;
};

// Sends `request` to `service` on `session` (a new one when null); unless the request has
// a take_body of its own, the body is kept in the Reply.
Reply Fetch(const https::Service& service, https::ReplyRequest request = {},
            https::FetchSession* session = nullptr);

// The tests of requests to the running service, whose certificate is trusted.
class DownloadTest : public ::testing::Test {
 protected:
  static constexpr char kKey[] = "SECRET-KEY-4711";

  void SetUp() override {
    if (!service_.missing().empty()) {
      if (service_.must_run()) FAIL() << service_.missing();
      GTEST_SKIP() << service_.missing();
    }
    service_.SetMode("ok");
    service_.SetKey(kKey);
    service_.ClearLog();
  }

  // The service with `key` and a stall limit of `stall_seconds`.
  https::Service MakeService(std::string key = kKey, int stall_seconds = 60) const {
    return {service_.endpoint(), service_.ca_file(), std::move(key), stall_seconds};
  }

  // The environment may name a proxy; the service is reached directly.
  ScopedEnv no_proxy_{"no_proxy", "127.0.0.1,localhost"};
  ScopedEnv no_proxy_upper_{"NO_PROXY", "127.0.0.1,localhost"};
  DownloadService service_;
  const ClientTraits client_ = DescribeClient();
};

}  // namespace test

#endif  // STATEKEEPER_TESTS_DOWNLOAD_SERVICE_H_
