#include <cerrno>
#include <cstring>

#include "base/error.h"

namespace base {

OsErrorCode LastOsError() { return static_cast<OsErrorCode>(errno); }

std::string OsErrorText(OsErrorCode code) {
  const char* text = std::strerror(static_cast<int>(code));
  if (text == nullptr || *text == '\0') return "error " + std::to_string(code);
  return text;
}

}  // namespace base
