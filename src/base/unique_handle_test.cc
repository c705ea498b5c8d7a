#include "base/unique_handle.h"

#include <gtest/gtest.h>

#include <vector>

namespace base {
namespace {

// Handles are small numbers, with a log of what was closed; negative ones fail to close.
std::vector<int> g_closed;

struct CountedTraits {
  using Handle = int;
  static constexpr int Invalid() { return 0; }
  static constexpr bool IsValid(int handle) { return handle != 0; }
  static bool Close(int handle) {
    g_closed.push_back(handle);
    return handle > 0;
  }
};
using CountedHandle = UniqueHandle<CountedTraits>;

TEST(UniqueHandle, EachHandleIsClosedOnceByItsLastOwner) {
  {
    CountedHandle first(7), empty, bad(-3), third(8);
    CountedHandle second(std::move(first));
    EXPECT_FALSE(first.valid());  // NOLINT(bugprone-use-after-move): empty by contract
    third = std::move(second);    // 8 is closed, 7 moves on
    third.Reset(9);               // 7 is closed
    EXPECT_EQ(third.Release(), 9);
    EXPECT_FALSE(bad.Close());
    EXPECT_TRUE(empty.Close());
    CountedHandle last(4);
  }
  EXPECT_EQ(g_closed, (std::vector<int>{8, 7, -3, 4}));
}

}  // namespace
}  // namespace base
