// Screens as test data: a memory backend that keeps every screen shown at a wait for input,
// and whole screens as golden text. Each row of cells is one UTF-8 string; runs of cells in
// other colours than the Normal ones (15 on 1) are marked: {h:...} Highlight (14 on 4),
// {y:...} 14 on 1, {p:...} the panels' 0 on 15, {XX:...} any other attribute in hex.
#ifndef STATEKEEPER_TESTS_SCREEN_TEXT_H_
#define STATEKEEPER_TESTS_SCREEN_TEXT_H_

#include <string>
#include <vector>

#include "console/backend_memory.h"

namespace test {

// A memory backend that copies the screen each time the program waits for input.
class RecordingBackend : public console::MemoryBackend {
 public:
  using MemoryBackend::MemoryBackend;

  std::optional<console::InputEvent> ReadEvent(std::optional<std::int64_t> deadline_ms) override {
    // A deadline a millisecond ahead is a look at keys typed during a download, not a wait.
    if (!deadline_ms || *deadline_ms > NowMs() + 1) screens_.push_back(presented());
    return MemoryBackend::ReadEvent(deadline_ms);
  }

  // The screen shown at each wait for input, in order.
  const std::vector<console::Grid>& screens() const { return screens_; }

 private:
  std::vector<console::Grid> screens_;
};

// One marked string per row of `grid`, trailing blanks kept.
std::vector<std::string> ScreenText(const console::Grid& grid);

// Compares `grid`, its rows each ended by CR LF, with tests/golden/<name>.txt; on a
// difference the test fails and writes the screen to failed/<name>.txt.
void ExpectGoldenScreen(const console::Grid& grid, const std::string& name);

}  // namespace test

#endif  // STATEKEEPER_TESTS_SCREEN_TEXT_H_
