// The text conversions of text.h for Windows, where wchar_t is 16 bits and the program's
// text is in the ANSI code page: UTF-8 where Windows honours the program's manifest, else
// the system's code page, double-byte code pages (932, 936, 949, 950) included.
#include <windows.h>

#include "console/text.h"

namespace console {
namespace {

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// How many bytes the character starting with `first` takes in `code_page`; the converter
// then checks the whole sequence.
std::size_t SequenceLength(UINT code_page, unsigned char first) {
  if (code_page == CP_UTF8) {
    if (first < 0x80) return 1;
    if (first >= 0xC2 && first <= 0xDF) return 2;
    if (first >= 0xE0 && first <= 0xEF) return 3;
    if (first >= 0xF0 && first <= 0xF4) return 4;
    return 1;  // a continuation byte or an invalid lead: the converter rejects it
  }
  return IsDBCSLeadByteEx(code_page, first) ? 2 : 1;
}

}  // namespace

DecodedCharacter DecodeFirstCharacter(std::string_view text) {
  const auto first = static_cast<unsigned char>(text[0]);
  if (first == 0) return {0, 1};
  const UINT code_page = GetACP();
  const std::size_t length = SequenceLength(code_page, first);
  if (length > text.size()) return {kReplacementCharacter, 1};
  wchar_t wide[2] = {};
  const int count = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(),
                                        static_cast<int>(length), wide, 2);
  if (count == 1 && !IsHighSurrogate(wide[0]) && !IsLowSurrogate(wide[0])) {
    return {static_cast<char32_t>(wide[0]), length};
  }
  if (count == 2 && IsHighSurrogate(wide[0]) && IsLowSurrogate(wide[1])) {
    const char32_t character = 0x10000 + ((static_cast<char32_t>(wide[0]) - 0xD800) << 10) +
                               (static_cast<char32_t>(wide[1]) - 0xDC00);
    return {character, length};
  }
  return {kReplacementCharacter, 1};
}

std::optional<std::string> EncodeCharacter(char32_t character) {
  if (character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF)) return std::nullopt;
  if (character == 0) return std::string(1, '\0');
  wchar_t wide[2];
  int units = 1;
  if (character > 0xFFFF) {
    wide[0] = static_cast<wchar_t>(0xD800 + ((character - 0x10000) >> 10));
    wide[1] = static_cast<wchar_t>(0xDC00 + ((character - 0x10000) & 0x3FF));
    units = 2;
  } else {
    wide[0] = static_cast<wchar_t>(character);
  }
  const UINT code_page = GetACP();
  char buffer[8];
  int length = 0;
  if (code_page == CP_UTF8) {
    // UTF-8 encodes every character; it takes no default character and no best-fit flag.
    length = WideCharToMultiByte(code_page, WC_ERR_INVALID_CHARS, wide, units, buffer,
                                 sizeof buffer, nullptr, nullptr);
  } else {
    // No best fit: a character the code page lacks is reported, not replaced by a look-alike.
    BOOL used_default = FALSE;
    length = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide, units, buffer,
                                 sizeof buffer, nullptr, &used_default);
    if (used_default) return std::nullopt;
  }
  if (length <= 0) return std::nullopt;
  return std::string(buffer, static_cast<std::size_t>(length));
}

}  // namespace console
