// Cutting the views' texts by characters, never inside a multi-byte character, so that a
// text keeps to the width it is given on screen.
#ifndef STATEKEEPER_VIEWS_TEXT_FIT_H_
#define STATEKEEPER_VIEWS_TEXT_FIT_H_

#include <string_view>

namespace views {

// The start of `text` that holds at most `characters` characters in the locale's encoding,
// and how many characters it holds. A byte that starts no valid character counts as one
// character, as the console shows it (one replacement character).
struct CharacterPrefix {
  std::string_view text;
  int characters = 0;
};
CharacterPrefix FirstCharacters(std::string_view text, int characters);

// The start of `text` that fits on a row of 66 cells when written from `column` (from 1):
// text beyond the row's end would wrap onto the rows below, or scroll the screen.
std::string_view FitToRow(std::string_view text, int column);

}  // namespace views

#endif  // STATEKEEPER_VIEWS_TEXT_FIT_H_
