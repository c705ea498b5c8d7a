// The download over libcurl beyond the shared contract (download_test.cc): it trusts the
// authorities of a file instead of the system's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download_service.h"

namespace https {
namespace {

using test::DownloadTest;
using test::Fetch;

TEST_F(DownloadTest, OnlyTheNamedAuthoritiesAreTrusted) {
  const std::string localhost = "https://localhost:" + service_.port() + "/api";
  const std::string missing = service_.ca_file() + ".missing";
  struct Row {
    Service service;
    std::string reason;  // "" when the request succeeds
  };
  const std::vector<Row> rows = {
      {{service_.endpoint(), "", kKey}, "the logbook service's certificate was not trusted"},
      {{service_.endpoint(), missing, kKey},
       "cannot read the certificate authorities in " + missing},
      {{localhost, service_.ca_file(), kKey}, ""},  // the certificate holds both names
  };
  for (const Row& row : rows) {
    const FetchResult result = Fetch(row.service).result;
    EXPECT_EQ(result.ok(), row.reason.empty()) << result.reason;
    EXPECT_TRUE(result.reason.starts_with(row.reason)) << result.reason;
  }
}

}  // namespace
}  // namespace https
