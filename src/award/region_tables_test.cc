#include "award/region_tables.h"

#include <gtest/gtest.h>

#include <set>

namespace award {
namespace {

TEST(FillStateTable, FiftyStatesInTheOrderOfTheirNames) {
  StateTable table;
  FillStateTable(table);
  EXPECT_EQ(table[21].name, "MICHIGAN ");
  std::set<std::string> distinct;
  for (int row = 0; row < kStateCount; ++row) {
    EXPECT_EQ(table[row].abbreviation.size(), 2u);
    distinct.insert(table[row].abbreviation);
    if (row > 0) {
      EXPECT_LT(table[row - 1].name, table[row].name);
    }
    // The Region name table knows every state by the same name.
    std::string abbreviation = table[row].abbreviation, name;
    LookUpRegionName(abbreviation, name);
    EXPECT_EQ(name, table[row].name) << abbreviation;
  }
  EXPECT_EQ(distinct.size(), 50u);
}

TEST(LookUpRegionName, UpperCasesTheAbbreviationAndMatchesExactly) {
  const struct {
    std::string in, abbreviation, name;
  } cases[] = {
      {"mi", "MI", "MICHIGAN "}, {"DC", "DC", "DISTRICT OF COLUMBIA"},
      {"qc", "QC", "Quebec"},    {"fm", "FM", "FEDERATED STATES OF MICRONESIA"},
      {"XX", "XX", ""},          {"", "", ""},
      {"AL ", "AL ", ""},        {"ala", "ALA", ""},
  };
  for (const auto& c : cases) {
    std::string abbreviation = c.in, name = "stale";
    LookUpRegionName(abbreviation, name);
    EXPECT_EQ(abbreviation + "=" + name, c.abbreviation + "=" + c.name) << c.in;
  }
}

}  // namespace
}  // namespace award
