// The locale's conversions on POSIX systems, through the C library.
#include <climits>
#include <cwchar>

#include "console/text.h"

namespace console {

// wchar_t holds one Unicode character where these converters are used (glibc and the
// other POSIX C libraries).
static_assert(sizeof(wchar_t) >= sizeof(char32_t), "wchar_t must hold a Unicode character");

DecodedCharacter DecodeFirstCharacter(std::string_view text) {
  std::mbstate_t state{};
  wchar_t wide = 0;
  const std::size_t length = std::mbrtowc(&wide, text.data(), text.size(), &state);
  if (length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2)) {
    return {kReplacementCharacter, 1};
  }
  return {static_cast<char32_t>(wide), length == 0 ? 1 : length};  // 0: the NUL character
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

}  // namespace console
