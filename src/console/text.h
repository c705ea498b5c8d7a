// Conversion between the program's multi-byte text (its strings, Key strings and typed
// lines) and the characters of the console's cells: on POSIX systems with the C library's
// converters for the locale that setlocale() chose, on Windows with the ANSI code page.
// Pure functions; nothing is kept between calls.
#ifndef STATEKEEPER_CONSOLE_TEXT_H_
#define STATEKEEPER_CONSOLE_TEXT_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace console {

inline constexpr char32_t kReplacementCharacter = U'\uFFFD';

struct DecodedCharacter {
  char32_t character;
  std::size_t length;  // bytes taken from the text, at least 1
};

// The character at the start of `text` (not empty), or U+FFFD for its first byte when no
// valid character starts there (an invalid or incomplete sequence).
DecodedCharacter DecodeFirstCharacter(std::string_view text);

// The characters of `text`. A byte that does not start a valid character of the locale
// (or an incomplete one at the end) becomes one U+FFFD, and decoding goes on with the
// next byte, so that valid text after it comes through unchanged.
std::u32string DecodeText(std::string_view text);

// How many characters DecodeText(text) gives, that is how many cells `text` fills on screen.
std::size_t CharacterCount(std::string_view text);

// The start of `text` that holds at most `characters` characters as DecodeText counts
// them, never ending inside a multi-byte character, and how many characters it holds.
struct CharacterPrefix {
  std::string_view text;
  int characters = 0;
};
CharacterPrefix FirstCharacters(std::string_view text, int characters);

// `character` in the locale's encoding, or nothing when the locale cannot encode it.
std::optional<std::string> EncodeCharacter(char32_t character);

// `text` in the locale's encoding; a character that the locale cannot encode becomes '?'.
std::string EncodeText(std::u32string_view text);

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_TEXT_H_
