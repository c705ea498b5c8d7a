// The program's upper-casing rule: a to z become A to Z, and the seven lower-case letters
// ä ö ü é ñ å ç become Ä Ö Ü É Ñ Å Ç in their UTF-8 forms; every other byte is unchanged.
#ifndef STATEKEEPER_BASE_UPPER_CASE_H_
#define STATEKEEPER_BASE_UPPER_CASE_H_

#include <string>
#include <string_view>

namespace base {

void UpperCaseInPlace(std::string& text);
std::string UpperCase(std::string_view text);

}  // namespace base

#endif  // STATEKEEPER_BASE_UPPER_CASE_H_
