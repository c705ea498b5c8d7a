// The Temporary download file on Windows is refused before anything is asked of the service
// when its name is another file's or a device. (Wine makes no symbolic links.)

// <windows.h> comes first.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "logbook/fetch_logbook.h"
#include "test_util.h"

namespace logbook {
namespace {

TEST(TemporaryFileTest, IsNeverWrittenThroughAnotherName) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join(std::string(kTemporaryFileName));
  const std::string other = dir.Join("other");
  // The name, how it is made (false when this system cannot make it), and the reason.
  const std::vector<std::tuple<std::string, std::function<bool()>, std::string>> rows = {
      {path, [&] { return ::CreateHardLinkA(path.c_str(), other.c_str(), nullptr) != 0; },
       "the temporary file has other names (hard links): " + path},
      {"NUL", [] { return true; }, "the temporary file is not a regular file: NUL"},
  };
  for (const auto& [name, make, reason] : rows) {
    test::WriteFile(other, "precious");
    if (!make()) {
      std::printf("cannot make %s here (error %lu)\n", reason.c_str(), ::GetLastError());
      continue;
    }
    EXPECT_EQ(FetchLogbook({"https://127.0.0.1:1/api", "", "KEY"}, name, {}).reason, reason);
    EXPECT_EQ(test::ReadFile(other), "precious") << reason;
    ::DeleteFileA(path.c_str());
  }
}

}  // namespace
}  // namespace logbook
