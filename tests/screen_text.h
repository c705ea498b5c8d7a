// Screens as text, for comparing whole screens in tests. Each row of cells becomes one UTF-8
// string; runs of cells whose colours differ from the Normal colours (15 on 1) are marked:
// {h:...} Highlight (14 on 4), {y:...} 14 on 1, {p:...} the panels' 0 on 15, and {XX:...}
// with the attribute in two hex digits for any other colours.
#ifndef STATEKEEPER_TESTS_SCREEN_TEXT_H_
#define STATEKEEPER_TESTS_SCREEN_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/backend.h"
#include "console/console.h"

namespace test {

inline constexpr std::uint8_t kNormalAttribute = 0x1F;

// One marked string per row of `grid`, trailing blanks kept.
std::vector<std::string> ScreenText(const console::Grid& grid);
// The same for the console's screen as drawn so far (its output page, which is the page it
// shows: the program draws on page 1 and shows page 1).
std::vector<std::string> ScreenText(const console::Console& console);

// Compares every row with `expected` (one string per row, as ScreenText makes them). On a
// difference the test fails with both screens, the differing rows marked, and the actual
// screen is written to failed/<test name>.txt in the current folder (the build folder).
void ExpectScreen(const console::Console& console, const std::vector<std::string>& expected);
void ExpectScreen(const console::Grid& grid, const std::vector<std::string>& expected);

// Compares the screen with tests/golden/<name>.txt byte for byte: the rows, each followed
// by CR LF. A missing golden file fails; the actual screen goes to failed/<name>.txt.
void ExpectGoldenScreen(const console::Console& console, const std::string& name);

// An expected screen built cell by cell: blanks in the Normal colours to start with.
class ScreenBuilder {
 public:
  explicit ScreenBuilder(int rows = 43, int columns = 66);

  // Puts `text` (UTF-8, one cell per character) from (row, column), counted from 1, in
  // `attribute`; text beyond the row's end is dropped.
  ScreenBuilder& Put(int row, int column, const std::string& text,
                     std::uint8_t attribute = kNormalAttribute);
  const console::Grid& grid() const { return grid_; }
  std::vector<std::string> Rows() const { return ScreenText(grid_); }

 private:
  console::Grid grid_;
};

// The screen that the main screen leaves for a view: 66 x 43, cleared in the Normal
// colours, in a UTF-8 locale.
void PrepareViewScreen(console::Console& console);

// `count` box-drawing horizontal lines, the rules the views draw.
std::string Rule(int count);

// The characters of a UTF-8 text, for tests (no validation).
std::u32string DecodeUtf8(const std::string& text);

}  // namespace test

#endif  // STATEKEEPER_TESTS_SCREEN_TEXT_H_
