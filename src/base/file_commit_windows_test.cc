// On Windows a file that another program holds open without sharing cannot be replaced:
// the commit fails and every file of the set keeps its old content.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/file_commit.h"
#include "base/unique_handle_windows.h"
#include "test_util.h"

namespace base {
namespace {

TEST(CommitFiles, AFileHeldOpenWithoutSharingLeavesEveryFileAsItWas) {
  const std::vector<std::string> names = {"K1ABC.adi", "20m.txt", "dx.txt"};
  for (const std::string& held : names) {
    SCOPED_TRACE(held);
    test::ScopedTempDir dir;
    const std::string folder = dir.path() + "\\";
    for (const std::string& name : names) test::WriteFile(folder + name, "old " + name);
    // Another program's handle: no sharing at all, so no move and no delete either.
    UniqueWinHandle other(::CreateFileA((folder + held).c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(other.valid());
    std::vector<std::unique_ptr<AtomicFile>> files;
    std::vector<const AtomicFile*> set;
    for (const std::string& name : names) {
      files.push_back(std::make_unique<AtomicFile>(folder + name));
      files.back()->Write("new " + name);
      ASSERT_FALSE(files.back()->Commit(Rename::kLater));
      set.push_back(files.back().get());
    }
    EXPECT_TRUE(CommitFiles(folder, set));
    files.clear();  // what an update does after its failure
    other.Reset();
    EXPECT_EQ(test::ListFolder(dir.path()),
              (std::vector<std::string>{"20m.txt", "K1ABC.adi", "dx.txt"}));
    for (const std::string& name : names) {
      EXPECT_EQ(test::ReadFile(folder + name), "old " + name);
    }
  }
}

}  // namespace
}  // namespace base
