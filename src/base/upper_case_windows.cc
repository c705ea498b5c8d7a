// The program's text on Windows is in the ANSI code page, which its manifest asks to be
// UTF-8. A Windows older than version 1903 ignores that request; the accented letters are
// then those of code page 437.
#include <windows.h>

#include "base/upper_case.h"

namespace base {

LetterEncoding SystemLetterEncoding() {
  return GetACP() == CP_UTF8 ? LetterEncoding::kUtf8 : LetterEncoding::kCodePage437;
}

}  // namespace base
