#include "https/stall_meter.h"

namespace https {

void StallMeter::Start(Clock::time_point now) {
  start_ = now;
  bytes_ = 0;
}

bool StallMeter::HasStalled(Clock::time_point now) {
  if (now - start_ < window_) return false;
  if (bytes_ < window_.count()) return true;
  Start(now);
  return false;
}

}  // namespace https
