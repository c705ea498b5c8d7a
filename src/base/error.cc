// What every platform's error helpers share.
#include "base/error.h"

namespace base {

Error OsError(std::string_view what, OsErrorCode code) {
  return Error{std::string(what) + ": " + OsErrorText(code)};
}

}  // namespace base
