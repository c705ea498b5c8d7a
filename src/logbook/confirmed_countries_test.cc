// The Confirmed-country list's 400-name limit, which random logs do not reach. (Its rules
// are checked against the literal reference in confirmed_states_test.cc.)
#include "logbook/confirmed_countries.h"

#include <gtest/gtest.h>

#include <string>

#include "logbook/confirmed_states.h"

namespace logbook {
namespace {

std::string Yes(const std::string& rest) { return std::string(kConfirmed) + rest; }

TEST(ConfirmedCountries, KeepsFourHundredNames) {
  award::ConfirmedCountryList list{};
  CountryCollector collector(list);
  for (int i = 0; i < 401; ++i) {
    const std::string name = "C" + std::to_string(i);
    collector.AddConfirmedLine(Yes("<country:" + std::to_string(name.size()) + ">" + name));
  }
  EXPECT_EQ(list[0], "400");
  EXPECT_EQ(list[400], "C399");
}

}  // namespace
}  // namespace logbook
