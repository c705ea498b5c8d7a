#include "download_service.h"

#include <cstdio>

namespace test {

void DownloadService::SetMode(const std::string& mode) const { WriteFile(Path("mode"), mode); }
void DownloadService::SetKey(const std::string& key) const { WriteFile(Path("key"), key); }
void DownloadService::SetLogbook(const std::string& adif) const {
  WriteFile(Path("logbook.adi"), adif);
}
std::string DownloadService::LastReply() const { return ReadFile(Path("last_reply")).value_or(""); }
std::string DownloadService::RequestLog() const {
  return ReadFile(Path("requests.log")).value_or("");
}
void DownloadService::ClearLog() const { std::remove(Path("requests.log").c_str()); }

void DownloadTest::SetUp() {
  switch (service_.availability()) {
    case DownloadService::Availability::kRunning:
      break;
    case DownloadService::Availability::kBroken:
      FAIL() << "the test logbook service did not start";
    case DownloadService::Availability::kAbsent:
      GTEST_SKIP() << "STATEKEEPER_TEST_SERVICE_DIR names no running service";
  }
  service_.SetMode("ok");
  service_.SetKey(kKey);
  service_.ClearLog();
}

FetchRequest DownloadTest::Request(std::string key) const {
  FetchRequest request;
  request.service = {service_.endpoint(), service_.ca_file(), std::move(key)};
  request.temp_path = temp_path_;
  return request;
}

https::FetchResult FetchLogbook(const FetchRequest& request) {
  return logbook::FetchLogbook(request.service, request.temp_path, request.progress);
}

void ExpectNoKey(const std::string& reason, const std::string& key) {
  EXPECT_EQ(reason.find(key), std::string::npos) << reason;
  const std::string encoded = https::PercentEncode(key);
  EXPECT_EQ(reason.find(encoded), std::string::npos) << reason;
}

}  // namespace test
