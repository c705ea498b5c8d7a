// Conversion between the locale's multi-byte text (the program's strings, Key strings and
// typed lines) and the characters of the console's cells, with the C library's converters
// for the locale that setlocale() chose. Pure functions; nothing is kept between calls.
#ifndef STATEKEEPER_CONSOLE_TEXT_H_
#define STATEKEEPER_CONSOLE_TEXT_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace console {

inline constexpr char32_t kReplacementCharacter = U'\uFFFD';

// The characters of `text`. A byte that does not start a valid character of the locale
// (or an incomplete one at the end) becomes one U+FFFD, and decoding goes on with the
// next byte, so that valid text after it comes through unchanged.
std::u32string DecodeText(std::string_view text);

// How many characters DecodeText(text) gives, that is how many cells `text` fills on screen.
std::size_t CharacterCount(std::string_view text);

// `character` in the locale's encoding, or nothing when the locale cannot encode it.
std::optional<std::string> EncodeCharacter(char32_t character);

// `text` in the locale's encoding; a character that the locale cannot encode becomes '?'.
std::string EncodeText(std::u32string_view text);

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_TEXT_H_
