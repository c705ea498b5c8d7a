// A memory backend that keeps a copy of the screen each time the program waited for input:
// every screen an operator saw on the way, not only the last one.
#ifndef STATEKEEPER_TESTS_RECORDING_BACKEND_H_
#define STATEKEEPER_TESTS_RECORDING_BACKEND_H_

#include <vector>

#include "console/backend_memory.h"

namespace test {

class RecordingBackend : public console::MemoryBackend {
 public:
  using MemoryBackend::MemoryBackend;

  std::optional<console::InputEvent> ReadEvent(std::optional<std::int64_t> deadline_ms) override {
    // A deadline a millisecond ahead is a look at the keys typed during a download, not a
    // wait: the operator sees that screen at the next wait all the same.
    if (!deadline_ms || *deadline_ms > NowMs() + 1) screens_.push_back(presented());
    return MemoryBackend::ReadEvent(deadline_ms);
  }

  // The screen shown at each wait for input, in order.
  const std::vector<console::Grid>& screens() const { return screens_; }

 private:
  std::vector<console::Grid> screens_;
};

}  // namespace test

#endif  // STATEKEEPER_TESTS_RECORDING_BACKEND_H_
