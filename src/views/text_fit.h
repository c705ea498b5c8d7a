// Cutting the views' texts to the screen's width, never inside a multi-byte character.
#ifndef STATEKEEPER_VIEWS_TEXT_FIT_H_
#define STATEKEEPER_VIEWS_TEXT_FIT_H_

#include <string_view>

namespace views {

// The start of `text` that fits on a row of 66 cells when written from `column` (from 1):
// text beyond the row's end would wrap onto the rows below, or scroll the screen.
std::string_view FitToRow(std::string_view text, int column);

}  // namespace views

#endif  // STATEKEEPER_VIEWS_TEXT_FIT_H_
