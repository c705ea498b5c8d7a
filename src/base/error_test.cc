#include "base/error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/unique_handle.h"
#include "test_util.h"

namespace base {
namespace {

// The system's words end without a full stop, blank or line end, so that they can stand
// inside a sentence of the program's own.
void ExpectSentenceFragment(const std::string& text) {
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(std::string(".\n\r ").find(text.back()), std::string::npos) << text;
}

TEST(OsError, TheSystemsWordsFollowWhatFailed) {
  EXPECT_FALSE(Error{});
  test::ScopedTempDir dir;
  const std::string path = dir.Join("missing/file.txt");
  ASSERT_FALSE(UniqueFile(std::fopen(path.c_str(), "rb")).valid());
  const OsErrorCode code = GetLastOsError();
  ExpectSentenceFragment(DescribeOsError(code));
  const Error error = MakeOsError("cannot read " + path, code);
  EXPECT_TRUE(error);
  EXPECT_EQ(error.message, "cannot read " + path + ": " + DescribeOsError(code));
  ExpectSentenceFragment(DescribeOsError(0x7FFFABCD));  // a code without words
#ifndef _WIN32                                          // the C library's words for errno values
  EXPECT_EQ(DescribeOsError(28), "No space left on device");
#endif
}

}  // namespace
}  // namespace base
