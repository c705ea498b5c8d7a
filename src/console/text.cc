#include "console/text.h"

#include "console/text_platform.h"

namespace console {

std::u32string DecodeText(std::string_view text) {
  std::u32string characters;
  characters.reserve(text.size());
  while (!text.empty()) {
    const DecodedCharacter decoded = DecodeFirstCharacter(text);
    characters.push_back(decoded.character);
    text.remove_prefix(decoded.length);
  }
  return characters;
}

std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  while (!text.empty()) {
    text.remove_prefix(DecodeFirstCharacter(text).length);
    ++count;
  }
  return count;
}

std::string EncodeText(std::u32string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (const char32_t character : text) {
    const std::optional<std::string> encoded = EncodeCharacter(character);
    if (encoded) {
      bytes += *encoded;
    } else {
      bytes += '?';
    }
  }
  return bytes;
}

}  // namespace console
