// The award's lists read from the Band files and the Country file as other editors may have
// saved them.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "award/band_files.h"
#include "award/country_file.h"
#include "award/region_tables.h"
#include "test_util.h"

namespace award {
namespace {

using Names = std::vector<std::string>;
const std::string kMark = "\xEF\xBB\xBF";  // the UTF-8 byte order mark

class AwardFilesTest : public ::testing::Test {
 protected:
  AwardFilesTest() : folder_(dir_.path() + "/") { FillStateTable(states_); }
  void WriteBand(int band, const std::string& content) const {
    test::WriteFile(folder_ + BandFileName(band), content);
  }
  // The unconfirmed states of `band` after a load.
  Names Unconfirmed(int band) {
    UnconfirmedStateLists lists;
    LoadBandFiles(folder_, lists);
    const BandList& list = lists[band - 1];
    return {list.begin() + 1, list.begin() + 1 + std::stoi(list[0])};
  }

  test::ScopedTempDir dir_;
  std::string folder_;
  StateTable states_;
};

// Any line end reads; a band without a Band file (or an empty one) was never synchronised.
TEST_F(AwardFilesTest, ABandFileListsItsUnconfirmedStatesAndCountsWhateverTheLineEnds) {
  Names all;
  for (const StateRow& state : states_) all.push_back(state.abbreviation);
  const struct {
    std::optional<std::string> content;  // nullopt: no file
    Names unconfirmed;
    int alaska;  // AK's sum
  } cases[] = {
      {std::nullopt, all, 0},
      {"", all, 0},
      {"AL,\rAK, 3\nAZ,", {"AL", "AZ"}, 3},  // no line end after the last record
      {kMark + "AL,\r\nAK, 3\r\nAZ,\r\n", {"AL", "AZ"}, 3},
      // Hand-made: fields as written, a record without a count field.
      {"wy,\r\n\"D,C\",\r\nAK, 3\r\nTX", {"wy", "D,C", "TX"}, 3},
      {"ak, 5\r\n AK , 6\r\nAK,x\r\n", {}, 0},  // only the exact abbreviation counts
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content.value_or("(no file)"));
    std::filesystem::remove(folder_ + BandFileName(4));
    if (c.content) WriteBand(4, *c.content);
    EXPECT_EQ(Unconfirmed(4), c.unconfirmed);
    EXPECT_EQ(SumBandFiles(folder_, states_)[1], c.alaska);
  }
  std::string many;
  for (int i = 0; i < 60; ++i) many += "S" + std::to_string(i) + ",\r\n";
  WriteBand(9, many);
  EXPECT_EQ(Unconfirmed(9).back(), "S49");  // at most fifty
  // The sum is over the nine files, and is not bounded by an int.
  for (int band = 1; band <= kBandCount; ++band) WriteBand(band, "AK, 2000000000\r\n");
  EXPECT_EQ(SumBandFiles(folder_, states_)[1], 18'000'000'000);
}

// The first line is the count, kept as read; the names follow, at most four hundred.
TEST_F(AwardFilesTest, TheCountryFileReadsBackAsItsCountSays) {
  std::string many = "450\r\n";
  for (int i = 1; i <= 450; ++i) many += "C" + std::to_string(i) + "\r\n";
  const std::pair<std::optional<std::string>, std::string> cases[] = {
      {kMark + "2\rCANADA\nJAPAN", "2\r\nCANADA\r\nJAPAN\r\n"},
      {" 2\r\nCANADA\r\n", " 2\r\nCANADA\r\n\r\n"},
      {std::nullopt, "\r\n"},
      {many, many.substr(0, many.find("C401")).replace(0, 3, "400")},
  };
  for (const auto& [content, expected] : cases) {
    SCOPED_TRACE(content.value_or("(no file)").substr(0, 20));
    std::filesystem::remove(folder_ + std::string(kCountryFileName));
    if (content) test::WriteFile(folder_ + std::string(kCountryFileName), *content);
    ConfirmedCountryList list;
    list.fill("stale");
    LoadCountryFile(folder_, list);
    EXPECT_EQ(FormatCountryFile(list), expected);
  }
}

}  // namespace
}  // namespace award
