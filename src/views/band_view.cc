#include "views/band_view.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <string>
#include <string_view>

#include "award/region_tables.h"
#include "base/text_file.h"
#include "views/text_fit.h"

namespace views {
namespace {

// The box drawn when no state is missing on the band: seven lines from row 20, each behind
// 11 blanks, so that it covers columns 12 to 55.
constexpr int kBoxTopRow = 20;
constexpr std::string_view kBoxIndent = "           ";
constexpr std::array<std::string_view, 7> kBoxLines = {
    "********************************************", "*                                          *",
    "*            Congratulation!               *", "*                                          *",
    "* You have worked all States on this band! *", "*                                          *",
    "********************************************",
};

// The left column takes entries 1 to 38 on rows 3 to 40, the right one the rest from row 3.
constexpr int kLeftColumnEntries = 38;
constexpr int kFirstListRow = 3;
constexpr int kLeftNameColumn = 3;
constexpr int kLeftAbbreviationColumn = 20;
constexpr int kRightNameColumn = 35;
constexpr int kRightAbbreviationColumn = 52;

constexpr int kRuleRow = 41;
constexpr int kRuleColumn = 2;
constexpr int kRuleLength = 63;
constexpr int kCountsRow = 42;
constexpr int kCountsColumn = 11;

void DrawCongratulationBox(console::Console& console) {
  console.MoveCursor(kBoxTopRow, 1);
  for (std::string_view line : kBoxLines) {
    std::string text(kBoxIndent);
    text += line;
    console.WriteText(text);
    console.EndLine();
  }
}

}  // namespace

void ShowBandView(console::Console& console, int band, award::UnconfirmedStateLists& lists) {
  assert(band >= 1 && band <= award::kBandCount);
  award::BandList& list = lists[band - 1];
  const int unconfirmed = base::ParseCount(list[0]);
  if (unconfirmed == 0) {
    DrawCongratulationBox(console);
    return;
  }

  // The lists hold at most 50 abbreviations; a larger count cannot name more of them.
  const int listed = std::min(unconfirmed, award::kStateCount);
  std::string name;
  for (int i = 1; i <= listed; ++i) {
    const bool left = i <= kLeftColumnEntries;
    const int row = left ? kFirstListRow - 1 + i : kFirstListRow - 1 + i - kLeftColumnEntries;
    award::LookUpRegionName(list[i], name);
    // A hand-edited Band file may hold any text; it is cut at the row's end rather than
    // wrapping onto the rows below.
    const int name_column = left ? kLeftNameColumn : kRightNameColumn;
    const int abbreviation_column = left ? kLeftAbbreviationColumn : kRightAbbreviationColumn;
    console.MoveCursor(row, name_column);
    console.WriteText(FitToRow(name, name_column));
    console.MoveCursor(row, abbreviation_column);
    console.WriteText(FitToRow(list[i], abbreviation_column));
    console.EndLine();
  }

  console.MoveCursor(kRuleRow, kRuleColumn);
  console.WriteText(console::HorizontalRule(kRuleLength));

  console.MoveCursor(kCountsRow, kCountsColumn);
  console.WriteText("Unconfirmed States:");
  console.WriteNumber(unconfirmed);
  console.WriteText("  Confirmed States:");
  console.WriteNumber(award::kStateCount - unconfirmed);
}

}  // namespace views
