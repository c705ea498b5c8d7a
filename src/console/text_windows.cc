// The text conversions of text.h for Windows, where wchar_t is 16 bits and the program's
// text is in the system's ANSI code page: MultiByteToWideChar and WideCharToMultiByte with
// CP_ACP, double-byte code pages (932, 936, 949, 950) included.
#include <windows.h>

#include "console/text.h"
#include "console/text_platform.h"

namespace console {

// The character at the start of `text` (not empty), or U+FFFD for its first byte when no
// valid character of the code page starts there.
DecodedCharacter DecodeFirstCharacter(std::string_view text) {
  const auto first = static_cast<unsigned char>(text[0]);
  if (first == 0) return {0, 1};
  const std::size_t length = IsDBCSLeadByteEx(CP_ACP, first) ? 2 : 1;
  if (length > text.size()) return {kReplacementCharacter, 1};
  wchar_t wide[2] = {};
  const int count = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(),
                                        static_cast<int>(length), wide, 2);
  if (count != 1) return {kReplacementCharacter, 1};
  return {static_cast<char32_t>(wide[0]), length};
}

std::optional<std::string> EncodeCharacter(char32_t character) {
  // Code pages hold characters of the Basic Multilingual Plane only.
  if (character > 0xFFFF || (character >= 0xD800 && character <= 0xDFFF)) return std::nullopt;
  if (character == 0) return std::string(1, '\0');
  const wchar_t wide = static_cast<wchar_t>(character);
  char buffer[8];
  BOOL used_default = FALSE;
  // No best fit: a character the code page lacks is reported, not replaced by a look-alike.
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &wide, 1, buffer,
                                         sizeof buffer, nullptr, &used_default);
  if (length <= 0 || used_default) return std::nullopt;
  return std::string(buffer, static_cast<std::size_t>(length));
}

}  // namespace console
