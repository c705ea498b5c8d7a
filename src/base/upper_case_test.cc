#include "base/upper_case.h"

#include <gtest/gtest.h>

#include <utility>

namespace base {
namespace {

TEST(UpperCase, LettersAndTheSevenAccentedOnesOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {"az AZ 09 {}`@", "AZ AZ 09 {}`@"},
      {"\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA9\xC3\xB1\xC3\xA5\xC3\xA7",  // äöüéñåç
       "\xC3\x84\xC3\x96\xC3\x9C\xC3\x89\xC3\x91\xC3\x85\xC3\x87"},
      {"\xC3\xA0\xC3\xBF\xC3\xAB", "\xC3\xA0\xC3\xBF\xC3\xAB"},  // à ÿ ë stay
      {"\xC3", "\xC3"},                                          // a cut sequence stays
      {"\xC3\xC3\xA4", "\xC3\xC3\xA4"},  // the second C3 is the first's partner, not a lead
      {"\xA4x", "\xA4X"},                // a stray continuation byte stays
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(UpperCase(in, LetterEncoding::kUtf8), out) << in;
}

TEST(UpperCase, CodePage437ChangesItsSevenLettersAndNoOtherByte) {
  std::string every_byte;
  for (int byte = 1; byte < 256; ++byte) every_byte += static_cast<char>(byte);
  std::string expected = every_byte;
  for (char& c : expected) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  const std::string lower = "\x84\x94\x81\x82\xA4\x86\x87", upper = "\x8E\x99\x9A\x90\xA5\x8F\x80";
  for (std::size_t i = 0; i < lower.size(); ++i) {  // ä ö ü é ñ å ç
    expected[static_cast<unsigned char>(lower[i]) - 1] = upper[i];
  }
  EXPECT_EQ(UpperCase(every_byte, LetterEncoding::kCodePage437), expected);
}

}  // namespace
}  // namespace base
