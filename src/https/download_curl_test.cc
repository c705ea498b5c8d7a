// The download on POSIX beyond the shared contract (download_test.cc): libcurl trusts the
// authorities of a file instead of the system's, and the Temporary download file is kept
// private and never written through a symbolic link, a FIFO or another file's name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
using test::WriteFile;

TEST_F(DownloadTest, OnlyTheNamedAuthoritiesAreTrusted) {
  service_.SetLogbook("<call:4>W1AW<eor>");
  // The test authority is not among the system's: without it the good service is refused.
  FetchRequest request = Request();
  request.service.ca_file.clear();
  FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_TRUE(result.reason.starts_with("the logbook service's certificate was not trusted"))
      << result.reason;

  // The trusted certificate holds both of the service's names.
  request = Request();
  request.service.endpoint = "https://localhost:" + service_.port() + "/api";
  result = FetchLogbook(request);
  EXPECT_TRUE(result.ok()) << result.reason;
}

TEST_F(DownloadTest, MissingAuthorityFileIsNamed) {
  FetchRequest request = Request();
  request.service.ca_file = dir_.Join("no-such.pem");
  const FetchResult result = FetchLogbook(request);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "cannot read the certificate authorities in " + request.service.ca_file);
  EXPECT_FALSE(FileExists(temp_path_));
}

TEST_F(DownloadTest, SymbolicLinkIsNotWrittenThrough) {
  service_.SetLogbook("<call:4>W1AW<eor>");
  const std::string victim = dir_.Join("victim");
  WriteFile(victim, "precious");
  ASSERT_EQ(::symlink(victim.c_str(), temp_path_.c_str()), 0);
  FetchResult result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file is a symbolic link: " + temp_path_);
  EXPECT_EQ(ReadFile(victim), "precious");
  struct stat status;
  EXPECT_EQ(::lstat(temp_path_.c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));  // left for the operator to look at

  // A dangling link does not make its target come into being.
  const std::string absent = dir_.Join("absent");
  ASSERT_EQ(::unlink(temp_path_.c_str()), 0);
  ASSERT_EQ(::symlink(absent.c_str(), temp_path_.c_str()), 0);
  result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_FALSE(FileExists(absent));
  EXPECT_EQ(service_.RequestLog(), "");  // nothing was asked of the service
}

TEST_F(DownloadTest, FifoDoesNotHang) {
  service_.SetLogbook("<call:4>W1AW<eor>");
  ASSERT_EQ(::mkfifo(temp_path_.c_str(), 0600), 0);
  FetchResult result = FetchLogbook(Request());  // no reader: the open fails at once
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file is not a regular file: " + temp_path_);

  // With a reader the open succeeds, and the check after it refuses the FIFO.
  const int reader = ::open(temp_path_.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  result = FetchLogbook(Request());
  char byte;
  const ssize_t read_bytes = ::read(reader, &byte, 1);
  ::close(reader);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file is not a regular file: " + temp_path_);
  EXPECT_LE(read_bytes, 0);  // nothing was written into it
  EXPECT_TRUE(FileExists(temp_path_));
}

TEST_F(DownloadTest, SecondNameOfAnotherFileIsRefused) {
  service_.SetLogbook("<call:4>W1AW<eor>");
  const std::string other = dir_.Join("other");
  WriteFile(other, "precious");
  ASSERT_EQ(::link(other.c_str(), temp_path_.c_str()), 0);
  const FetchResult result = FetchLogbook(Request());
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.reason, "the temporary file has other names (hard links): " + temp_path_);
  EXPECT_EQ(ReadFile(other), "precious");
  EXPECT_EQ(service_.RequestLog(), "");
}

}  // namespace
}  // namespace logbook
