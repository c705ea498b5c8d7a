// Confirmed states per band: the edge cases of the record rules, and the line-by-line
// extraction against the literal reference on random logs.
#include "logbook/confirmed_states.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "award/band_files.h"
#include "award/region_tables.h"
#include "reference_pipeline.h"
#include "test_util.h"

namespace logbook {
namespace {

// Index of a state in the State table, for reading tallies.
int Row(const std::string& abbreviation) {
  award::StateTable states;
  award::FillStateTable(states);
  for (int row = 0; row < award::kStateCount; ++row) {
    if (states[row].abbreviation == abbreviation) return row;
  }
  return -1;
}

int Count(const award::BandTallies& tallies, int band, const std::string& state) {
  return tallies[band - 1][Row(state)];
}

int Total(const award::BandTallies& tallies) {
  int total = 0;
  for (const auto& band : tallies) {
    for (const int count : band) total += count;
  }
  return total;
}

award::BandTallies CountLines(const std::vector<std::string>& lines) {
  award::BandTallies tallies{};
  for (const std::string& line : lines) CountConfirmedState(line, tallies);
  return tallies;
}

constexpr const char* kUs = "<country:13>United States";
constexpr const char* kYes = "<app_qrzlog_status:1>C";

struct Case {
  const char* name;
  std::string line;
  int band;           // 0: nothing may be counted
  const char* state;  // where the one count goes
};

TEST(ConfirmedStates, RecordRules) {
  const std::string us = kUs;
  const std::string yes = kYes;
  const std::vector<Case> cases = {
      {"lower-case state", yes + us + "<state:2>ny<band:3>20m", 5, "NY"},
      {"DC counts nowhere", yes + us + "<state:2>DC<band:3>20m", 0, ""},
      {"province counts nowhere", yes + "<country:6>Canada<state:2>ON<band:3>20m", 0, ""},
      {"Alaska by country", yes + "<country:6>Alaska<state:2>NY<band:3>40m", 7, "AK"},
      {"Hawaii by country", yes + "<country:6>Hawaii<band:4>160m", 9, "HI"},
      {"AK state of a US record", yes + us + "<state:2>AK<band:3>10m", 1, "AK"},
      {"no state field", yes + us + "<band:3>20m", 0, ""},
      {"band outside the nine", yes + us + "<state:2>NY<band:2>6m", 0, ""},
      {"capital M", yes + us + "<state:2>NY<band:3>20M", 5, "NY"},
      {"capital M on 160m", yes + us + "<state:2>NY<band:4>160M", 9, "NY"},
      {"either case, last in band order", yes + us + "<band:3>40M<state:2>NY<band:3>20m", 7, "NY"},
      {"blank in the value", yes + us + "<state:2>NY<band:3>20 m", 0, ""},
      {"field name in capitals", yes + us + "<state:2>NY<BAND:3>20m", 0, ""},
      {"60M is no band", yes + us + "<state:2>NY<band:3>60M", 0, ""},
      {"status not C", "<app_qrzlog_status:1>N" + us + "<state:2>NY<band:3>20m", 0, ""},
      {"unconfirmed", us + "<state:2>NY<band:3>20m", 0, ""},
      {"length 1 still two characters", yes + us + "<state:1>NY<band:3>20m", 5, "NY"},
      {"two-digit length", yes + us + "<state:10>NY<band:3>20m", 0, ""},
      {"last band wins", yes + us + "<band:4>160m<state:2>TX<band:3>10m", 9, "TX"},
      {"first state field", yes + us + "<state:2>TX<state:2>NY<band:3>20m", 5, "TX"},
      {"state at the line end", yes + us + "<band:3>20m<state:2>N", 0, ""},
      {"match inside a value", "<comment:40>" + yes + us + "<state:2>ME<band:3>17m", 4, "ME"},
  };
  for (const Case& c : cases) {
    const award::BandTallies tallies = CountLines({c.line});
    if (c.band == 0) {
      EXPECT_EQ(Total(tallies), 0) << c.name;
    } else {
      EXPECT_EQ(Total(tallies), 1) << c.name;
      EXPECT_EQ(Count(tallies, c.band, c.state), 1) << c.name;
    }
  }
}

TEST(ConfirmedStates, CountsAddUpPerBand) {
  const std::string line = std::string(kYes) + kUs + "<state:2>OH<band:3>20m";
  const std::string other = std::string(kYes) + kUs + "<state:2>OH<band:3>40m";
  std::vector<std::string> lines(12, line);
  lines.push_back(other);
  lines.push_back(std::string(kYes) + kUs + "<band:3>20m");  // changes nothing after it
  lines.push_back(line);
  const award::BandTallies tallies = CountLines(lines);
  EXPECT_EQ(Count(tallies, 5, "OH"), 13);
  EXPECT_EQ(Count(tallies, 7, "OH"), 1);
  EXPECT_EQ(Total(tallies), 14);
  EXPECT_NE(award::FormatBandFile(tallies[4]).find("OH, 13\r\n"), std::string::npos);
}

TEST(ConfirmedStates, MissingAndEmptyFiles) {
  test::ScopedTempDir dir;
  EXPECT_EQ(Total(ExtractConfirmedStates(dir.Join("missing.adi"))), 0);
  test::WriteFile(dir.Join("empty.adi"), "");
  EXPECT_EQ(Total(ExtractConfirmedStates(dir.Join("empty.adi"))), 0);
}

// Random logs built from the pieces the rules look at, against the literal reference.
std::string RandomLog(std::mt19937& random) {
  const std::vector<std::string> pieces = {kYes,
                                           "<app_qrzlog_status:1>c",
                                           kUs,
                                           "<country:6>Alaska",
                                           "<country:6>Hawaii",
                                           "<country:5>Japan",
                                           "<state:2>ny",
                                           "<state:2>NY",
                                           "<state:2>DC",
                                           "<state:1>",
                                           "<state:",
                                           "<state:2>tx",
                                           "<band:3>20m",
                                           "<band:3>10m",
                                           "<band:4>160m",
                                           "<band:3>20M",
                                           "<band:3>80m",
                                           "\r",
                                           "\r\n",
                                           "\n",
                                           "<eor>",
                                           "x",
                                           " ",
                                           "\xc3\xa4",
                                           "<",
                                           "<band:",
                                           "<country:"};
  std::string log;
  const int length = static_cast<int>(random() % 300);
  for (int i = 0; i < length; ++i) log += pieces[random() % pieces.size()];
  if (random() % 20 == 0) log += "\x1a" + std::string(kYes) + kUs + "<state:2>NY<band:3>20m";
  return log;
}

TEST(ConfirmedStatesDifferential, RandomLogsMatchTheReference) {
  test::ScopedTempDir dir;
  const std::string path = dir.Join("log.adi");
  std::mt19937 random(42);
  for (int round = 0; round < 300; ++round) {
    const std::string log = RandomLog(random);
    test::WriteFile(path, log);
    const award::BandTallies tallies = ExtractConfirmedStates(path);
    const auto expected = reference::BandFiles(log);
    for (int band = 1; band <= award::kBandCount; ++band) {
      ASSERT_EQ(award::FormatBandFile(tallies[band - 1]), expected[band - 1])
          << "band " << band << " log " << ::testing::PrintToString(log);
    }
  }
}

}  // namespace
}  // namespace logbook
