// Whole screens compared with golden text. Each row of cells is one UTF-8 string; runs of
// cells whose colours differ from the Normal colours (15 on 1) are marked: {h:...}
// Highlight (14 on 4), {y:...} 14 on 1, {p:...} the panels' 0 on 15, and {XX:...} with the
// attribute in two hex digits for any other colours.
#ifndef STATEKEEPER_TESTS_SCREEN_TEXT_H_
#define STATEKEEPER_TESTS_SCREEN_TEXT_H_

#include <string>
#include <vector>

#include "console/backend.h"

namespace test {

// One marked string per row of `grid`, trailing blanks kept.
std::vector<std::string> ScreenText(const console::Grid& grid);

// Compares `grid`, its rows each ended by CR LF, with tests/golden/<name>.txt. On a
// difference the test fails and the screen is written to failed/<name>.txt in the current
// folder, to be read and, when right, copied over the golden file.
void ExpectGoldenScreen(const console::Grid& grid, const std::string& name);

}  // namespace test

#endif  // STATEKEEPER_TESTS_SCREEN_TEXT_H_
