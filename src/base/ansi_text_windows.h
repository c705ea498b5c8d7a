// Text at the Win32 boundary. The program's strings are bytes in the ANSI code page (that is
// what getenv and the console's narrow conversions give on Windows), and the wide Win32
// calls take UTF-16: these convert between the two, failing instead of guessing.
#ifndef STATEKEEPER_BASE_ANSI_TEXT_WINDOWS_H_
#define STATEKEEPER_BASE_ANSI_TEXT_WINDOWS_H_

#include <optional>
#include <string>
#include <string_view>

namespace base {

// `text` in UTF-16, or nothing when it is not valid in the ANSI code page.
std::optional<std::wstring> WidenAnsi(std::string_view text);

}  // namespace base

#endif  // STATEKEEPER_BASE_ANSI_TEXT_WINDOWS_H_
