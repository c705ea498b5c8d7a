// What the download contract (src/https/download_test.cc) needs on every platform: the test
// logbook service of logbook_service.h, what the platform's HTTPS client does its own way,
// and a request with its body kept.
#ifndef STATEKEEPER_TESTS_DOWNLOAD_SERVICE_H_
#define STATEKEEPER_TESTS_DOWNLOAD_SERVICE_H_

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "https/download.h"
#include "logbook_service.h"
#include "test_util.h"

namespace test {

// Whether the client asks for a compressed reply every time (libcurl; WinHTTP only where the
// system can decompress one, not under wine), and whether it may report an untrusted
// certificate only as a failed secure channel (wine's WinHTTP).
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
    if (!service_.ok()) {
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
  LogbookService service_;
  const ClientTraits client_ = DescribeClient();
};

}  // namespace test

#endif  // STATEKEEPER_TESTS_DOWNLOAD_SERVICE_H_
