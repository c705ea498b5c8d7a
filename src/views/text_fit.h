// Fitting the screen's texts to a width: cut at the row's end, cut or padded to a field,
// centred with the middle left out. Widths count characters as the console draws them
// (one cell each), so a multi-byte character is never split.
#ifndef STATEKEEPER_VIEWS_TEXT_FIT_H_
#define STATEKEEPER_VIEWS_TEXT_FIT_H_

#include <string>
#include <string_view>

namespace views {

// The start of `text` that fits on a row of 66 cells when written from `column` (from 1):
// text beyond the row's end would wrap onto the rows below, or scroll the screen. Returns a
// view into `text`.
std::string_view FitToRow(std::string_view text, int column);

// `text` cut or padded with blanks to exactly `width` characters.
std::string Padded(std::string_view text, int width);

// `text` centred in `width` characters, blanks on both sides (one more on the right when
// the rest is odd). A longer text keeps its start and its end, which say what failed and
// why ("cannot write /a/long/path...: File too large"), with "..." for the middle.
std::string Centred(std::string_view text, int width);

}  // namespace views

#endif  // STATEKEEPER_VIEWS_TEXT_FIT_H_
