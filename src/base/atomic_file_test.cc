#include "base/atomic_file.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <optional>

#include "test_util.h"

namespace base {
namespace {

TEST(AtomicFile, ReplacesTheFileWholeFromATemporaryOfThisProcessBesideIt) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join("Keeper.ini");
  test::WriteFile(path, "old content that is longer");
#ifndef _WIN32  // Windows has no permission bits: the folder's ACL decides
  const mode_t mask = ::umask(022);
  ASSERT_FALSE(WriteFileAtomically(path, "shared"));
  EXPECT_EQ(test::FileMode(path), 0644);
  ::umask(mask);
#endif
  {
    AtomicFile file(path, FileMode::kPrivate);
    file.Write("new");
    const std::vector<std::string> names = test::ListFolder(dir.path());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(file.temp_path(), dir.Join(names[0]));
    EXPECT_TRUE(names[0].ends_with("-Keeper.ini.partial")) << names[0];
#ifdef _WIN32
    EXPECT_EQ(TemporaryNameOwner(names[0]), ::GetCurrentProcessId());
#else
    EXPECT_EQ(TemporaryNameOwner(names[0]), static_cast<std::uint32_t>(::getpid()));
    EXPECT_EQ(test::FileMode(file.temp_path()), 0600);  // private from its creation on
#endif
    ASSERT_FALSE(file.Commit());
  }
  EXPECT_EQ(test::ReadFile(path), "new");
  EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{"Keeper.ini"});
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
  const Error error = WriteFileAtomically(dir.Join("none/a"), "x");
  EXPECT_EQ(error.message.rfind("cannot write " + dir.Join("none/a") + ": ", 0), 0u)
      << error.message;
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

  EXPECT_EQ(error.message, "cannot write " + path + ": File too large");
  EXPECT_EQ(test::ReadFile(path), "old");
  EXPECT_EQ(test::ListFolder(dir.path()), std::vector<std::string>{"dx.txt"});
}
#endif

TEST(TemporaryName, NamesTheProcessAndTheTargetAndNoOtherNameIsTakenForOne) {
  EXPECT_EQ(TemporaryName("CALL.adi", 4711, 0x09a3f1c2),
            ".statekeeper-4711-09a3f1c2-CALL.adi.partial");
  EXPECT_EQ(TemporaryNameOwner(TemporaryName("10m.txt", 4294967295u, 0)), 4294967295u);
  EXPECT_EQ(TemporaryNameOwner(TemporaryName("a-b-c.partial", 1, 0xffffffff)), 1u);
  const char* const others[] = {
      "10m.txt.tmp",
      "x.partial",
      ".statekeeper-notes.partial",
      "",
      "statekeeper-4711-09a3f1c2-CALL.adi.partial",    // no leading dot
      ".Statekeeper-4711-09a3f1c2-CALL.adi.partial",   // another case
      ".statekeeper-4711-09a3f1c2-CALL.adi.partial~",  // an editor's backup
      ".statekeeper-4711-09a3f1c2-.partial",           // no target name
      ".statekeeper-4711-09a3f1c2.partial",
      ".statekeeper--09a3f1c2-CALL.adi.partial",       // no process id
      ".statekeeper-04711-09a3f1c2-CALL.adi.partial",  // a leading zero
      ".statekeeper-0-09a3f1c2-CALL.adi.partial",
      ".statekeeper-4294967296-09a3f1c2-CALL.adi.partial",  // more than 32 bits
      ".statekeeper-12345678901-09a3f1c2-CALL.adi.partial",
      ".statekeeper-4711-09A3F1C2-CALL.adi.partial",   // upper-case hex digits
      ".statekeeper-4711-09a3f1c-CALL.adi.partial",    // seven digits
      ".statekeeper-4711-09a3f1c2a-CALL.adi.partial",  // nine
      ".statekeeper-4711-09a3f1g2-CALL.adi.partial",
      ".statekeeper-4711_09a3f1c2-CALL.adi.partial",
      ".statekeeper-4711-09a3f1c2_CALL.adi.partial",
      ".statekeeper-",
      ".statekeeper-4711.partial",
  };
  for (const char* name : others) EXPECT_EQ(TemporaryNameOwner(name), std::nullopt) << name;
}

// A folder with the leftovers of an ended process and, beside them, files of the operator's
// and of a running process that must stay.
class LeftoversTest : public ::testing::Test {
 protected:
  LeftoversTest() : folder_(dir_.Join("Varnhold")) {
    std::filesystem::create_directory(folder_);
    ended_.End();
  }

  std::string In(const std::string& name) const { return folder_ + "/" + name; }
  std::string Leftover(const std::string& target, std::uint32_t process_id) const {
    return In(TemporaryName(target, process_id, 0x1234abcd));
  }

  test::ScopedTempDir dir_;
  std::string folder_;
  test::ChildProcess ended_;
  test::ChildProcess running_;
};

TEST_F(LeftoversTest, TheNewFilesOfAnEndedProcessGoAndNothingElseIsTouched) {
  test::WriteFile(In("CALL.adi"), "old log");
  test::WriteFile(Leftover("CALL.adi", ended_.id()), "half of the new log");
#ifdef _WIN32
  const auto self = static_cast<std::uint32_t>(::GetCurrentProcessId());
#else
  const auto self = static_cast<std::uint32_t>(::getpid());
#endif
  test::WriteFile(Leftover("Keeper.ini", self), "from an earlier process with this id");
  const std::vector<std::string> kept = {"CALL.adi.partial", "statekeeper-notes.txt",
                                         TemporaryName("dx.txt", running_.id(), 7)};
  for (const std::string& name : kept) test::WriteFile(In(name), name);
  // A folder with a leftover's name, and a leftover inside it: only the folder itself counts.
  const std::string subfolder = Leftover("20m.txt", ended_.id());
  std::filesystem::create_directory(subfolder);
  test::WriteFile(subfolder + "/" + TemporaryName("20m.txt", ended_.id(), 1), "deeper");
  // Outside the folder, beside it.
  test::WriteFile(dir_.Join(TemporaryName("CALL.adi", ended_.id(), 2)), "outside");
  RemoveLeftovers(In("missing"));
  RemoveLeftovers(In("CALL.adi"));  // a file, not a folder
  RemoveLeftovers("");

  RemoveLeftovers(folder_);

  std::vector<std::string> expected = kept;
  expected.push_back("CALL.adi");
  expected.push_back(TemporaryName("20m.txt", ended_.id(), 0x1234abcd));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(test::ListFolder(folder_), expected);
  for (const std::string& name : kept) EXPECT_EQ(test::ReadFile(In(name)), name);
  EXPECT_EQ(test::ReadFile(In("CALL.adi")), "old log");
  EXPECT_EQ(test::ListFolder(subfolder).size(), 1u);
  EXPECT_EQ(test::ReadFile(dir_.Join(TemporaryName("CALL.adi", ended_.id(), 2))), "outside");
  // The running process's file goes once it has ended.
  running_.End();
  RemoveLeftovers(folder_);
  EXPECT_FALSE(test::FileExists(In(kept[2])));
}

#ifndef _WIN32  // symbolic links need a privilege on Windows; processes are forked here
TEST_F(LeftoversTest, ASymbolicLinkWithALeftoversNameIsNeitherFollowedNorRemoved) {
  // Both the link and what it points to carry names of leftovers of an ended process.
  const std::string target = dir_.Join(TemporaryName("dx.txt", ended_.id(), 3));
  test::WriteFile(target, "elsewhere");
  const std::string link = Leftover("dx.txt", ended_.id());
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  RemoveLeftovers(folder_);
  EXPECT_TRUE(test::FileExists(link));
  EXPECT_EQ(test::ReadFile(target), "elsewhere");
}

TEST_F(LeftoversTest, ALeftoverOfAnotherUserStays) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  const std::string file = Leftover("CALL.adi", ended_.id());
  test::WriteFile(file, "half");
  ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
  RemoveLeftovers(folder_);
  EXPECT_EQ(test::ReadFile(file), "half");
}
#endif

}  // namespace
}  // namespace base
