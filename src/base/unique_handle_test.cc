#include "base/unique_handle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_util.h"

namespace base {
namespace {

// Handles that are small numbers, with a log of what was closed.
std::vector<int> g_closed;

struct CountedTraits {
  using Handle = int;
  static constexpr int Invalid() { return 0; }
  static constexpr bool IsValid(int handle) { return handle != 0; }
  static bool Close(int handle) {
    g_closed.push_back(handle);
    return handle > 0;  // negative handles fail to close
  }
};
using CountedHandle = UniqueHandle<CountedTraits>;

class UniqueHandleTest : public ::testing::Test {
 protected:
  void SetUp() override { g_closed.clear(); }
};

TEST_F(UniqueHandleTest, ClosesOnceWhenDestroyed) {
  { CountedHandle handle(7); }
  { CountedHandle empty; }
  EXPECT_EQ(g_closed, std::vector<int>{7});
}

TEST_F(UniqueHandleTest, MovesOwnershipWithoutClosing) {
  CountedHandle first(7);
  CountedHandle second(std::move(first));
  EXPECT_FALSE(first.valid());  // NOLINT(bugprone-use-after-move): empty by contract
  EXPECT_EQ(second.get(), 7);
  EXPECT_TRUE(g_closed.empty());
  CountedHandle third(8);
  third = std::move(second);  // 8 is closed, 7 moves on
  EXPECT_EQ(g_closed, std::vector<int>{8});
  EXPECT_EQ(third.get(), 7);
}

TEST_F(UniqueHandleTest, ResetClosesTheOldHandleAndReleaseClosesNothing) {
  CountedHandle handle(7);
  handle.Reset(9);
  EXPECT_EQ(g_closed, std::vector<int>{7});
  EXPECT_EQ(handle.Release(), 9);
  EXPECT_FALSE(handle.valid());
  handle.Reset();
  EXPECT_EQ(g_closed, std::vector<int>{7});
}

TEST_F(UniqueHandleTest, CloseReportsTheSystemsAnswerAndEmptiesTheOwner) {
  CountedHandle good(7);
  EXPECT_TRUE(good.Close());
  EXPECT_FALSE(good.valid());
  CountedHandle bad(-3);
  EXPECT_FALSE(bad.Close());
  EXPECT_FALSE(bad.valid());
  CountedHandle empty;
  EXPECT_TRUE(empty.Close());
  EXPECT_EQ(g_closed, (std::vector<int>{7, -3}));
}

TEST(UniqueFile, ClosingFlushesWhatWasWritten) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join("stream.txt");
  {
    UniqueFile file(std::fopen(path.c_str(), "wb"));
    ASSERT_TRUE(file.valid());
    ASSERT_GE(std::fputs("held in the stream's buffer", file.get()), 0);
    EXPECT_EQ(test::ReadFile(path), "");
  }
  EXPECT_EQ(test::ReadFile(path), "held in the stream's buffer");
}

}  // namespace
}  // namespace base
