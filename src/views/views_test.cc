// The views against golden screens (tests/golden/), and the pager's keys.
#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <string>
#include <vector>

#include "award/band_files.h"
#include "award/region_tables.h"
#include "screen_text.h"
#include "test_util.h"
#include "views/all_bands_summary.h"
#include "views/band_view.h"
#include "views/country_pager.h"

namespace views {
namespace {

// The screen as the main screen leaves it for a view: 43 x 66, blank in the Normal colours.
class ViewTest : public testing::Test {
 protected:
  ViewTest() {
    std::setlocale(LC_ALL, "C.UTF-8");
    console_.SetScreenSize(43, 66);
    Clear();
  }
  void Clear() {
    console_.SetColors(15, 1);
    console_.ClearScreen();
  }
  const console::Grid& Shown() {
    console_.Flush();
    return backend_.presented();
  }

  test::RecordingBackend backend_;
  console::Console console_{backend_};
};

TEST_F(ViewTest, BandViewsMatchTheirGoldenScreens) {
  award::StateTable states;
  award::FillStateTable(states);
  award::UnconfirmedStateLists lists;
  const auto set_band = [&](int band, const std::vector<std::string>& abbreviations) {
    lists[band - 1][0] = std::to_string(abbreviations.size());
    for (size_t i = 0; i < abbreviations.size(); ++i) lists[band - 1][i + 1] = abbreviations[i];
  };
  std::vector<std::string> all;
  for (const award::StateRow& state : states) all.push_back(state.abbreviation);
  // Lower case, no state, a name that is no state, a blank inside, a text that would wrap
  // over the rule; slots above the count are stale.
  std::vector<std::string> odd = {"ak", "ZZ", "DC", "QC", "A L"};
  odd.resize(38, "XX");
  odd.push_back(std::string(500, 'Q'));
  set_band(6, all);
  set_band(6, odd);
  ShowBandView(console_, 6, lists);
  test::ExpectGoldenScreen(Shown(), "band_view_odd_entries");
  EXPECT_EQ(lists[5][1], "AK");

  for (const char* count : {"", " 0"}) {
    lists[4][0] = count;
    lists[4][1] = "AL";
    Clear();
    ShowBandView(console_, 5, lists);
    test::ExpectGoldenScreen(Shown(), "band_view_none_missing");
  }
}

// The summary after a first run shows end to end; here that it reads the Band files at
// every drawing, and the congratulation when every state is confirmed.
TEST_F(ViewTest, TheSummaryReadsTheFilesAtEveryDrawingAndMatchesItsGoldenScreen) {
  award::StateTable states;
  award::FillStateTable(states);
  test::ScopedTempDir folder;
  const auto draw = [&](const char* band_file, const std::array<int, award::kStateCount>& counts) {
    test::WriteFile(folder.Join(band_file), award::FormatBandFile(counts));
    Clear();
    ShowAllBandsSummary(console_, folder.path() + "/", states);
    return test::ScreenText(Shown());
  };
  std::array<int, award::kStateCount> counts{};
  counts[0] = 1;  // AL
  draw("80m.txt", counts);
  counts[0] = 2;
  EXPECT_EQ(draw("80m.txt", counts)[2],
            "  ALABAMA           2             RHODE ISLAND      0             ");
  draw("80m.txt", {});
  counts = {};
  counts[21] = 100;  // MI
  draw("160m.txt", counts);
  for (int i = 0; i < award::kStateCount; ++i) counts[i] = i + 1;
  draw("10m.txt", counts);
  test::ExpectGoldenScreen(Shown(), "all_bands_summary_all_confirmed");
  EXPECT_EQ(console_.foreground() * 100 + console_.background(), 1501);
}

TEST_F(ViewTest, ThePagerSortsCutsAndNumbersItsNames) {
  award::ConfirmedCountryList countries;
  countries[0] = " 7" + std::string(80, ' ');  // shown as stored, cut at the row's end
  int slot = 0;
  for (const char* name : {"ZAMBIA", "ÅLAND ISLANDS", "UNITED STATES", "UNITED", "CHAD",
                           "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234"}) {
    countries[++slot] = name;
  }
  countries[7] = std::string(25, 'A') + "ÄÖÜ";
  countries[8] = "AAA";  // above the count: neither shown nor sorted
  backend_.AddKey("L");
  EXPECT_EQ(ShowCountryPager(console_, countries), PagerDirection::kPrevious);
  test::ExpectGoldenScreen(Shown(), "country_pager_names");
  EXPECT_EQ(countries[8], "AAA");

  // More than 390 names: a sixth page, and the legend.
  countries[0] = "400";
  for (int i = 1; i <= 400; ++i) countries[i] = "C" + std::to_string(1000 + i).substr(1);
  for (int i = 0; i < 6; ++i) backend_.AddKey("D");
  backend_.AddKey("R");
  Clear();
  EXPECT_EQ(ShowCountryPager(console_, countries), PagerDirection::kNext);
  test::ExpectGoldenScreen(Shown(), "country_pager_page_six");

  // With 300 names, five pages: each key, then the first entry shown at the next wait; the
  // first "U" shows that every call starts on page one, the last "L" that any page leaves.
  countries[0] = "300";
  const std::string page_up("\0I", 2), page_down("\0Q", 2);
  const std::pair<std::string, const char*> steps[] = {
      {"U", "  1"}, {page_up, "  1"}, {"D", " 79"},       {"D", "157"},
      {"D", "235"}, {"D", "313"},     {page_down, "313"}, {"U", "235"},
      {"l", "235"}, {"r", "235"},     {"d", "235"},       {"q", "235"},
      {"x", "235"}, {"\r", "235"},    {"Q", "235"},       {"\x1b", "235"}};
  const size_t before = backend_.screens().size();
  for (const auto& [key, first] : steps) backend_.AddKey(key);
  backend_.AddExtendedKey(console::kScanUp);
  backend_.AddMouse(console::kMousePressed, console::kMouseLeft, 5, 5);
  backend_.AddKey("L");
  EXPECT_EQ(ShowCountryPager(console_, countries), PagerDirection::kPrevious);
  for (size_t i = 0; i < std::size(steps); ++i) {
    EXPECT_EQ(test::ScreenText(backend_.screens()[before + i + 1])[2].substr(5, 3), steps[i].second)
        << i;
  }
  EXPECT_EQ(console_.foreground() * 100 + console_.background(), 15);
}

}  // namespace
}  // namespace views
