#include "base/upper_case.h"

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(UpperCase, LettersAndTheSevenAccentedOnesOnly) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"k1abc", "K1ABC"},
      {"az AZ 09 {}`@", "AZ AZ 09 {}`@"},
      {"\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA9\xC3\xB1\xC3\xA5\xC3\xA7",  // äöüéñåç
       "\xC3\x84\xC3\x96\xC3\x9C\xC3\x89\xC3\x91\xC3\x85\xC3\x87"},
      {"\xC3\xA0\xC3\xBF\xC3\xAB", "\xC3\xA0\xC3\xBF\xC3\xAB"},  // à ÿ ë stay
      {"\xC3", "\xC3"},                                          // a cut sequence stays
      {"\xC3\xC3\xA4", "\xC3\xC3\xA4"},  // the second C3 is the first's partner, not a lead
      {"\xA4x", "\xA4X"},                // a stray continuation byte stays
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(UpperCase(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace base
