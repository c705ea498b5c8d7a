// The stall meter on a clock that the test moves.
#include "https/stall_meter.h"

#include <gtest/gtest.h>

#include <vector>

namespace https {
namespace {

using std::chrono::milliseconds;

TEST(StallMeter, AWindowWithFewerBytesThanSecondsHasStalled) {
  const StallMeter::Clock::time_point start{std::chrono::seconds(1000)};
  // One step: `bytes` arrive, then the meter is asked at `at_ms` after the start.
  struct Step {
    int bytes;
    int at_ms;
    bool stalled;
  };
  struct Row {
    int seconds;
    std::vector<Step> steps;
  };
  const std::vector<Row> rows = {
      {3, {{0, 0, false}, {0, 2999, false}, {0, 3000, true}, {0, 4000, true}}},
      {3, {{2, 3000, true}}},
      // Enough bytes begin the next window where they were judged.
      {3, {{3, 5000, false}, {2, 7000, false}, {0, 8000, true}}},
      {0, {{0, 999, false}, {0, 1000, true}}},  // a window is at least one second
      {-5, {{1, 1000, false}}},
  };
  for (const Row& row : rows) {
    StallMeter meter(row.seconds);
    meter.Start(start);
    for (const Step& step : row.steps) {
      meter.Add(step.bytes);
      EXPECT_EQ(meter.HasStalled(start + milliseconds(step.at_ms)), step.stalled)
          << row.seconds << " s, at " << step.at_ms << " ms";
    }
  }
  // Start forgets what arrived before.
  StallMeter meter(2);
  meter.Start(start);
  meter.Add(100);
  meter.Start(start + milliseconds(1000));
  EXPECT_TRUE(meter.HasStalled(start + milliseconds(3000)));
}

}  // namespace
}  // namespace https
