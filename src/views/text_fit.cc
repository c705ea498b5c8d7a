#include "views/text_fit.h"

#include "console/text.h"

namespace views {

std::string_view FitToRow(std::string_view text, int column) {
  constexpr int kRowWidth = 66;
  return console::FirstCharacters(text, kRowWidth + 1 - column).text;
}

}  // namespace views
