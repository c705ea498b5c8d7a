// Tells a stalled transfer from a slow one, for an HTTPS client that has no such measure of
// its own: the transfer has stalled when less than 1 byte a second has arrived over a whole
// window of time. The caller passes the time in, so the meter never reads a clock itself.
#ifndef STATEKEEPER_HTTPS_STALL_METER_H_
#define STATEKEEPER_HTTPS_STALL_METER_H_

#include <chrono>
#include <cstdint>

namespace https {

class StallMeter {
 public:
  using Clock = std::chrono::steady_clock;

  // A meter with a window of `seconds` (at least 1). Start() must come before HasStalled().
  explicit StallMeter(int seconds) : window_(seconds > 0 ? seconds : 1) {}

  // Begins a new window at `now` with nothing arrived in it.
  void Start(Clock::time_point now);

  // Counts `bytes` as arrived in the current window.
  void Add(std::int64_t bytes) { bytes_ += bytes; }

  // Returns true when the window that began at the last Start has passed by `now` with
  // fewer bytes than it has seconds. When it has passed with enough, a new window begins
  // at `now`; before it has passed, nothing changes.
  bool HasStalled(Clock::time_point now);

 private:
  const std::chrono::seconds window_;
  Clock::time_point start_;
  std::int64_t bytes_ = 0;
};

}  // namespace https

#endif  // STATEKEEPER_HTTPS_STALL_METER_H_
