// The Temporary download file on Windows is refused before anything is asked of the
// service when its name is another file's, a symbolic link or a device.

// <windows.h> comes first.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "logbook/fetch_logbook.h"
#include "test_util.h"

namespace logbook {
namespace {

TEST(TemporaryFileTest, IsNeverWrittenThroughAnotherName) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join(std::string(kTemporaryFileName));
  const std::string other = dir.Join("other");
  struct Row {
    std::string what;
    std::string path;
    std::function<bool()> make;  // false when this system cannot make it
    std::string reason;
  };
  const std::vector<Row> rows = {
      {"hard link", path,
       [&] { return ::CreateHardLinkA(path.c_str(), other.c_str(), nullptr) != 0; },
       "the temporary file has other names (hard links): " + path},
      // Wine 8 reports success and makes nothing.
      {"symbolic link", path,
       [&] {
         ::CreateSymbolicLinkA(path.c_str(), other.c_str(),
                               SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
         const DWORD attributes = ::GetFileAttributesA(path.c_str());
         return attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
       },
       "the temporary file is a symbolic link: " + path},
      {"device", "NUL", [] { return true; }, "the temporary file is not a regular file: NUL"},
  };
  for (const Row& row : rows) {
    test::WriteFile(other, "precious");
    if (!row.make()) {
      std::printf("no %s here (error %lu)\n", row.what.c_str(), ::GetLastError());
      continue;
    }
    const https::FetchResult result =
        FetchLogbook({"https://127.0.0.1:1/api", "", "KEY"}, row.path, {});
    EXPECT_EQ(result.reason, row.reason);
    EXPECT_EQ(test::ReadFile(other), "precious") << row.what;
    ::DeleteFileA(path.c_str());
  }
}

}  // namespace
}  // namespace logbook
