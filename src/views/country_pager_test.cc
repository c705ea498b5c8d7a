#include "views/country_pager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "console/backend_memory.h"
#include "console/text.h"
#include "recording_backend.h"
#include "screen_text.h"
#include "views/text_fit.h"

namespace views {
namespace {

constexpr std::uint8_t kPanel = 0xF0;
constexpr std::uint8_t kHighlight = 0x4E;

// Keeps every screen shown while the pager waited, and runs `before_event` with the
// number of the event (from 0) that it is about to deliver.
class PagerBackend : public test::RecordingBackend {
 public:
  std::optional<console::InputEvent> ReadEvent(std::optional<std::int64_t> deadline) override {
    if (before_event && !script_empty()) before_event(events_++);
    return RecordingBackend::ReadEvent(deadline);
  }
  std::function<void(int)> before_event;

 private:
  int events_ = 0;
};

// "C001" ... : `count` distinct names in byte order.
std::vector<std::string> NumberedNames(int count) {
  std::vector<std::string> names;
  for (int i = 1; i <= count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "C%03d", i);
    names.emplace_back(name);
  }
  return names;
}

std::string PanelLine(int number, const std::string& name) {
  std::string digits = std::to_string(number);
  std::string line = std::string(3 - std::min<size_t>(3, digits.size()), ' ') + digits + " " + name;
  return line + std::string(30 - test::DecodeUtf8(line).size(), ' ');
}

class CountryPagerTest : public testing::Test {
 protected:
  void SetUp() override {
    test::PrepareViewScreen(console_);
    console_.EnableMouse(console::kMouseLeft, console::kMousePressed | console::kMouseDoubleClick);
  }

  void SetNames(const std::vector<std::string>& names) {
    countries_[0] = std::to_string(names.size());
    for (size_t i = 0; i < names.size(); ++i) countries_[i + 1] = names[i];
  }

  // As the main screen calls it: Normal colours, a blank screen.
  PagerDirection Run() {
    console_.SetColors(15, 1);
    console_.ClearScreen();
    return ShowCountryPager(console_, countries_);
  }

  enum class Legend { kHidden, kShown };

  // Page `page` of the sorted `names`, with entry 0 shown as `status_count`.
  std::vector<std::string> BuildPage(const std::vector<std::string>& names, int page,
                                     const std::string& status_count, Legend legend) {
    test::ScreenBuilder screen;
    screen.Put(1, 24, "Confirmed Countries");
    screen.Put(43, 3, "   " + status_count + " Confirmed Countries");
    if (legend == Legend::kShown) {
      screen.Put(43, 35, "[Left] [Right] [PgUp] [PgDown]")
          .Put(43, 36, "Left", kHighlight)
          .Put(43, 43, "Right", kHighlight)
          .Put(43, 51, "PgUp", kHighlight)
          .Put(43, 58, "PgDown", kHighlight);
    }
    const int first = 78 * (page - 1) + 1;
    for (int k = 0; k < 78; ++k) {
      const int entry = first + k;
      const std::string name = entry <= static_cast<int>(names.size()) ? names[entry - 1] : "";
      screen.Put(3 + k % 39, k < 39 ? 3 : 35, PanelLine(entry, name), kPanel);
    }
    return screen.Rows();
  }

  std::vector<std::string> BuildPage(const std::vector<std::string>& names, int page) {
    return BuildPage(names, page, std::to_string(names.size()),
                     names.size() > 78 ? Legend::kShown : Legend::kHidden);
  }

  const std::vector<console::Grid>& screens() const { return backend_.screens(); }

  PagerBackend backend_;
  console::Console console_{backend_};
  award::ConfirmedCountryList countries_;
};

TEST_F(CountryPagerTest, EmptyEntryZeroGivesNumberedEmptySlotsOnFivePages) {
  for (int i = 0; i < 6; ++i) backend_.AddKey("D");
  backend_.AddKey("L");
  EXPECT_EQ(Run(), PagerDirection::kPrevious);

  ASSERT_EQ(screens().size(), 7u);
  const std::vector<std::string> page1 = BuildPage({}, 1, "", Legend::kHidden);
  EXPECT_EQ(page1[42], "      Confirmed Countries" + std::string(41, ' '));
  test::ExpectScreen(screens()[0], page1);
  for (int page = 2; page <= 5; ++page) {
    SCOPED_TRACE(page);
    test::ExpectScreen(screens()[page - 1], BuildPage({}, page, "", Legend::kHidden));
  }
  // Down on the last page stays there.
  test::ExpectScreen(screens()[5], BuildPage({}, 5, "", Legend::kHidden));
  test::ExpectScreen(screens()[6], BuildPage({}, 5, "", Legend::kHidden));
}

TEST_F(CountryPagerTest, TenNamesLeaveLaterPagesWithEmptySlots) {
  const std::vector<std::string> names = NumberedNames(10);
  SetNames(names);
  for (int i = 0; i < 4; ++i) backend_.AddExtendedKey(console::kScanPageDown);
  backend_.AddExtendedKey(console::kScanRight);
  EXPECT_EQ(Run(), PagerDirection::kNext);

  ASSERT_EQ(screens().size(), 5u);
  for (int page = 1; page <= 5; ++page) {
    SCOPED_TRACE(page);
    test::ExpectScreen(screens()[page - 1], BuildPage(names, page));
  }
  const std::vector<std::string> page1 = test::ScreenText(screens()[0]);
  EXPECT_EQ(page1[2], "  {p:  1 C001                      }  {p: 40                           }  ");
}

TEST_F(CountryPagerTest, LegendAppearsAboveSeventyEightNames) {
  {
    const std::vector<std::string> names = NumberedNames(78);
    SetNames(names);
    backend_.AddKey("D");
    backend_.AddKey("R");
    EXPECT_EQ(Run(), PagerDirection::kNext);
    test::ExpectScreen(screens()[0], BuildPage(names, 1, "78", Legend::kHidden));
    test::ExpectScreen(screens()[1], BuildPage(names, 2, "78", Legend::kHidden));
  }
  const std::vector<std::string> names = NumberedNames(79);
  SetNames(names);
  backend_.AddKey("D");
  backend_.AddKey("R");
  EXPECT_EQ(Run(), PagerDirection::kNext);
  const std::vector<std::string> page2 = BuildPage(names, 2, "79", Legend::kShown);
  EXPECT_EQ(page2[42],
            "     79 Confirmed Countries       [{h:Left}] [{h:Right}] [{h:PgUp}] [{h:PgDown}]  ");
  EXPECT_EQ(page2[2], "  {p: 79 C079                      }  {p:118                           }  ");
  test::ExpectScreen(screens()[3], page2);
}

TEST_F(CountryPagerTest, MoreThanThreeHundredNinetyNamesGetASixthPage) {
  for (int count : {390, 391, 400}) {
    SCOPED_TRACE(count);
    const std::vector<std::string> names = NumberedNames(count);
    SetNames(names);
    for (int i = 0; i < 6; ++i) backend_.AddKey("D");
    backend_.AddKey("L");
    const size_t before = screens().size();
    EXPECT_EQ(Run(), PagerDirection::kPrevious);
    ASSERT_EQ(screens().size(), before + 7);
    const int last_page = count > 390 ? 6 : 5;
    test::ExpectScreen(screens().back(), BuildPage(names, last_page));
    test::ExpectScreen(screens()[screens().size() - 2], BuildPage(names, last_page));
  }
  // Page 6 begins with entry 391.
  EXPECT_EQ(test::ScreenText(screens().back())[2],
            "  {p:391 C391                      }  {p:430                           }  ");
}

TEST_F(CountryPagerTest, EntriesAboveTheCountAreNotShownNorSorted) {
  SetNames({"ZAMBIA", "CHAD"});
  countries_[3] = "AAA";
  backend_.AddKey("L");
  EXPECT_EQ(Run(), PagerDirection::kPrevious);
  test::ExpectScreen(console_, BuildPage({"CHAD", "ZAMBIA"}, 1));
  EXPECT_EQ(countries_[3], "AAA");
}

TEST_F(CountryPagerTest, NumbersAreRightAligned) {
  EXPECT_EQ(PanelLine(1, ""), "  1" + std::string(27, ' '));
  const std::vector<std::string> names = NumberedNames(313);
  SetNames(names);
  for (int i = 0; i < 4; ++i) backend_.AddKey("D");
  backend_.AddKey("L");
  EXPECT_EQ(Run(), PagerDirection::kPrevious);
  EXPECT_EQ(test::ScreenText(screens()[0])[2].substr(2, 10), "{p:  1 C00");
  EXPECT_EQ(test::ScreenText(screens()[0])[4].substr(38, 10), "{p: 42 C04");
  EXPECT_EQ(test::ScreenText(screens()[4])[2].substr(2, 10), "{p:313 C31");
}

TEST_F(CountryPagerTest, NamesAreCutOrPaddedToTwentySixCharacters) {
  const std::string thirty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234";
  SetNames({thirty, "CUBA"});
  backend_.AddKey("L");
  EXPECT_EQ(Run(), PagerDirection::kPrevious);
  const std::vector<std::string> rows = test::ScreenText(console_);
  EXPECT_EQ(rows[2], "  {p:  1 ABCDEFGHIJKLMNOPQRSTUVWXYZ}  {p: 40                           }  ");
  EXPECT_EQ(rows[3], "  {p:  2 CUBA                      }  {p: 41                           }  ");
}

TEST_F(CountryPagerTest, MultiByteNamesAreCutByCharacters) {
  // 25 letters, then three two-byte letters: the cut keeps the first of them whole.
  const std::string name = std::string(25, 'A') + "ÄÖÜ";
  const std::string accented = "ÅLAND ISLANDS";  // 13 characters, 14 bytes
  SetNames({name, accented});
  backend_.AddKey("L");
  EXPECT_EQ(Run(), PagerDirection::kPrevious);
  const std::vector<std::string> rows = test::ScreenText(console_);
  EXPECT_EQ(rows[2],
            "  {p:  1 " + std::string(25, 'A') + "Ä}  {p: 40" + std::string(27, ' ') + "}  ");
  EXPECT_EQ(rows[3], "  {p:  2 ÅLAND ISLANDS" + std::string(13, ' ') + "}  {p: 41" +
                         std::string(27, ' ') + "}  ");
}

TEST_F(CountryPagerTest, StatusIsCutAtTheRowsEnd) {
  EXPECT_EQ(FitToRow(std::string(70, 'x'), 60), std::string(7, 'x'));
  EXPECT_EQ(FitToRow("\xC3\x84\xC3\x96\xC3\x9C", 65), "\xC3\x84\xC3\x96");
}

TEST_F(CountryPagerTest, NamesSortByByteValueAndTheOrderStays) {
  SetNames({"ZAMBIA", "ÅLAND ISLANDS", "UNITED STATES", "UNITED", "CHAD"});
  backend_.AddKey("L");
  EXPECT_EQ(Run(), PagerDirection::kPrevious);
  const std::vector<std::string> sorted = {"CHAD", "UNITED", "UNITED STATES", "ZAMBIA",
                                           "ÅLAND ISLANDS"};
  for (size_t i = 0; i < sorted.size(); ++i) EXPECT_EQ(countries_[i + 1], sorted[i]);
  EXPECT_EQ(countries_[0], "5");
  test::ExpectScreen(console_, BuildPage(sorted, 1));
}

TEST_F(CountryPagerTest, StatusShowsEntryZeroAsStored) {
  countries_[0] = " 2";
  countries_[1] = "CHAD";
  countries_[2] = "BENIN";
  backend_.AddKey("L");
  EXPECT_EQ(Run(), PagerDirection::kPrevious);
  test::ExpectScreen(console_, BuildPage({"BENIN", "CHAD"}, 1, " 2", Legend::kHidden));
}

TEST_F(CountryPagerTest, OverlongStatusIsCutAtTheRowEnd) {
  countries_[0] = "1" + std::string(80, ' ');  // a hand-edited Country file
  countries_[1] = "CHAD";
  backend_.AddKey("L");
  EXPECT_EQ(Run(), PagerDirection::kPrevious);
  // Nothing scrolled: the title is still on row 1 and the status fills row 43 only.
  const std::vector<std::string> rows = test::ScreenText(console_);
  EXPECT_EQ(rows[0], std::string(23, ' ') + "Confirmed Countries" + std::string(24, ' '));
  EXPECT_EQ(rows[42], "     1" + std::string(60, ' '));
}

TEST_F(CountryPagerTest, QRedrawsTheCurrentPageFromTheList) {
  SetNames(NumberedNames(100));
  backend_.AddKey("D");
  backend_.AddKey("Q");
  backend_.AddKey("L");
  backend_.before_event = [this](int event) {
    if (event == 1) countries_[80] = "CHANGED";  // changed before "Q" arrives
  };
  EXPECT_EQ(Run(), PagerDirection::kPrevious);
  ASSERT_EQ(screens().size(), 3u);
  std::vector<std::string> names = NumberedNames(100);
  test::ExpectScreen(screens()[1], BuildPage(names, 2));
  names[79] = "CHANGED";
  test::ExpectScreen(screens()[2], BuildPage(names, 2));
}

TEST_F(CountryPagerTest, OtherKeysAreDroppedWithoutRedrawing) {
  SetNames(NumberedNames(100));
  backend_.AddKey("D");
  for (const char* key : {"l", "r", "u", "d", "q", "x", " ", "\r", "\x1b"}) backend_.AddKey(key);
  backend_.AddMouse(console::kMousePressed, console::kMouseLeft, 5, 5);
  backend_.AddMouse(console::kMouseDoubleClick, console::kMouseLeft, 5, 5);
  for (unsigned char scan : {console::kScanUp, console::kScanDown, static_cast<unsigned char>(71),
                             static_cast<unsigned char>(79), static_cast<unsigned char>(59)}) {
    backend_.AddExtendedKey(scan);
  }
  backend_.AddKey("L");
  backend_.before_event = [this](int event) {
    if (event == 1) countries_[80] = "CHANGED";  // no key after this one may redraw
  };
  EXPECT_EQ(Run(), PagerDirection::kPrevious);
  test::ExpectScreen(console_, BuildPage(NumberedNames(100), 2));
  EXPECT_EQ(console_.foreground(), 0);
  EXPECT_EQ(console_.background(), 15);
}

TEST_F(CountryPagerTest, UpOnTheFirstPageStays) {
  SetNames(NumberedNames(200));
  backend_.AddKey("U");
  backend_.AddExtendedKey(console::kScanPageUp);
  backend_.AddKey("D");
  backend_.AddKey("D");
  backend_.AddKey("U");
  backend_.AddKey("L");
  EXPECT_EQ(Run(), PagerDirection::kPrevious);
  const std::vector<std::string> names = NumberedNames(200);
  ASSERT_EQ(screens().size(), 6u);
  const int pages[] = {1, 1, 1, 2, 3, 2};
  for (size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    test::ExpectScreen(screens()[i], BuildPage(names, pages[i]));
  }
}

TEST_F(CountryPagerTest, LeftAndRightLeaveFromAnyPage) {
  struct Case {
    std::vector<std::string> keys;
    PagerDirection direction;
  };
  const std::vector<Case> cases = {
      {{"L"}, PagerDirection::kPrevious},
      {{"R"}, PagerDirection::kNext},
      {{"D", "D", std::string("\0K", 2)}, PagerDirection::kPrevious},
      {{"D", std::string("\0M", 2)}, PagerDirection::kNext},
  };
  for (const Case& c : cases) {
    SetNames(NumberedNames(300));
    for (const std::string& key : c.keys) backend_.AddKey(key);
    EXPECT_EQ(Run(), c.direction);
    EXPECT_TRUE(backend_.script_empty());
  }
}

TEST_F(CountryPagerTest, EveryCallStartsOnPageOne) {
  const std::vector<std::string> names = NumberedNames(200);
  SetNames(names);
  backend_.AddKey("D");
  backend_.AddKey("L");
  EXPECT_EQ(Run(), PagerDirection::kPrevious);
  backend_.AddKey("L");
  EXPECT_EQ(Run(), PagerDirection::kPrevious);
  test::ExpectScreen(screens().back(), BuildPage(names, 1));
}

}  // namespace
}  // namespace views
