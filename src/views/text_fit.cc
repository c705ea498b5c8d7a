#include "views/text_fit.h"

#include <cwchar>

namespace views {

CharacterPrefix FirstCharacters(std::string_view text, int characters) {
  size_t bytes = 0;
  int count = 0;
  std::mbstate_t state{};
  while (count < characters && bytes < text.size()) {
    wchar_t character;
    const size_t length =
        std::mbrtowc(&character, text.data() + bytes, text.size() - bytes, &state);
    if (length == static_cast<size_t>(-1) || length == static_cast<size_t>(-2) || length == 0) {
      // An invalid or cut-off sequence is one character of one byte; a NUL byte is one too.
      state = std::mbstate_t{};
      bytes += 1;
    } else {
      bytes += length;
    }
    ++count;
  }
  return {text.substr(0, bytes), count};
}

std::string_view FitToRow(std::string_view text, int column) {
  constexpr int kRowWidth = 66;
  return FirstCharacters(text, kRowWidth + 1 - column).text;
}

}  // namespace views
