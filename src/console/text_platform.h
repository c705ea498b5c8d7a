// The two conversions of text.h that each platform makes in its own way; text.cc builds
// the rest on them.
#ifndef STATEKEEPER_CONSOLE_TEXT_PLATFORM_H_
#define STATEKEEPER_CONSOLE_TEXT_PLATFORM_H_

#include <cstddef>
#include <string_view>

namespace console {

struct DecodedCharacter {
  char32_t character;
  std::size_t length;  // bytes taken from the text, at least 1
};

// The character at the start of `text` (not empty), or U+FFFD for its first byte when no
// valid character of the locale starts there (an invalid or incomplete sequence).
DecodedCharacter DecodeFirstCharacter(std::string_view text);

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_TEXT_PLATFORM_H_
