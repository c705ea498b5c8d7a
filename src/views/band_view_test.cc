#include "views/band_view.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "award/region_tables.h"
#include "console/backend_memory.h"
#include "screen_text.h"

namespace views {
namespace {

// The fifty states in the order of the Band files, with their names.
const award::StateTable& States() {
  static const award::StateTable table = [] {
    award::StateTable filled;
    award::FillStateTable(filled);
    return filled;
  }();
  return table;
}

class BandViewTest : public testing::Test {
 protected:
  void SetUp() override { test::PrepareViewScreen(console_); }

  // Band `band` gets the abbreviations and their count.
  void SetBand(int band, const std::vector<std::string>& abbreviations) {
    award::BandList& list = lists_[band - 1];
    list[0] = std::to_string(abbreviations.size());
    for (size_t i = 0; i < abbreviations.size(); ++i) list[i + 1] = abbreviations[i];
  }

  // The first `n` states of the State table on `band`.
  void SetFirstStates(int band, int n) {
    std::vector<std::string> abbreviations;
    for (int i = 0; i < n; ++i) abbreviations.emplace_back(States()[i].abbreviation);
    SetBand(band, abbreviations);
  }

  // The expected list screen for the first `n` states (no congratulation box).
  test::ScreenBuilder ExpectedList(int n) {
    test::ScreenBuilder screen;
    for (int i = 1; i <= n; ++i) {
      const award::StateRow& state = States()[i - 1];
      if (i <= 38) {
        screen.Put(2 + i, 3, std::string(state.name))
            .Put(2 + i, 20, std::string(state.abbreviation));
      } else {
        screen.Put(i - 36, 35, std::string(state.name))
            .Put(i - 36, 52, std::string(state.abbreviation));
      }
    }
    screen.Put(41, 2, test::Rule(63));
    screen.Put(42, 11,
               "Unconfirmed States: " + std::to_string(n) +
                   "   Confirmed States: " + std::to_string(50 - n) + " ");
    return screen;
  }

  console::MemoryBackend backend_;
  console::Console console_{backend_};
  award::UnconfirmedStateLists lists_;
};

TEST_F(BandViewTest, NothingMissingShowsOnlyTheBox) {
  for (const char* count : {"", "0", " 0"}) {
    SCOPED_TRACE(count);
    lists_[4][0] = count;
    lists_[4][1] = "AL";  // a stale slot above the count is never shown
    console_.ClearScreen();
    ShowBandView(console_, 5, lists_);

    test::ScreenBuilder expected;
    expected.Put(20, 12, "********************************************")
        .Put(21, 12, "*                                          *")
        .Put(22, 12, "*            Congratulation!               *")
        .Put(23, 12, "*                                          *")
        .Put(24, 12, "* You have worked all States on this band! *")
        .Put(25, 12, "*                                          *")
        .Put(26, 12, "********************************************");
    test::ExpectScreen(console_, expected.Rows());
  }
}

TEST_F(BandViewTest, OneStateShowsItsNameAndBothCounts) {
  SetBand(1, {"WY"});
  ShowBandView(console_, 1, lists_);

  const std::vector<std::string> rows = test::ScreenText(console_);
  EXPECT_EQ(rows[2], "  WYOMING          WY                                             ");
  EXPECT_EQ(rows[41], "          Unconfirmed States: 1   Confirmed States: 49            ");
  test::ScreenBuilder expected = ExpectedList(0);
  expected.Put(3, 3, "WYOMING").Put(3, 20, "WY");
  expected.Put(42, 11, "Unconfirmed States: 1   Confirmed States: 49 ");
  test::ExpectScreen(console_, expected.Rows());
}

TEST_F(BandViewTest, ListsFillTheLeftColumnThenTheRight) {
  for (int n : {12, 38, 39, 50}) {
    SCOPED_TRACE(n);
    console_.ClearScreen();
    SetFirstStates(9, n);
    ShowBandView(console_, 9, lists_);
    test::ExpectScreen(console_, ExpectedList(n).Rows());
  }
}

TEST_F(BandViewTest, FullListMatchesItsLiteralRows) {
  SetFirstStates(3, 50);
  ShowBandView(console_, 3, lists_);
  const std::vector<std::string> rows = test::ScreenText(console_);
  EXPECT_EQ(rows[2], "  ALABAMA          AL             RHODE ISLAND     RI             ");
  EXPECT_EQ(rows[13], "  IDAHO            ID             WYOMING          WY             ");
  EXPECT_EQ(rows[14], "  ILLINOIS         IL                                             ");
  EXPECT_EQ(rows[39], "  PENNSYLVANIA     PA                                             ");
  EXPECT_EQ(rows[40], std::string(" ") + test::Rule(63) + "  ");
  EXPECT_EQ(rows[41], "          Unconfirmed States: 50   Confirmed States: 0            ");
  EXPECT_EQ(rows[42], std::string(66, ' '));
}

TEST_F(BandViewTest, ShorterListAfterAnUpdateShowsOnlyItsEntries) {
  SetFirstStates(2, 50);
  SetFirstStates(2, 3);  // slots 4 to 50 still hold the earlier abbreviations
  ShowBandView(console_, 2, lists_);
  test::ExpectScreen(console_, ExpectedList(3).Rows());
}

TEST_F(BandViewTest, LowerCaseAbbreviationIsShownUpperCasedAndStaysSo) {
  SetBand(4, {"ak", "mi"});
  ShowBandView(console_, 4, lists_);

  test::ScreenBuilder expected = ExpectedList(0);
  expected.Put(3, 3, "ALASKA").Put(3, 20, "AK").Put(4, 3, "MICHIGAN").Put(4, 20, "MI");
  expected.Put(42, 11, "Unconfirmed States: 2   Confirmed States: 48 ");
  test::ExpectScreen(console_, expected.Rows());
  EXPECT_EQ(lists_[3][1], "AK");
  EXPECT_EQ(lists_[3][2], "MI");
}

TEST_F(BandViewTest, AbbreviationOutsideTheTableShowsABlankName) {
  // "DC" and "QC" have display names although they are no states; "ZZ" and "A L" have none.
  SetBand(6, {"ZZ", "DC", "QC", "A L"});
  ShowBandView(console_, 6, lists_);

  test::ScreenBuilder expected = ExpectedList(0);
  expected.Put(3, 20, "ZZ");
  expected.Put(4, 3, "DISTRICT OF COLUMBIA").Put(4, 20, "DC");
  expected.Put(5, 3, "Quebec").Put(5, 20, "QC");
  expected.Put(6, 20, "A L");
  expected.Put(42, 11, "Unconfirmed States: 4   Confirmed States: 46 ");
  test::ExpectScreen(console_, expected.Rows());
}

TEST_F(BandViewTest, OverlongAbbreviationIsCutAtTheRowEnd) {
  // A hand-edited Band file: the text would otherwise wrap over the rule and the counts and
  // scroll the screen.
  std::vector<std::string> abbreviations(38, "XX");
  abbreviations.push_back(std::string(500, 'Q'));
  SetBand(7, abbreviations);
  ShowBandView(console_, 7, lists_);

  test::ScreenBuilder expected = ExpectedList(0);
  for (int row = 3; row <= 40; ++row) expected.Put(row, 20, "XX");
  expected.Put(3, 52, std::string(15, 'Q'));
  expected.Put(42, 11, "Unconfirmed States: 39   Confirmed States: 11 ");
  test::ExpectScreen(console_, expected.Rows());
}

TEST_F(BandViewTest, FullListMatchesItsGoldenScreen) {
  SetFirstStates(8, 50);
  ShowBandView(console_, 8, lists_);
  test::ExpectGoldenScreen(console_, "band_view_all_missing");
}

}  // namespace
}  // namespace views
