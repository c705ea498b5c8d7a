#include "views/all_bands_summary.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "award/region_tables.h"
#include "console/backend_memory.h"
#include "screen_text.h"
#include "test_util.h"

namespace views {
namespace {

constexpr std::array<const char*, 9> kBandFiles = {"10m.txt", "12m.txt", "15m.txt",
                                                   "17m.txt", "20m.txt", "30m.txt",
                                                   "40m.txt", "80m.txt", "160m.txt"};

award::StateTable TestStateTable() {
  award::StateTable table;
  award::FillStateTable(table);
  return table;
}

// A Band file as the extraction writes it: 50 records, the count field empty for 0.
std::string BandFile(const award::StateTable& states, const std::map<std::string, int>& counts) {
  std::string text;
  for (const award::StateRow& state : states) {
    text += state.abbreviation + ",";
    const auto found = counts.find(state.abbreviation);
    if (found != counts.end()) {
      text += ' ';
      text += std::to_string(found->second);
    }
    text += "\r\n";
  }
  return text;
}

class AllBandsSummaryTest : public testing::Test {
 protected:
  void SetUp() override { test::PrepareViewScreen(console_); }

  void WriteBand(int band, const std::string& content) {
    test::WriteFile(folder_.Join(kBandFiles[band - 1]), content);
  }

  void Draw() {
    console_.ClearScreen();
    ShowAllBandsSummary(console_, folder_.path() + "/", states_);
  }

  // The expected screen for `counters` (State table order), without the congratulation.
  test::ScreenBuilder BuildScreen(const std::array<int, 50>& counters) {
    test::ScreenBuilder screen;
    int total = 0;
    int unconfirmed = 0;
    for (int i = 1; i <= 50; ++i) {
      const std::string number = ' ' + std::to_string(counters[i - 1]) + ' ';
      const int row = i <= 38 ? 2 + i : i - 36;
      screen.Put(row, i <= 38 ? 3 : 35, states_[i - 1].name).Put(row, i <= 38 ? 20 : 52, number);
      total += counters[i - 1];
      if (counters[i - 1] == 0) ++unconfirmed;
    }
    screen.Put(41, 2, test::Rule(63));
    screen.Put(42, 3,
               "  Total Confirmed: " + std::to_string(total) +
                   "   Unconfirmed: " + std::to_string(unconfirmed) +
                   "   Confirmed: " + std::to_string(50 - unconfirmed) + " ");
    return screen;
  }

  test::ScopedTempDir folder_;
  award::StateTable states_ = TestStateTable();
  console::MemoryBackend backend_;
  console::Console console_{backend_};
};

TEST_F(AllBandsSummaryTest, NoBandFilesShowsEveryStateAtZero) {
  Draw();
  const std::vector<std::string> rows = test::ScreenText(console_);
  EXPECT_EQ(rows[2], "  ALABAMA           0             RHODE ISLAND      0             ");
  EXPECT_EQ(rows[41], "    Total Confirmed: 0   Unconfirmed: 50   Confirmed: 0           ");
  test::ExpectScreen(console_, BuildScreen({}).Rows());
  EXPECT_EQ(console_.foreground(), 15);
  EXPECT_EQ(console_.background(), 1);
}

TEST_F(AllBandsSummaryTest, StateCountedOnTwoBandsShowsTheSum) {
  WriteBand(5, BandFile(states_, {{"NY", 2}}));  // 20m
  WriteBand(9, BandFile(states_, {{"NY", 1}}));  // 160m
  Draw();
  std::array<int, 50> counters{};
  counters[31] = 3;
  test::ExpectScreen(console_, BuildScreen(counters).Rows());
  EXPECT_EQ(test::ScreenText(console_)[41],
            "    Total Confirmed: 3   Unconfirmed: 49   Confirmed: 1           ");
}

TEST_F(AllBandsSummaryTest, TotalCountsContactsWhileConfirmedCountsStates) {
  WriteBand(1, BandFile(states_, {{"WY", 10}}));
  Draw();
  std::array<int, 50> counters{};
  counters[49] = 10;
  test::ExpectScreen(console_, BuildScreen(counters).Rows());
}

TEST_F(AllBandsSummaryTest, EveryStateConfirmedDrawsTheCongratulation) {
  std::map<std::string, int> all;
  for (const award::StateRow& state : states_) all[state.abbreviation] = 1;
  WriteBand(2, BandFile(states_, all));
  WriteBand(3, BandFile(states_, {{"TX", 4}}));
  Draw();

  std::array<int, 50> counters;
  counters.fill(1);
  counters[42] = 5;
  test::ScreenBuilder expected = BuildScreen(counters);
  expected.Put(30, 35, test::Rule(24), 0x1E)
      .Put(32, 35, "    Congratulation!")
      .Put(34, 35, "  You worked them all!")
      .Put(36, 35, test::Rule(24), 0x1E);
  test::ExpectScreen(console_, expected.Rows());
  EXPECT_EQ(test::ScreenText(console_)[29],
            "  NEVADA            1             {y:" + test::Rule(24) + "}" + std::string(8, ' '));
  EXPECT_EQ(console_.foreground(), 15);
  EXPECT_EQ(console_.background(), 1);

  // One state without a contact: no congratulation.
  all["AZ"] = 0;
  std::map<std::string, int> without_arizona = all;
  without_arizona.erase("AZ");
  WriteBand(2, BandFile(states_, without_arizona));
  Draw();
  counters[2] = 0;
  test::ExpectScreen(console_, BuildScreen(counters).Rows());
}

TEST_F(AllBandsSummaryTest, LowerCaseAndUnknownAbbreviationsAddNothing) {
  WriteBand(4, "ny, 5\r\nXX, 7\r\nNY , 2\r\n\"NY\", 1\r\n NY, 3\r\n");
  Draw();
  // "ny", "XX" and "NY " (a blank before the comma) match no row; the quoted and the
  // blank-led "NY" do.
  std::array<int, 50> counters{};
  counters[31] = 4;
  test::ExpectScreen(console_, BuildScreen(counters).Rows());
}

TEST_F(AllBandsSummaryTest, MichiganCountStandsInColumnTwenty) {
  WriteBand(8, BandFile(states_, {{"MI", 12}}));
  Draw();
  EXPECT_EQ(test::ScreenText(console_)[23],
            "  MICHIGAN          12                                            ");
}

TEST_F(AllBandsSummaryTest, FilesAreReadAgainAtEveryDrawing) {
  WriteBand(1, BandFile(states_, {{"AL", 1}}));
  Draw();
  WriteBand(1, BandFile(states_, {{"AL", 2}}));
  Draw();
  std::array<int, 50> counters{};
  counters[0] = 2;
  test::ExpectScreen(console_, BuildScreen(counters).Rows());
}

TEST_F(AllBandsSummaryTest, CongratulationMatchesItsGoldenScreen) {
  std::map<std::string, int> all;
  for (int i = 0; i < 50; ++i) all[states_[i].abbreviation] = i + 1;
  WriteBand(1, BandFile(states_, all));
  WriteBand(9, BandFile(states_, {{"MI", 100}}));
  Draw();
  test::ExpectGoldenScreen(console_, "all_bands_summary_all_confirmed");
}

}  // namespace
}  // namespace views
