#include "award/region_tables.h"

#include <gtest/gtest.h>

#include <set>

namespace award {
namespace {

TEST(FillStateTable, FiftyStatesInTheOrderOfTheirNames) {
  StateTable table;
  table[0].abbreviation = "junk";
  FillStateTable(table);
  EXPECT_EQ(table[0].abbreviation, "AL");
  EXPECT_EQ(table[0].name, "ALABAMA");
  EXPECT_EQ(table[13].abbreviation, "IN");  // Indiana before Iowa
  EXPECT_EQ(table[14].abbreviation, "IA");
  EXPECT_EQ(table[19].abbreviation, "MD");  // Maryland before Massachusetts
  EXPECT_EQ(table[20].abbreviation, "MA");
  EXPECT_EQ(table[20].name, "MASSACHUSETTS");
  EXPECT_EQ(table[21].abbreviation, "MI");
  EXPECT_EQ(table[21].name, "MICHIGAN ");
  EXPECT_EQ(table[49].abbreviation, "WY");
  EXPECT_EQ(table[49].name, "WYOMING");
  std::set<std::string> distinct;
  for (const StateRow& row : table) {
    EXPECT_EQ(row.abbreviation.size(), 2u);
    distinct.insert(row.abbreviation);
  }
  EXPECT_EQ(distinct.size(), 50u);
  for (int row = 1; row < kStateCount; ++row) EXPECT_LT(table[row - 1].name, table[row].name);
}

TEST(LookUpRegionName, UpperCasesTheAbbreviationAndMatchesExactly) {
  struct Case {
    std::string in;
    std::string abbreviation;
    std::string name;
  };
  const Case cases[] = {
      {"mi", "MI", "MICHIGAN "},
      {"WY", "WY", "WYOMING"},
      {"DC", "DC", "DISTRICT OF COLUMBIA"},
      {"qc", "QC", "Quebec"},
      {"fm", "FM", "FEDERATED STATES OF MICRONESIA"},
      {"YT", "YT", "Yukon"},
      {"XX", "XX", ""},
      {"", "", ""},
      {"AL ", "AL ", ""},
      {" AL", " AL", ""},
      {"ala", "ALA", ""},
  };
  for (const Case& c : cases) {
    std::string abbreviation = c.in;
    std::string name = "stale";
    LookUpRegionName(abbreviation, name);
    EXPECT_EQ(abbreviation, c.abbreviation) << c.in;
    EXPECT_EQ(name, c.name) << c.in;
  }
}

TEST(LookUpRegionName, KnowsEveryStateOfTheStateTable) {
  StateTable table;
  FillStateTable(table);
  for (const StateRow& row : table) {
    std::string abbreviation = row.abbreviation;
    std::string name;
    LookUpRegionName(abbreviation, name);
    EXPECT_EQ(name, row.name) << row.abbreviation;
  }
}

}  // namespace
}  // namespace award
