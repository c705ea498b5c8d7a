// Several files put in place as one change, against real files: a commit stopped after any
// of its steps, as a killed process would leave it, is undone by the next start's tidying
// up, and a commit that ends holds the new set.
#include "base/file_commit.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "test_util.h"

namespace base {
namespace {

using Contents = std::map<std::string, std::string>;  // by name; a missing file is absent

// Every name of `folder` with what it holds ("<folder>" for a folder).
Contents Snapshot(const std::string& folder) {
  Contents contents;
  for (const std::string& name : test::ListFolder(folder)) {
    contents[name] = test::ReadFile(folder + name).value_or("<folder>");
  }
  return contents;
}

// An update's files: two that exist, one made for the first time, and beside them a file
// that is not part of the set.
const Contents kOld = {
    {"K1ABC.adi", "old log\r\n"}, {"20m.txt", "old 20m\r\n"}, {"Keeper.ini", "K1ABC\r\nKEY\r\n"}};
const Contents kNew = {{"K1ABC.adi", "new log\r\n"},
                       {"20m.txt", "new 20m\r\n"},
                       {"dx.txt", "1\r\nJAPAN\r\n"},
                       {"Keeper.ini", "K1ABC\r\nKEY\r\n"}};
const std::vector<std::string> kSet = {"K1ABC.adi", "20m.txt", "dx.txt"};

TEST(CommitFiles, AfterAnyStepTheNextStartFindsTheWholeOldOrTheWholeNewSet) {
  const int steps = CommitStepCount(static_cast<int>(kSet.size()));
  for (int stop_after = 0; stop_after <= steps + 1; ++stop_after) {
    SCOPED_TRACE("stopped after step " + std::to_string(stop_after));
    test::ScopedTempDir dir;
    const std::string folder = dir.path() + "/";
    for (const auto& [name, content] : kOld) test::WriteFile(folder + name, content);
    {
      std::vector<std::unique_ptr<AtomicFile>> files;
      std::vector<const AtomicFile*> set;
      for (const std::string& name : kSet) {
        files.push_back(std::make_unique<AtomicFile>(folder + name));
        files.back()->Write(kNew.at(name));
        ASSERT_FALSE(files.back()->Commit(Rename::kLater));
        set.push_back(files.back().get());
      }
      // The last round takes every step and ends as a commit does.
      const int seam = stop_after <= steps ? stop_after : kEveryStep;
      ASSERT_FALSE(CommitFiles(folder, set, seam));
      // The next start, while the files of the stopped commit are all still there (a killed
      // process removes none of them).
      RemoveLeftovers(folder);
    }
    EXPECT_EQ(Snapshot(folder), stop_after < steps ? kOld : kNew);
  }
}

// A commit that another copy of the program is making stays as it is while that copy runs:
// the old file kept aside, the new one in place. Once the copy has ended, it is undone.
TEST(CommitFiles, TheCommitOfARunningProcessStaysUntilItHasEnded) {
  test::ScopedTempDir dir;
  const std::string folder = dir.path() + "/";
  test::ChildProcess other;
  const std::string new_name = TemporaryName("CALL.adi", other.id(), 0x1234abcd);
  const std::string aside_name =
      TemporaryName("CALL.adi", other.id(), 0x1234abcd, Scratch::kOldFile);
  test::WriteFile(folder + std::string(kCommitJournalName),
                  "statekeeper commit " + std::to_string(other.id()) + "\n1\t" + new_name + "\t" +
                      aside_name + "\tCALL.adi\nend\n");
  test::WriteFile(folder + aside_name, "old log");
  test::WriteFile(folder + "CALL.adi", "new log");
  const Contents during = Snapshot(folder);
  RemoveLeftovers(folder);
  EXPECT_EQ(Snapshot(folder), during);
  other.End();
  RemoveLeftovers(folder);
  EXPECT_EQ(Snapshot(folder), (Contents{{"CALL.adi", "old log"}}));
}

}  // namespace
}  // namespace base
