// The one type in which file and system failures travel, and the operating system's words
// for them. A failure carries a message fit to show the operator ("cannot write
// /home/k1abc/.local/share/Varnhold/10m.txt: No space left on device"); success carries
// none. Calls that the caller must act on return an Error; calls whose failure has a
// fallback at the lowest level (an unreadable file reads as empty) return nothing.
#ifndef STATEKEEPER_BASE_ERROR_H_
#define STATEKEEPER_BASE_ERROR_H_

#include <string>
#include <string_view>

namespace base {

struct Error {
  // What went wrong; empty when nothing did.
  std::string message;

  // True when something went wrong.
  explicit operator bool() const { return !message.empty(); }
};

// An error number of the operating system: errno on POSIX systems, a Win32 error code
// (GetLastError) on Windows.
using OsErrorCode = unsigned long;

// The error number that the last failed system call of this thread left.
[[nodiscard]] OsErrorCode GetLastOsError();

// The system's words for `code` ("No such file or directory"), without a closing full
// stop or line end; "error N" when the system has no words for it.
[[nodiscard]] std::string DescribeOsError(OsErrorCode code);

// The failure `what` for the reason `code`: "<what>: <DescribeOsError(code)>".
[[nodiscard]] Error MakeOsError(std::string_view what, OsErrorCode code);

}  // namespace base

#endif  // STATEKEEPER_BASE_ERROR_H_
