// Both extractions, confirmed states per band and confirmed countries, line by line as the
// update runs them, against the literal reference on random logs.
#include "logbook/confirmed_states.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "logbook/confirmed_countries.h"
#include "reference_pipeline.h"

namespace logbook {
namespace {

TEST(ConfirmedStates, BothExtractionsMatchTheReference) {
  // The fields and values the rules look at, and their near misses.
  const std::vector<std::string> pieces = {
      // Confirmation and countries.
      "<app_qrzlog_status:1>C", "<app_qrzlog_status:1>c", "<app_qrzlog_status:1>N",
      "<country:13>United States", "<country:6>Alaska", "<country:6>Hawaii", "<country:6>Canada",
      "<country:5>Japan", "<country:5>japan", "<country:", "<country:x>", "<country:0>",
      "<country:40>", "<country: 2>ab", "<country:-2>",
      // States.
      "<state:2>ny", "<state:2>TX", "<state:2>DC", "<state:2>ON", "<state:1>", "<state:10>",
      "<stat", "<state:",
      // Bands and other fields.
      "<band:3>20m", "<band:3>10m", "<band:4>160m", "<band:3>40M", "<band:4>160M", "<band:3>20 m",
      "<BAND:3>20m", "<band:2>6m", "<band:3>60M", "<band:", "<comment:40>",
      // Line ends and other bytes.
      "\r", "\r\n", "\n", "<eor>", "x", " ", "\xc3\xa4", "<", ">"};
  std::mt19937 random(42);
  for (int round = 0; round < 1000; ++round) {
    // The first log starts with a state field that ends its line: too short for a value.
    std::string log = round == 0 ? "<app_qrzlog_status:1>C<band:3>20m<country:13>United "
                                   "States<state:1>\r"
                                 : "";
    for (int i = static_cast<int>(random() % 300); i > 0; --i) {
      log += pieces[random() % pieces.size()];
    }
    award::BandTallies tallies{};
    award::ConfirmedCountryList countries{};
    if (round % 3 == 0) countries = {"1", "JAPAN"};
    if (round % 3 == 1) {  // one name short of the limit of the list
      countries[0] = std::to_string(award::kMaxCountries - 1);
      for (int i = 1; i < award::kMaxCountries; ++i) countries[i] = "C" + std::to_string(i);
    }
    award::ConfirmedCountryList expected = countries;
    {
      CountryCollector collector(countries);
      for (const std::string& line : reference::SplitLines(log)) {
        if (CountConfirmedState(line, tallies)) collector.AddConfirmedLine(line);
      }
    }
    const auto bands = reference::BandFiles(log);
    for (int band = 1; band <= award::kBandCount; ++band) {
      ASSERT_EQ(award::FormatBandFile(tallies[band - 1]), bands[band - 1])
          << "band " << band << " log " << ::testing::PrintToString(log);
    }
    reference::AddCountries(log, expected);
    ASSERT_EQ(countries, expected) << ::testing::PrintToString(log);
  }
}

}  // namespace
}  // namespace logbook
