// Text on POSIX systems is taken to be UTF-8, the encoding in which the logbook arrives.
#include "base/upper_case.h"

namespace base {

LetterEncoding SystemLetterEncoding() { return LetterEncoding::kUtf8; }

}  // namespace base
