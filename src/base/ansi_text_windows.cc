#include "base/ansi_text_windows.h"

#include <windows.h>

namespace base {

std::optional<std::wstring> WidenAnsi(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int length =
      ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length) !=
      length) {
    return std::nullopt;
  }
  return wide;
}

}  // namespace base
