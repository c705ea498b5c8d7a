// The download tests' service on POSIX: a test logbook service of each test's own, trusted
// through its authority's file.
#include "download_service.h"
#include "logbook_service.h"

namespace test {

struct DownloadService::Process {
  LogbookService service;
};

DownloadService::DownloadService() : process_(new Process), must_run_(true) {
  const LogbookService& service = process_->service;
  missing_ = service.ok() ? "" : "the test logbook service did not start";
  state_dir_ = service.state_dir();
  port_ = service.port();
  untrusted_port_ = service.untrusted_port();
  ca_file_ = service.ca_file();
}

DownloadService::~DownloadService() = default;

ClientTraits DescribeClient() { return {}; }

int RunDownloadTests() { return RUN_ALL_TESTS(); }

}  // namespace test
