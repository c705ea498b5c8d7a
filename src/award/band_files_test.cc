#include "award/band_files.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "test_util.h"

namespace award {
namespace {

std::array<int, kStateCount> Counts(std::initializer_list<std::pair<int, int>> rows) {
  std::array<int, kStateCount> counts{};
  for (const auto& [row, count] : rows) counts[row - 1] = count;
  return counts;
}

TEST(FormatBandFile, FiftyCrLfLinesWithABlankBeforeEachCount) {
  const std::string text = FormatBandFile(Counts({{1, 3}, {22, 12}, {50, 1}}));
  EXPECT_TRUE(text.starts_with("AL, 3\r\nAK,\r\nAZ,\r\n")) << text;
  EXPECT_NE(text.find("\r\nMI, 12\r\nMN,\r\n"), std::string::npos);
  EXPECT_TRUE(text.ends_with("\r\nWI,\r\nWY, 1\r\n"));
  size_t lines = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 50u);
}

class LoadBandFilesTest : public ::testing::Test {
 protected:
  std::string Folder() const { return dir_.path() + "/"; }
  void WriteBand(int band, const std::string& content) const {
    test::WriteFile(Folder() + BandFileName(band), content);
  }
  test::ScopedTempDir dir_;
  UnconfirmedStateLists lists_;
};

TEST_F(LoadBandFilesTest, KeepsTheStatesWithoutACountInFileOrder) {
  std::array<int, kStateCount> all{};
  all.fill(2);
  all[49] = 0;  // only WY unconfirmed
  WriteBand(1, FormatBandFile(all));
  WriteBand(2, FormatBandFile({}));
  all.fill(1);
  WriteBand(3, FormatBandFile(all));
  lists_[2][0] = "7";  // an earlier load's count does not survive
  LoadBandFiles(Folder(), lists_);

  EXPECT_EQ(lists_[0][0], "1");
  EXPECT_EQ(lists_[0][1], "WY");
  EXPECT_EQ(lists_[1][0], "50");
  EXPECT_EQ(lists_[1][1], "AL");
  EXPECT_EQ(lists_[1][50], "WY");
  EXPECT_EQ(lists_[2][0], "0");
}

// Files saved by other editors read like the program's own, and a band without a Band
// file (or with an empty one) has never been synchronised, so nothing is confirmed on it.
TEST_F(LoadBandFilesTest, ReadsEveryLineEndAndListsAllStatesWithoutAFile) {
  struct Case {
    std::optional<std::string> content;  // nullopt: no file
    std::vector<std::string> unconfirmed;
  };
  StateTable states;
  FillStateTable(states);
  std::vector<std::string> all;
  for (const StateRow& state : states) all.push_back(state.abbreviation);
  const std::string mark = "\xEF\xBB\xBF";  // the UTF-8 byte order mark
  const Case cases[] = {
      {std::nullopt, all},
      {"", all},
      {"AL,\r\nAK, 3\r\nAZ,\r\n", {"AL", "AZ"}},
      {"AL,\nAK, 3\nAZ,\n", {"AL", "AZ"}},
      {"AL,\rAK, 3\nAZ,", {"AL", "AZ"}},  // no line end after the last record
      {mark + "AL,\r\nAK, 3\r\nAZ,\r\n", {"AL", "AZ"}},
      {mark + "AL,\nAK, 3\nAZ,", {"AL", "AZ"}},
  };
  for (const Case& c : cases) {
    test::ScopedTempDir dir;
    const std::string folder = dir.path() + "/";
    if (c.content) test::WriteFile(folder + BandFileName(4), *c.content);
    LoadBandFiles(folder, lists_);
    const BandList& list = lists_[3];
    const int count = std::stoi(list[0]);
    EXPECT_EQ(std::vector<std::string>(list.begin() + 1, list.begin() + 1 + count), c.unconfirmed)
        << c.content.value_or("(no file)");
    const bool any = c.content && !c.content->empty();
    EXPECT_EQ(SumBandFiles(folder, states)[1], any ? 3 : 0) << c.content.value_or("(no file)");
  }
}

TEST_F(LoadBandFilesTest, ReadsHandMadeFilesAsFieldsAndKeepsAtMostFifty) {
  WriteBand(1, "wy,\r\n\"D,C\",\r\nAL, 3\r\nTX");  // the last record has no count field
  std::string many;
  for (int i = 0; i < 60; ++i) many += "S" + std::to_string(i) + ",\r\n";
  WriteBand(9, many);
  LoadBandFiles(Folder(), lists_);
  EXPECT_EQ(lists_[0][0], "3");
  EXPECT_EQ(lists_[0][1], "wy");
  EXPECT_EQ(lists_[0][2], "D,C");
  EXPECT_EQ(lists_[0][3], "TX");
  EXPECT_EQ(lists_[8][0], "50");
  EXPECT_EQ(lists_[8][50], "S49");
}

class SumBandFilesTest : public LoadBandFilesTest {
 protected:
  void SetUp() override { FillStateTable(states_); }
  StateTable states_;
};

TEST_F(SumBandFilesTest, AddsEachStatesCountsOverTheNineFiles) {
  WriteBand(1, FormatBandFile(Counts({{1, 3}, {50, 2}})));
  WriteBand(9, FormatBandFile(Counts({{1, 4}, {22, 7}})));
  const StateSums sums = SumBandFiles(Folder(), states_);
  EXPECT_EQ(sums[0], 7);   // AL on 10m and 160m
  EXPECT_EQ(sums[21], 7);  // MI on 160m only
  EXPECT_EQ(sums[49], 2);  // WY on 10m only
  EXPECT_EQ(sums[1], 0);   // AK nowhere
}

TEST_F(SumBandFilesTest, MissingFilesAndStrangeRecordsAddNothing) {
  EXPECT_EQ(SumBandFiles(Folder(), states_), StateSums{});
  // Only an exact abbreviation counts: not lower case, not with blanks, not unknown ones.
  WriteBand(4, "al, 5\r\n AK , 6\r\nXX, 7\r\nAZ,x\r\nCA, 9\r\n");
  const StateSums sums = SumBandFiles(Folder(), states_);
  EXPECT_EQ(sums[0], 0);
  EXPECT_EQ(sums[1], 0);
  EXPECT_EQ(sums[2], 0);
  EXPECT_EQ(sums[4], 9);  // CA
}

TEST_F(SumBandFilesTest, SumsBeyondTheRangeOfIntDoNotOverflow) {
  for (int band = 1; band <= kBandCount; ++band) WriteBand(band, "TX, 2000000000\r\n");
  EXPECT_EQ(SumBandFiles(Folder(), states_)[42], 18'000'000'000);
}

}  // namespace
}  // namespace award
