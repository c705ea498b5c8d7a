// The Temporary download file on Windows is refused before anything is asked of the service
// when its name is another file's or a device's. (Wine makes no symbolic links.)

// <windows.h> comes first.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>

#include "logbook/fetch_logbook.h"
#include "test_util.h"

namespace logbook {
namespace {

TEST(TemporaryFileTest, IsNeverWrittenThroughAnotherName) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join(std::string(kTemporaryFileName));
  const std::string other = dir.Join("other");
  test::WriteFile(other, "precious");
  ASSERT_NE(::CreateHardLinkA(path.c_str(), other.c_str(), nullptr), 0) << ::GetLastError();
  for (const auto& [name, reason] :
       {std::pair{path, "the temporary file has other names (hard links): " + path},
        {std::string("NUL"), std::string("the temporary file is not a regular file: NUL")}}) {
    EXPECT_EQ(FetchLogbook({"https://127.0.0.1:1/api", "", "KEY"}, name, {}).reason, reason);
    EXPECT_EQ(test::ReadFile(other), "precious") << reason;
  }
}

}  // namespace
}  // namespace logbook
