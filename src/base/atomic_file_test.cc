#include "base/atomic_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <csignal>

#include "test_util.h"

namespace base {
namespace {

TEST(AtomicFile, ReplacesTheFileWholeWithItsMode) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join("10m.txt");
  test::WriteFile(path, "old content that is longer");
  ASSERT_FALSE(WriteFileAtomically(path, "new"));
  EXPECT_EQ(test::ReadFile(path), "new");
#ifndef _WIN32  // Windows has no permission bits: the folder's ACL decides
  const mode_t mask = ::umask(022);
  ASSERT_FALSE(WriteFileAtomically(path, "shared"));
  EXPECT_EQ(test::FileMode(path), 0644);
  ASSERT_FALSE(WriteFileAtomically(path, "private", FileMode::kPrivate));
  EXPECT_EQ(test::FileMode(path), 0600);
  ::umask(mask);
#endif
  EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{"10m.txt"});
}

TEST(AtomicFile, AFolderThatIsMissingFailsWithTheReason) {
  test::ScopedTempDir dir;
  const Error error = WriteFileAtomically(dir.Join("none/10m.txt"), "x");
  ASSERT_TRUE(error);
#ifdef _WIN32
  // The reason is the system's own message, whose wording differs between versions.
  const std::string start = "cannot write " + dir.Join("none/10m.txt") + ": ";
  EXPECT_EQ(error.message.rfind(start, 0), 0u) << error.message;
  EXPECT_GT(error.message.size(), start.size());
#else
  EXPECT_EQ(error.message,
            "cannot write " + dir.Join("none/10m.txt") + ": No such file or directory");
#endif
}

TEST(AtomicFile, NothingChangesUntilPublishAndAnUnpublishedFileLeavesNoTrace) {
  test::ScopedTempDir dir;
  const std::string a = dir.Join("a"), b = dir.Join("b");
  test::WriteFile(a, "old a");
  {
    AtomicFile first(a), second(b);
    first.Write("new a");
    second.Write("new b");
    ASSERT_FALSE(first.Commit(Rename::kLater));
    ASSERT_FALSE(second.Commit(Rename::kLater));
    EXPECT_EQ(test::ReadFile(a), "old a");
    EXPECT_FALSE(test::FileExists(b));
    ASSERT_FALSE(first.Publish());
    // `second` is dropped without Publish: as if a later file had failed.
  }
  EXPECT_EQ(test::ReadFile(a), "new a");
  EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{"a"});
}

#ifndef _WIN32  // a file size limit (RLIMIT_FSIZE) exists only on POSIX systems
TEST(AtomicFile, AFullDiskKeepsTheOldFileAndLeavesNoTemporary) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join("dx.txt");
  test::WriteFile(path, "old");
  // Writing past the file size limit gives EFBIG instead of the signal.
  struct sigaction ignore {
  }, old_action{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &old_action), 0);
  rlimit old_limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit limit = old_limit;
  limit.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  const Error error = WriteFileAtomically(path, std::string(5000, 'x'));
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old_limit), 0);
  ::sigaction(SIGXFSZ, &old_action, nullptr);

  ASSERT_TRUE(error);
  EXPECT_EQ(error.message, "cannot write " + path + ": File too large");
  EXPECT_EQ(test::ReadFile(path), "old");
  EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{"dx.txt"});
}
#endif

}  // namespace
}  // namespace base
