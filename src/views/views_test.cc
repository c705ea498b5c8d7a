// The views against golden screens (tests/golden/), the pager's keys, and text fitting.
#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "award/region_tables.h"
#include "recording_backend.h"
#include "screen_text.h"
#include "test_util.h"
#include "views/all_bands_summary.h"
#include "views/band_view.h"
#include "views/country_pager.h"
#include "views/text_fit.h"

namespace views {
namespace {

// Runs `after_wait` with the number of screens recorded so far each time the program waits.
class HookedBackend : public test::RecordingBackend {
 public:
  std::optional<console::InputEvent> ReadEvent(std::optional<std::int64_t> deadline) override {
    const size_t before = screens().size();
    std::optional<console::InputEvent> event = RecordingBackend::ReadEvent(deadline);
    if (after_wait && screens().size() > before) after_wait(screens().size());
    return event;
  }
  std::function<void(size_t)> after_wait;
};

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

  HookedBackend backend_;
  console::Console console_{backend_};
};

TEST_F(ViewTest, TextIsCutPaddedAndCentredByCharacters) {
  EXPECT_EQ(FitToRow(std::string(70, 'x'), 60), std::string(7, 'x'));
  EXPECT_EQ(FitToRow("ab", 66), "a");
  EXPECT_EQ(FitToRow("ÄÖÜ", 65), "ÄÖ");
  EXPECT_EQ(Padded("CUBA", 6), "CUBA  ");
  EXPECT_EQ(Padded(std::string(5, 'A') + "ÄÖÜ", 6), "AAAAAÄ");
  EXPECT_EQ(Centred("", 3), "   ");
  EXPECT_EQ(Centred("ab", 7), "  ab   ");
  EXPECT_EQ(Centred("Ä", 4), " Ä  ");
  EXPECT_EQ(Centred("abcdefghij", 10), "abcdefghij");
  EXPECT_EQ(Centred("abcdefghijk", 10), "abc...hijk");
  EXPECT_EQ(Centred("ÄbcdefghijkÖ", 9), "Äbc...jkÖ");
  EXPECT_EQ(
      Centred("cannot write /home/operator/a/very/long/folder/QRZ_LogBook.tmp: File too large", 53),
      "cannot write /home/operat...gBook.tmp: File too large");
}

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
  set_band(8, all);
  ShowBandView(console_, 8, lists);
  test::ExpectGoldenScreen(Shown(), "band_view_all_missing");

  // Lower case, no state, a display name that is no state, a blank inside, and a hand-edited
  // text that would wrap over the rule; slots above the count are stale.
  std::vector<std::string> odd = {"ak", "ZZ", "DC", "QC", "A L"};
  odd.resize(38, "XX");
  odd.push_back(std::string(500, 'Q'));
  set_band(6, all);
  set_band(6, odd);
  Clear();
  ShowBandView(console_, 6, lists);
  test::ExpectGoldenScreen(Shown(), "band_view_odd_entries");
  EXPECT_EQ(lists[5][1], "AK");

  for (const char* count : {"", "0", " 0"}) {
    lists[4][0] = count;
    lists[4][1] = "AL";
    Clear();
    ShowBandView(console_, 5, lists);
    test::ExpectGoldenScreen(Shown(), "band_view_none_missing");
  }
}

TEST_F(ViewTest, TheSummaryMatchesItsGoldenScreensAndReadsTheFilesAtEveryDrawing) {
  award::StateTable states;
  award::FillStateTable(states);
  test::ScopedTempDir folder;
  // A Band file as the extraction writes it: 50 records, the count field empty for 0.
  const auto write_band = [&](const char* name, const std::map<std::string, int>& counts) {
    std::string text;
    for (const award::StateRow& state : states) {
      const auto found = counts.find(state.abbreviation);
      text += state.abbreviation + "," +
              (found == counts.end() ? "" : " " + std::to_string(found->second)) + "\r\n";
    }
    test::WriteFile(folder.Join(name), text);
  };
  const auto draw = [&] {
    Clear();
    ShowAllBandsSummary(console_, folder.path() + "/", states);
    return test::ScreenText(Shown());
  };

  write_band("10m.txt", {{"WY", 10}});
  write_band("80m.txt", {{"MI", 12}, {"AL", 1}});
  // Only the quoted and the blank-led "NY" match a row.
  test::WriteFile(folder.Join("17m.txt"), "ny, 5\r\nXX, 7\r\nNY , 2\r\n\"NY\", 1\r\n NY, 3\r\n");
  draw();
  test::ExpectGoldenScreen(Shown(), "all_bands_summary_some");
  write_band("80m.txt", {{"MI", 12}, {"AL", 2}});
  EXPECT_EQ(draw()[2], "  ALABAMA           2             RHODE ISLAND      0             ");

  std::map<std::string, int> every;
  for (int i = 0; i < 50; ++i) every[states[i].abbreviation] = i + 1;
  write_band("10m.txt", every);
  write_band("80m.txt", {});
  test::WriteFile(folder.Join("17m.txt"), "");
  write_band("160m.txt", {{"MI", 100}});
  draw();
  test::ExpectGoldenScreen(Shown(), "all_bands_summary_all_confirmed");
  EXPECT_EQ(console_.foreground(), 15);
  EXPECT_EQ(console_.background(), 1);
}

// "C001" ... : `count` distinct names in byte order.
void SetNumberedNames(award::ConfirmedCountryList& countries, int count) {
  countries[0] = std::to_string(count);
  for (int i = 1; i <= count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "C%03d", i);
    countries[i] = name;
  }
}

TEST_F(ViewTest, ThePagerSortsCutsAndNumbersItsNames) {
  award::ConfirmedCountryList countries;
  const std::vector<std::string> names = {"ZAMBIA",
                                          "ÅLAND ISLANDS",
                                          "UNITED STATES",
                                          "UNITED",
                                          "CHAD",
                                          "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234",
                                          std::string(25, 'A') + "ÄÖÜ"};
  countries[0] = " 7" + std::string(80, ' ');  // shown as stored, cut at the row's end
  for (size_t i = 0; i < names.size(); ++i) countries[i + 1] = names[i];
  countries[8] = "AAA";  // above the count: neither shown nor sorted
  backend_.AddKey("L");
  EXPECT_EQ(ShowCountryPager(console_, countries), PagerDirection::kPrevious);
  test::ExpectGoldenScreen(Shown(), "country_pager_names");
  EXPECT_EQ(countries[1], std::string(25, 'A') + "ÄÖÜ");
  EXPECT_EQ(countries[7], "ÅLAND ISLANDS");
  EXPECT_EQ(countries[8], "AAA");

  // More than 390 names: a sixth page, and the legend.
  SetNumberedNames(countries, 400);
  for (int i = 0; i < 6; ++i) backend_.AddKey("D");
  backend_.AddKey("R");
  Clear();
  EXPECT_EQ(ShowCountryPager(console_, countries), PagerDirection::kNext);
  test::ExpectGoldenScreen(Shown(), "country_pager_page_six");
}

TEST_F(ViewTest, ThePagersKeysTurnRedrawOrLeaveAndOthersAreDropped) {
  award::ConfirmedCountryList countries;
  SetNumberedNames(countries, 300);
  const std::string page_up("\0I", 2), page_down("\0Q", 2), left("\0K", 2), right("\0M", 2);
  for (const std::string& key :
       std::vector<std::string>{"U", page_up, "D", "D", "D", "D", page_down, "U"}) {
    backend_.AddKey(key);
  }
  for (const char* key : {"l", "r", "u", "d", "q", "x", "\r", "\x1b"}) backend_.AddKey(key);
  backend_.AddExtendedKey(console::kScanUp);
  backend_.AddMouse(console::kMousePressed, console::kMouseLeft, 5, 5);
  backend_.AddKey("Q");
  backend_.AddKey("L");
  // Changed once page 4 is shown (the ninth screen): only "Q" draws it again.
  backend_.after_wait = [&](size_t screens) {
    if (screens == 9) countries[236] = "CHANGED";
  };
  EXPECT_EQ(ShowCountryPager(console_, countries), PagerDirection::kPrevious);
  std::vector<std::string>
      shown;  // the first entry of each page shown, and whether entry 236 changed
  for (const console::Grid& grid : backend_.screens()) {
    const std::vector<std::string> rows = test::ScreenText(grid);
    shown.push_back(rows[2].substr(5, 3) +
                    (rows[3].find("CHANGED") != std::string::npos ? "*" : ""));
  }
  std::vector<std::string> expected = {"  1", "  1", "  1", " 79", "157",
                                       "235", "313", "313", "235"};
  expected.resize(expected.size() + 10, "235");
  expected.push_back("235*");
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(console_.foreground(), 0);
  EXPECT_EQ(console_.background(), 15);

  // Left and right leave from any page, and every call starts on page one.
  const std::vector<std::pair<std::vector<std::string>, PagerDirection>> cases = {
      {{"R"}, PagerDirection::kNext},
      {{"D", "D", left}, PagerDirection::kPrevious},
      {{"D", right}, PagerDirection::kNext}};
  for (const auto& [keys, direction] : cases) {
    const size_t before = backend_.screens().size();
    for (const std::string& key : keys) backend_.AddKey(key);
    EXPECT_EQ(ShowCountryPager(console_, countries), direction);
    EXPECT_EQ(test::ScreenText(backend_.screens()[before])[2].substr(5, 3), "  1");
    EXPECT_TRUE(backend_.script_empty());
  }
}

}  // namespace
}  // namespace views
