// The conversions that are the same on every platform, built on DecodeFirstCharacter and
// EncodeCharacter of text_posix.cc or text_windows.cc.
#include "console/text.h"

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

CharacterPrefix FirstCharacters(std::string_view text, int characters) {
  std::size_t bytes = 0;
  int count = 0;
  while (count < characters && bytes < text.size()) {
    bytes += DecodeFirstCharacter(text.substr(bytes)).length;
    ++count;
  }
  return {text.substr(0, bytes), count};
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
