// libcurl compresses every reply and names an untrusted certificate; the service's
// authority is trusted through its file.
#include <gtest/gtest.h>

#include "download_service.h"

namespace test {

ClientTraits DescribeClient() { return {}; }

int RunDownloadTests() { return RUN_ALL_TESTS(); }

}  // namespace test
