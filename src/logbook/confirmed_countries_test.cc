// Confirmed countries: the list rules, the 400-name limit, and the line-by-line extraction
// against the literal reference on random logs.
#include "logbook/confirmed_countries.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "award/country_file.h"
#include "reference_pipeline.h"
#include "test_util.h"

namespace logbook {
namespace {

constexpr const char* kYes = "<app_qrzlog_status:1>C";

award::ConfirmedCountryList Collect(const std::vector<std::string>& lines,
                                    award::ConfirmedCountryList list = {}) {
  CountryCollector collector(list);
  for (const std::string& line : lines) collector.AddLine(line);
  return list;
}

std::string Yes(const std::string& rest) { return kYes + rest; }

TEST(ConfirmedCountries, ListRules) {
  const award::ConfirmedCountryList list = Collect({
      Yes("<country:5>Japan"), Yes("<country:5>JAPAN"), Yes("<country:5>japan"),
      Yes("<country:13>United States"), Yes("<country:6>Alaska"), Yes("<country:6>Hawaii"),
      "<country:6>Brazil",                      // unconfirmed
      Yes("<call:4>W1AW"),                      // no country field
      Yes("<country:0>"), Yes("<country:0>x"),  // an empty name, once
      Yes("<country:99>Short"),                 // runs past the line end
      Yes("<country:7"),                        // no ">": nothing
      Yes("<country: 3>Ita"),                   // blanks before the length
      Yes("<country:-2>Neg"),                   // a negative length reads no characters
  });
  const std::vector<std::string> expected = {"JAPAN", "UNITED STATES", "ALASKA", "HAWAII",
                                             "",      "SHORT",         "ITA"};
  EXPECT_EQ(list[0], std::to_string(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(list[i + 1], expected[i]) << i;
  EXPECT_EQ(list[expected.size() + 1], "");
}

TEST(ConfirmedCountries, AppendsAfterLoadedNamesAndKeepsFourHundred) {
  award::ConfirmedCountryList list{};
  list[0] = "2";
  list[1] = "ZAMBIA";
  list[2] = "ITALY";
  list = Collect({Yes("<country:5>Italy"), Yes("<country:5>Chile")}, list);
  EXPECT_EQ(list[0], "3");
  EXPECT_EQ(list[3], "CHILE");

  award::ConfirmedCountryList full{};
  std::vector<std::string> lines;
  for (int i = 0; i < 401; ++i) {
    const std::string name = "C" + std::to_string(i);
    lines.push_back(Yes("<country:" + std::to_string(name.size()) + ">" + name));
  }
  full = Collect(lines, full);
  EXPECT_EQ(full[0], "400");
  EXPECT_EQ(full[400], "C399");
}

TEST(ConfirmedCountries, SecondRunAddsNothing) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join("log.adi");
  test::WriteFile(path, Yes("<country:5>Japan\r\n") + Yes("<country:5>Chile\r\n"));
  award::ConfirmedCountryList list{};
  ExtractConfirmedCountries(list, path);
  const award::ConfirmedCountryList once = list;
  ExtractConfirmedCountries(list, path);
  EXPECT_EQ(list, once);
  EXPECT_EQ(award::FormatCountryFile(list), "2\r\nJAPAN\r\nCHILE\r\n");
}

std::string RandomLog(std::mt19937& random) {
  const std::vector<std::string> pieces = {kYes,
                                           "<app_qrzlog_status:1>N",
                                           "<country:5>Japan",
                                           "<country:5>japan",
                                           "<country:3>Ita",
                                           "<country:",
                                           "<country:x>",
                                           "<country:0>",
                                           "<country:40>",
                                           "<country: 2>ab",
                                           ">",
                                           "\r",
                                           "\r\n",
                                           "\n",
                                           "a",
                                           "Z",
                                           "\xc3\xa4",
                                           "\xc3\xb6",
                                           " ",
                                           "<eor>"};
  std::string log;
  const int length = static_cast<int>(random() % 200);
  for (int i = 0; i < length; ++i) log += pieces[random() % pieces.size()];
  return log;
}

TEST(ConfirmedCountriesDifferential, RandomLogsMatchTheReference) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join("log.adi");
  std::mt19937 random(99);
  for (int round = 0; round < 300; ++round) {
    const std::string log = RandomLog(random);
    test::WriteFile(path, log);
    award::ConfirmedCountryList start{};
    if (round % 3 == 0) {
      start[0] = "1";
      start[1] = "JAPAN";
    }
    award::ConfirmedCountryList actual = start;
    award::ConfirmedCountryList expected = start;
    ExtractConfirmedCountries(actual, path);
    reference::AddCountries(log, expected);
    ASSERT_EQ(actual, expected) << ::testing::PrintToString(log);
  }
}

}  // namespace
}  // namespace logbook
