#include "award/band_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "test_util.h"

namespace award {
namespace {

class BandFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { FillStateTable(states_); }
  std::string Folder() const { return dir_.path() + "/"; }
  void WriteBand(int band, const std::string& content) const {
    test::WriteFile(Folder() + BandFileName(band), content);
  }
  // The unconfirmed states of `band` after a load.
  std::vector<std::string> Unconfirmed(int band) {
    LoadBandFiles(Folder(), lists_);
    const BandList& list = lists_[band - 1];
    return {list.begin() + 1, list.begin() + 1 + std::stoi(list[0])};
  }
  test::ScopedTempDir dir_;
  UnconfirmedStateLists lists_;
  StateTable states_;
};

TEST_F(BandFilesTest, TheProgramsOwnFileReadsBack) {
  std::array<int, kStateCount> counts{};
  counts.fill(2);
  counts[49] = 0;  // only WY unconfirmed
  const std::string text = FormatBandFile(counts);
  EXPECT_TRUE(text.starts_with("AL, 2\r\nAK, 2\r\n")) << text;
  EXPECT_TRUE(text.ends_with("\r\nWI, 2\r\nWY,\r\n")) << text;
  WriteBand(1, text);
  WriteBand(2, FormatBandFile({}));
  EXPECT_EQ(Unconfirmed(1), std::vector<std::string>{"WY"});
  EXPECT_EQ(Unconfirmed(2).size(), 50u);
  EXPECT_EQ(SumBandFiles(Folder(), states_)[0], 2);
}

// Files saved by other editors read like the program's own, and a band without a Band
// file (or with an empty one) has never been synchronised, so nothing is confirmed on it.
TEST_F(BandFilesTest, ReadsEveryLineEndAndListsAllStatesWithoutAFile) {
  std::vector<std::string> all;
  for (const StateRow& state : states_) all.push_back(state.abbreviation);
  const std::string mark = "\xEF\xBB\xBF";  // the UTF-8 byte order mark
  const struct {
    std::optional<std::string> content;  // nullopt: no file
    std::vector<std::string> unconfirmed;
    int alaska;  // AK's sum
  } cases[] = {
      {std::nullopt, all, 0},
      {"", all, 0},
      {"AL,\nAK, 3\nAZ,\n", {"AL", "AZ"}, 3},
      {"AL,\rAK, 3\nAZ,", {"AL", "AZ"}, 3},  // no line end after the last record
      {mark + "AL,\r\nAK, 3\r\nAZ,\r\n", {"AL", "AZ"}, 3},
      // Hand-made: fields as written, a record without a count field.
      {"wy,\r\n\"D,C\",\r\nAK, 3\r\nTX", {"wy", "D,C", "TX"}, 3},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(Folder() + BandFileName(4));
    if (c.content) WriteBand(4, *c.content);
    EXPECT_EQ(Unconfirmed(4), c.unconfirmed) << c.content.value_or("(no file)");
    EXPECT_EQ(SumBandFiles(Folder(), states_)[1], c.alaska) << c.content.value_or("(no file)");
  }
  std::string many;
  for (int i = 0; i < 60; ++i) many += "S" + std::to_string(i) + ",\r\n";
  WriteBand(9, many);
  EXPECT_EQ(Unconfirmed(9).back(), "S49");  // at most fifty
}

TEST_F(BandFilesTest, SumsOnlyExactAbbreviationsOverTheNineFilesWithoutOverflow) {
  WriteBand(1, "AL, 3\r\nWY, 2\r\n");
  WriteBand(9, "AL, 4\r\nMI, 7\r\n");
  // Only an exact abbreviation counts: not lower case, not with blanks, not unknown ones.
  WriteBand(4, "al, 5\r\n AK , 6\r\nXX, 7\r\nAZ,x\r\nCA, 9\r\n");
  StateSums expected{};
  expected[0] = 7;   // AL on 10m and 160m
  expected[4] = 9;   // CA
  expected[21] = 7;  // MI
  expected[49] = 2;  // WY
  EXPECT_EQ(SumBandFiles(Folder(), states_), expected);
  for (int band = 1; band <= kBandCount; ++band) WriteBand(band, "TX, 2000000000\r\n");
  EXPECT_EQ(SumBandFiles(Folder(), states_)[42], 18'000'000'000);
}

}  // namespace
}  // namespace award
