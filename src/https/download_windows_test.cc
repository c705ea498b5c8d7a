// The download over WinHTTP beyond the shared contract (download_test.cc): it trusts only
// the system's store and refuses a file of authorities before connecting.
#include <gtest/gtest.h>

#include <string>

#include "download_service.h"

namespace https {
namespace {

TEST(FetchReplyTest, AuthorityFileIsRefusedWithoutConnecting) {
  const FetchResult result = test::Fetch({"https://127.0.0.1:1/api", "C:\\ca.pem", "KEY"}).result;
  EXPECT_EQ(result.reason,
            "a file of certificate authorities is not used on Windows (C:\\ca.pem); the "
            "authority must be in the system's store");
}

}  // namespace
}  // namespace https
