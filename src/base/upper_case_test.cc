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
  const std::string upper = UpperCase(every_byte, LetterEncoding::kCodePage437);
  ASSERT_EQ(upper.size(), every_byte.size());
  const std::pair<unsigned char, unsigned char> letters[] = {
      {0x84, 0x8E}, {0x94, 0x99}, {0x81, 0x9A}, {0x82, 0x90},
      {0xA4, 0xA5}, {0x86, 0x8F}, {0x87, 0x80}};  // ä ö ü é ñ å ç
  for (int byte = 1; byte < 256; ++byte) {
    unsigned char expected = static_cast<unsigned char>(byte);
    if (byte >= 'a' && byte <= 'z') expected = static_cast<unsigned char>(byte - 'a' + 'A');
    for (const auto& [lower, capital] : letters) {
      if (byte == lower) expected = capital;
    }
    EXPECT_EQ(static_cast<unsigned char>(upper[byte - 1]), expected) << "byte " << byte;
  }
}

}  // namespace
}  // namespace base
