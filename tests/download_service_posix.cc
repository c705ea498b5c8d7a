// The download tests' service on POSIX: a test logbook service of each test's own, trusted
// through its authority's file, and libcurl's ways.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "download_service.h"
#include "logbook_service.h"

namespace test {

struct DownloadService::Process {
  LogbookService service;
};

DownloadService::DownloadService() : process_(new Process) {
  const LogbookService& service = process_->service;
  if (!service.ok()) {
    availability_ = Availability::kBroken;
    return;
  }
  availability_ = Availability::kRunning;
  state_dir_ = service.state_dir();
  port_ = service.port();
  untrusted_port_ = service.untrusted_port();
  ca_file_ = service.ca_file();
  trusted_ = true;
}

DownloadService::~DownloadService() = default;

ClientTraits DescribeClient() { return {}; }

int FindUnusedPort() {
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

int RunDownloadTests() { return RUN_ALL_TESTS(); }

}  // namespace test
