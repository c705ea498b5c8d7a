// A memory backend that keeps a copy of what was on the screen each time the program
// waited for input, so that a test can look at every screen an operator saw on the way,
// not only the last one.
#ifndef STATEKEEPER_TESTS_RECORDING_BACKEND_H_
#define STATEKEEPER_TESTS_RECORDING_BACKEND_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/backend_memory.h"
#include "test_util.h"

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

// Row `row` (from 1) of `grid` as UTF-8, trailing blanks kept.
inline std::string RowText(const console::Grid& grid, int row) {
  std::string text;
  for (int column = 0; column < grid.columns; ++column) {
    text += EncodeUtf8(grid.at(row - 1, column).character);
  }
  return text;
}

// `text` padded with blanks to `width` characters (ASCII text only).
inline std::string PadRight(std::string text, int width = 66) {
  text.resize(static_cast<size_t>(width), ' ');
  return text;
}

}  // namespace test

#endif  // STATEKEEPER_TESTS_RECORDING_BACKEND_H_
