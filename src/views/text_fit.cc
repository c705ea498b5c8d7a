#include "views/text_fit.h"

#include "console/text.h"
#include "views/screen.h"

namespace views {

std::string_view FitToRow(std::string_view text, int column) {
  return console::FirstCharacters(text, kScreenColumns + 1 - column).text;
}

std::string Padded(std::string_view text, int width) {
  const console::CharacterPrefix start = console::FirstCharacters(text, width);
  std::string padded(start.text);
  padded.append(static_cast<size_t>(width - start.characters), ' ');
  return padded;
}

std::string Centred(std::string_view text, int width) {
  int characters = static_cast<int>(console::CharacterCount(text));
  std::string fitted(text);
  if (characters > width) {
    const int keep_start = (width - 3) / 2;
    const int keep_end = width - 3 - keep_start;
    const std::string_view start = console::FirstCharacters(text, keep_start).text;
    const std::string_view end =
        text.substr(console::FirstCharacters(text, characters - keep_end).text.size());
    fitted = std::string(start) + "..." + std::string(end);
    characters = width;
  }
  const int left = (width - characters) / 2;
  return std::string(static_cast<size_t>(left), ' ') + fitted +
         std::string(static_cast<size_t>(width - characters - left), ' ');
}

}  // namespace views
