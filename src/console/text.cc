#include "console/text.h"

#include <climits>
#include <cwchar>

namespace console {

// wchar_t holds one Unicode character where these converters are used (glibc and the
// other POSIX C libraries); a platform with 16-bit wchar_t converts in its own backend.
static_assert(sizeof(wchar_t) >= sizeof(char32_t), "wchar_t must hold a Unicode character");

namespace {

struct Decoded {
  char32_t character;
  std::size_t length;  // bytes taken from the text, at least 1
};

// The character at the start of `text` (not empty), or U+FFFD for its first byte when no
// valid character starts there (an invalid or incomplete sequence).
Decoded DecodeFirst(std::string_view text) {
  std::mbstate_t state{};
  wchar_t wide = 0;
  const std::size_t length = std::mbrtowc(&wide, text.data(), text.size(), &state);
  if (length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2)) {
    return {kReplacementCharacter, 1};
  }
  return {static_cast<char32_t>(wide), length == 0 ? 1 : length};  // 0: the NUL character
}

}  // namespace

std::u32string DecodeText(std::string_view text) {
  std::u32string characters;
  characters.reserve(text.size());
  while (!text.empty()) {
    const Decoded decoded = DecodeFirst(text);
    characters.push_back(decoded.character);
    text.remove_prefix(decoded.length);
  }
  return characters;
}

std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  while (!text.empty()) {
    text.remove_prefix(DecodeFirst(text).length);
    ++count;
  }
  return count;
}

std::optional<std::string> EncodeCharacter(char32_t character) {
  // Not Unicode characters, though some C libraries would still write bytes for them.
  if (character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF)) return std::nullopt;
  char buffer[MB_LEN_MAX];
  std::mbstate_t state{};
  const std::size_t length = std::wcrtomb(buffer, static_cast<wchar_t>(character), &state);
  if (length == static_cast<std::size_t>(-1)) return std::nullopt;
  return std::string(buffer, length);
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
