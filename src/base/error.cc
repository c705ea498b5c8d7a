// What every platform's error helpers share.
#include "base/error.h"

namespace base {

Error MakeOsError(std::string_view what, OsErrorCode code) {
  return Error{std::string(what) + ": " + DescribeOsError(code)};
}

}  // namespace base
