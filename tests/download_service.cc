#include "download_service.h"

#include <cstdio>

namespace test {

void DownloadService::ClearLog() const { std::remove(Path("requests.log").c_str()); }

Reply Fetch(const https::Service& service, https::ReplyRequest request,
            https::FetchSession* session) {
  Reply reply;
  if (!request.take_body) {
    request.take_body = [&reply](std::string_view piece) {
      reply.body.append(piece);
      return std::string();
    };
  }
  https::FetchSession own;
  reply.result = https::FetchReply(session != nullptr ? *session : own, service, request);
  return reply;
}

void DownloadTest::SetUp() {
  switch (service_.availability()) {
    case DownloadService::Availability::kRunning:
      break;
    case DownloadService::Availability::kBroken:
      FAIL() << "the test logbook service did not start";
    case DownloadService::Availability::kAbsent:
      GTEST_SKIP() << "STATEKEEPER_TEST_SERVICE_DIR names no running service";
  }
  if (!service_.trusted()) GTEST_SKIP() << "the test authority is not trusted";
  service_.SetMode("ok");
  service_.SetKey(kKey);
  service_.ClearLog();
}

}  // namespace test
