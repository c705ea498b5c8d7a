// The download on Windows beyond the shared contract (download_test.cc): WinHTTP trusts only
// the system's store and refuses a file of authorities before connecting, and the Temporary
// download file is never written through a link or into a device.

// <windows.h> comes first.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "download_service.h"
#include "logbook/fetch_logbook.h"
#include "test_util.h"

namespace logbook {
namespace {

using https::FetchResult;
using test::FetchLogbook;
using test::FetchRequest;

using test::DownloadTest;
using test::FileExists;
using test::ReadFile;
using test::ScopedTempDir;
using test::WriteFile;

TEST(FetchLogbookTest, AuthorityFileIsRefusedWithoutConnecting) {
  ScopedTempDir dir;
  FetchRequest request;
  request.service.endpoint = "https://127.0.0.1:1/api";
  request.service.ca_file = dir.Join("ca.pem");
  request.service.api_key = "SECRET-KEY-4711";
  request.temp_path = dir.Join("QRZ_LogBook.tmp");
  const FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "a file of certificate authorities is not used on Windows (" +
                               request.service.ca_file +
                               "); the authority must be in the system's store");
  EXPECT_FALSE(FileExists(request.temp_path));
}

TEST_F(DownloadTest, SecondNameOfAnotherFileIsRefused) {
  const std::string other = dir_.Join("other");
  WriteFile(other, "precious");
  if (!::CreateHardLinkA(temp_path_.c_str(), other.c_str(), nullptr)) {
    GTEST_SKIP() << "no hard links here (error " << ::GetLastError() << ")";
  }
  const FetchResult result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file has other names (hard links): " + temp_path_);
  EXPECT_EQ(ReadFile(other), "precious");
  EXPECT_EQ(service_.RequestLog(), "");
}

TEST_F(DownloadTest, SymbolicLinkIsNotWrittenThrough) {
  const std::string victim = dir_.Join("victim");
  WriteFile(victim, "precious");
  if (!::CreateSymbolicLinkA(temp_path_.c_str(), victim.c_str(),
                             SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
    GTEST_SKIP() << "cannot make a symbolic link here (error " << ::GetLastError() << ")";
  }
  // Wine 8 reports success and makes nothing.
  if (const DWORD attributes = ::GetFileAttributesA(temp_path_.c_str());
      attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "no symbolic link was made here";
  }
  const FetchResult result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file is a symbolic link: " + temp_path_);
  EXPECT_EQ(ReadFile(victim), "precious");
  EXPECT_NE(::GetFileAttributesA(temp_path_.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_EQ(service_.RequestLog(), "");
}

TEST_F(DownloadTest, DeviceNameIsRefused) {
  FetchRequest request = Request();
  request.temp_path = "NUL";
  const FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file is not a regular file: NUL");
}

}  // namespace
}  // namespace logbook
