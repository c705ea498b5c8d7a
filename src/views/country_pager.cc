#include "views/country_pager.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "base/text_file.h"
#include "views/screen.h"
#include "views/text_fit.h"

namespace views {
namespace {

constexpr int kPanelForeground = 0;
constexpr int kPanelBackground = 15;

constexpr int kFirstPanelRow = 3;
constexpr int kPanelRows = 39;
constexpr int kLeftPanelColumn = 3;
constexpr int kRightPanelColumn = 35;
constexpr int kPanelWidth = 30;
constexpr int kNameWidth = 26;
constexpr int kEntriesPerPage = 2 * kPanelRows;
// Five pages hold entries 1 to 390; a longer list gets a sixth so that no name is hidden.
constexpr int kUsualPageCount = 5;

constexpr int kStatusRow = 43;
constexpr int kStatusColumn = 3;
constexpr int kLegendColumn = 35;

bool ByteLess(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

// Exactly 30 characters: the number right-aligned in three, a blank, the text cut or padded
// to 26 characters.
std::string PanelLine(int number, std::string_view text) {
  std::string digits = std::to_string(number);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), ' ');
  std::string line = digits.substr(digits.size() - 3);
  line += ' ';
  return line + Padded(text, kNameWidth);
}

// Blanks both panels on rows 3 to 41 in the current colours.
void ClearCountryPanels(console::Console& console) {
  const std::string blanks(kPanelWidth, ' ');
  for (int row = kFirstPanelRow; row < kFirstPanelRow + kPanelRows; ++row) {
    console.MoveCursor(row, kLeftPanelColumn);
    console.WriteText(blanks);
    console.MoveCursor(row, kRightPanelColumn);
    console.WriteText(blanks);
  }
}

void DrawTitle(console::Console& console) {
  console.MoveCursor(1, 1);
  console.WriteText(std::string(kScreenColumns, ' '));
  console.MoveCursor(1, 1);
  console.WriteText(std::string(23, ' ') + "Confirmed Countries");
  console.EndLine();
}

void DrawLegend(console::Console& console) {
  console.MoveCursor(kStatusRow, kLegendColumn);
  console.WriteText("[Left] [Right] [PgUp] [PgDown]");
  console.SetColors(kHighlightForeground, kHighlightBackground);
  console.MoveCursor(kStatusRow, 36);
  console.WriteText("Left");
  console.MoveCursor(kStatusRow, 43);
  console.WriteText("Right");
  console.MoveCursor(kStatusRow, 51);
  console.WriteText("PgUp");
  console.MoveCursor(kStatusRow, 58);
  console.WriteText("PgDown");
}

void DrawPage(console::Console& console, const award::ConfirmedCountryList& countries, int count,
              int page) {
  console.MoveCursor(kStatusRow, kStatusColumn);
  console.SetColors(kNormalForeground, kNormalBackground);
  // The count is shown as stored; a text too long for the row is cut at its end.
  const std::string status = "   " + countries[0] + " Confirmed Countries";
  console.WriteText(FitToRow(status, kStatusColumn));
  if (count > kEntriesPerPage) DrawLegend(console);

  console.SetColors(kPanelForeground, kPanelBackground);
  const int first = kEntriesPerPage * (page - 1) + 1;
  for (int k = 0; k < kEntriesPerPage; ++k) {
    const int entry = first + k;
    const bool left = k < kPanelRows;
    const bool named = entry <= count && entry <= award::kMaxCountries;
    console.MoveCursor(kFirstPanelRow + k % kPanelRows,
                       left ? kLeftPanelColumn : kRightPanelColumn);
    console.WriteText(PanelLine(entry, named ? std::string_view(countries[entry]) : ""));
  }
}

enum class Command { kNone, kLeft, kRight, kUp, kDown, kRedraw };

Command CommandOf(std::string_view key) {
  if (key == "L" || console::IsExtendedKey(key, console::kScanLeft)) return Command::kLeft;
  if (key == "R" || console::IsExtendedKey(key, console::kScanRight)) return Command::kRight;
  if (key == "U" || console::IsExtendedKey(key, console::kScanPageUp)) return Command::kUp;
  if (key == "D" || console::IsExtendedKey(key, console::kScanPageDown)) return Command::kDown;
  if (key == "Q") return Command::kRedraw;
  return Command::kNone;
}

}  // namespace

void SortCountryList(award::ConfirmedCountryList& countries) {
  const int stored = std::clamp(base::ParseCount(countries[0]), 0, award::kMaxCountries);
  std::sort(countries.begin() + 1, countries.begin() + 1 + stored, ByteLess);
}

PagerDirection ShowCountryPager(console::Console& console, award::ConfirmedCountryList& countries) {
  SortCountryList(countries);
  const int count = base::ParseCount(countries[0]);

  DrawTitle(console);
  ClearCountryPanels(console);

  const int page_count =
      count > kUsualPageCount * kEntriesPerPage ? kUsualPageCount + 1 : kUsualPageCount;
  int page = 1;
  for (;;) {
    page = std::clamp(page, 1, page_count);
    DrawPage(console, countries, count, page);
    Command command = Command::kNone;
    while (command == Command::kNone) command = CommandOf(console.WaitKey(0));
    switch (command) {
      case Command::kLeft:
        return PagerDirection::kPrevious;
      case Command::kRight:
        return PagerDirection::kNext;
      case Command::kUp:
        --page;
        break;
      case Command::kDown:
        ++page;
        break;
      case Command::kRedraw:
      case Command::kNone:
        break;
    }
  }
}

}  // namespace views
