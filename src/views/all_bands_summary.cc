#include "views/all_bands_summary.h"

#include <array>
#include <cstdint>
#include <string>

#include "award/band_files.h"
#include "award/lists.h"
#include "views/screen.h"

namespace views {
namespace {

constexpr int kRuleForeground = kHighlightForeground;

// State table rows 1 to 38 fill rows 3 to 40 on the left, rows 39 to 50 rows 3 to 14 on the
// right.
constexpr int kLeftColumnStates = 38;
constexpr int kFirstListRow = 3;
constexpr int kLeftNameColumn = 3;
constexpr int kLeftCountColumn = 20;
constexpr int kRightNameColumn = 35;
constexpr int kRightCountColumn = 52;

constexpr int kCongratulationColumn = 35;
constexpr int kCongratulationRuleLength = 24;

constexpr int kRuleRow = 41;
constexpr int kRuleColumn = 2;
constexpr int kRuleLength = 63;
constexpr int kTotalsRow = 42;
constexpr int kTotalsColumn = 3;

void DrawCongratulationRule(console::Console& console, int row) {
  console.MoveCursor(row, kCongratulationColumn);
  console.SetColors(kRuleForeground, kNormalBackground);
  console.WriteText(console::HorizontalRule(kCongratulationRuleLength));
  console.SetColors(kNormalForeground, kNormalBackground);
}

}  // namespace

void ShowAllBandsSummary(console::Console& console, const std::string& program_folder,
                         const award::StateTable& states) {
  const award::StateSums sums = award::SumBandFiles(program_folder, states);

  std::int64_t total_confirmed = 0;
  int unconfirmed = 0;
  for (std::int64_t sum : sums) {
    total_confirmed += sum;
    if (sum == 0) ++unconfirmed;
  }

  for (int i = 1; i <= award::kStateCount; ++i) {
    const bool left = i <= kLeftColumnStates;
    const int row = left ? kFirstListRow - 1 + i : kFirstListRow - 1 + i - kLeftColumnStates;
    console.MoveCursor(row, left ? kLeftNameColumn : kRightNameColumn);
    console.WriteText(states[i - 1].name);
    console.MoveCursor(row, left ? kLeftCountColumn : kRightCountColumn);
    console.WriteNumber(static_cast<double>(sums[i - 1]));
  }

  if (unconfirmed == 0) {
    DrawCongratulationRule(console, 30);
    console.MoveCursor(32, kCongratulationColumn);
    console.WriteText("    Congratulation!");
    console.MoveCursor(34, kCongratulationColumn);
    console.WriteText("  You worked them all!");
    DrawCongratulationRule(console, 36);
  }

  console.MoveCursor(kRuleRow, kRuleColumn);
  console.WriteText(console::HorizontalRule(kRuleLength));

  console.MoveCursor(kTotalsRow, kTotalsColumn);
  console.WriteText("  Total Confirmed:");
  console.WriteNumber(static_cast<double>(total_confirmed));
  console.WriteText("  Unconfirmed:");
  console.WriteNumber(unconfirmed);
  console.WriteText("  Confirmed:");
  console.WriteNumber(award::kStateCount - unconfirmed);
}

}  // namespace views
