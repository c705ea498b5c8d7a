// The program's upper-casing rule: a to z become A to Z, and the seven lower-case letters
// ä ö ü é ñ å ç become Ä Ö Ü É Ñ Å Ç in the system's encoding of text; every other byte is
// unchanged.
#ifndef STATEKEEPER_BASE_UPPER_CASE_H_
#define STATEKEEPER_BASE_UPPER_CASE_H_

#include <string>
#include <string_view>

namespace base {

// Where the seven accented letters are found.
enum class LetterEncoding {
  kUtf8,         // two-byte sequences C3 xx
  kCodePage437,  // single bytes of the OEM code page of Windows consoles
};

// UTF-8 on POSIX systems and on Windows when the program runs with UTF-8 as its code page
// (as its manifest asks); code page 437 on a Windows that ignores the manifest.
LetterEncoding SystemLetterEncoding();

void UpperCaseInPlace(std::string& text, LetterEncoding encoding = SystemLetterEncoding());
std::string UpperCase(std::string_view text, LetterEncoding encoding = SystemLetterEncoding());

}  // namespace base

#endif  // STATEKEEPER_BASE_UPPER_CASE_H_
