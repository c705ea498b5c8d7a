#include <cerrno>
#include <cstring>

#include "base/error.h"

namespace base {

OsErrorCode GetLastOsError() { return static_cast<OsErrorCode>(errno); }

std::string DescribeOsError(OsErrorCode code) {
  const char* text = std::strerror(static_cast<int>(code));
  if (text == nullptr || *text == '\0') return "error " + std::to_string(code);
  return text;
}

}  // namespace base
