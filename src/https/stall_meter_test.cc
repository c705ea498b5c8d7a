// The stall meter on a clock that the test moves: a window with too few bytes has stalled,
// one with enough begins the next window, and nothing is judged before a window has passed.
#include "https/stall_meter.h"

#include <gtest/gtest.h>

namespace https {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Clock = StallMeter::Clock;

const Clock::time_point kStart = Clock::time_point() + seconds(1000);

TEST(StallMeter, NothingIsJudgedBeforeTheWindowHasPassed) {
  StallMeter meter(3);
  meter.Start(kStart);
  EXPECT_FALSE(meter.HasStalled(kStart));
  EXPECT_FALSE(meter.HasStalled(kStart + milliseconds(2999)));
  EXPECT_TRUE(meter.HasStalled(kStart + seconds(3)));
  EXPECT_TRUE(meter.HasStalled(kStart + seconds(4)));  // a stall stays a stall
}

TEST(StallMeter, FewerBytesThanSecondsIsAStall) {
  StallMeter meter(3);
  meter.Start(kStart);
  meter.Add(2);
  EXPECT_TRUE(meter.HasStalled(kStart + seconds(3)));
}

TEST(StallMeter, EnoughBytesBeginTheNextWindow) {
  StallMeter meter(3);
  meter.Start(kStart);
  meter.Add(1);
  meter.Add(2);
  EXPECT_FALSE(meter.HasStalled(kStart + seconds(5)));  // the next window begins here
  meter.Add(2);
  EXPECT_FALSE(meter.HasStalled(kStart + seconds(7)));
  EXPECT_TRUE(meter.HasStalled(kStart + seconds(8)));  // only 2 bytes since second 5
}

TEST(StallMeter, StartForgetsWhatArrivedBefore) {
  StallMeter meter(2);
  meter.Start(kStart);
  meter.Add(100);
  meter.Start(kStart + seconds(1));
  EXPECT_FALSE(meter.HasStalled(kStart + seconds(2)));
  EXPECT_TRUE(meter.HasStalled(kStart + seconds(3)));
}

TEST(StallMeter, AWindowIsAtLeastOneSecond) {
  for (const int seconds_given : {0, -5}) {
    StallMeter meter(seconds_given);
    meter.Start(kStart);
    EXPECT_FALSE(meter.HasStalled(kStart + milliseconds(999))) << seconds_given;
    EXPECT_TRUE(meter.HasStalled(kStart + seconds(1))) << seconds_given;
  }
  StallMeter meter(0);
  meter.Start(kStart);
  meter.Add(1);
  EXPECT_FALSE(meter.HasStalled(kStart + seconds(1)));
}

}  // namespace
}  // namespace https
