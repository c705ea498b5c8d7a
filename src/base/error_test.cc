#include "base/error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/unique_handle.h"
#include "test_util.h"

namespace base {
namespace {

TEST(Error, AnEmptyMessageIsSuccess) {
  EXPECT_FALSE(Error{});
  EXPECT_TRUE((Error{"cannot write x: Disk full"}));
}

// The system's words end without a full stop or a line end, so that they can stand inside
// a sentence of the program's own.
void ExpectSentenceFragment(const std::string& text) {
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '.') << text;
  EXPECT_NE(text.back(), '\n') << text;
  EXPECT_NE(text.back(), '\r') << text;
  EXPECT_NE(text.back(), ' ') << text;
}

TEST(OsError, TheLastFailureOfAFileOpenHasTheSystemsWords) {
  test::ScopedTempDir dir;
  const UniqueFile file(std::fopen(dir.Join("missing/file.txt").c_str(), "rb"));
  ASSERT_FALSE(file.valid());
  const OsErrorCode code = GetLastOsError();
  EXPECT_NE(code, 0u);
  ExpectSentenceFragment(DescribeOsError(code));
  const Error error = MakeOsError("cannot read " + dir.Join("missing/file.txt"), code);
  EXPECT_EQ(error.message,
            "cannot read " + dir.Join("missing/file.txt") + ": " + DescribeOsError(code));
}

TEST(OsError, ACodeWithoutWordsStillGivesText) {
  ExpectSentenceFragment(DescribeOsError(0x7FFFABCD));
}

#ifndef _WIN32  // the C library's words for errno values
TEST(OsError, PosixCodesReadAsTheCLibrarySaysThem) {
  EXPECT_EQ(DescribeOsError(2), "No such file or directory");
  EXPECT_EQ(DescribeOsError(28), "No space left on device");
}
#endif

}  // namespace
}  // namespace base
