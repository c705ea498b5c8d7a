#include "app/main_screen.h"

#include <string>

#include "app/synchronise.h"
#include "views/all_bands_summary.h"
#include "views/band_view.h"
#include "views/country_pager.h"

namespace app {
namespace {

enum class PendingMove { kNone, kLeft, kRight };

// The first and last column of row 1 on which a click selects each item.
struct ClickColumns {
  int first;
  int last;
};
constexpr std::array<ClickColumns, kItemCount> kClickColumns = {{{2, 5},
                                                                 {7, 10},
                                                                 {12, 15},
                                                                 {17, 20},
                                                                 {22, 25},
                                                                 {27, 30},
                                                                 {32, 35},
                                                                 {37, 40},
                                                                 {42, 46},
                                                                 {48, 51},
                                                                 {53, 55},
                                                                 {56, 65}}};

void SetNormalColors(console::Console& console) {
  console.SetColors(kNormalForeground, kNormalBackground);
}

void DrawRuleAndBlankWorkArea(console::Console& console) {
  console.MoveCursor(2, 2);
  console.WriteText(console::HorizontalRule(63));
  const std::string blanks(kScreenColumns, ' ');
  for (int row = 3; row <= kScreenRows; ++row) {
    console.MoveCursor(row, 1);
    console.WriteText(blanks);
  }
}

void WriteProcessTime(console::Console& console, int row, long long elapsed_ms) {
  console.MoveCursor(row, 6);
  console.WriteText("            Process Time:");
  console.WriteNumber(ProcessSeconds(elapsed_ms));
  console.WriteText(" seconds");
  console.EndLine();
}

// The Update page: its prompt, and on Enter a synchronisation with its outcome. Returns
// the move that an arrow or "R"/"L" asked for; every other key is dropped.
PendingMove ShowUpdatePage(console::Console& console, const ProgramValues& values,
                           AwardData& data) {
  ClearWorkArea(console);
  console.MoveCursor(20, 9);
  console.WriteText("Press [Enter] to syncronize with your QRZ Logbook.");
  console.SetColors(kHighlightForeground, kHighlightBackground);
  console.MoveCursor(20, 16);
  console.WriteText("Enter");
  console.EndLine();
  SetNormalColors(console);

  const std::string key = console.WaitKey(0);
  if (key == std::string(1, console::kKeyEnter)) {
    const std::int64_t start_ms = console.NowMs();
    console.MoveCursor(20, 1);
    console.WriteText(std::string(kScreenColumns, ' '));
    console.EndLine();
    const logbook::SyncResult result = Synchronise(console, values, data);
    if (result.ok()) {
      console.MoveCursor(21, 6);
      console.WriteText("                     Syncronized                     ");
      console.EndLine();
      WriteProcessTime(console, 22, console.NowMs() - start_ms);
    } else {
      ShowSyncFailure(console, values, result, FailureLayout::kUpdatePage);
      WriteProcessTime(console, 23, console.NowMs() - start_ms);
    }
    console.WaitKey(3000);  // a key typed during the download is taken and dropped here
    return PendingMove::kNone;
  }
  if (console::IsExtendedKey(key, console::kScanRight) || key == "R") return PendingMove::kRight;
  if (console::IsExtendedKey(key, console::kScanLeft) || key == "L") return PendingMove::kLeft;
  return PendingMove::kNone;
}

}  // namespace

int ItemAtColumn(int column) {
  for (int item = 1; item <= kItemCount; ++item) {
    const ClickColumns& columns = kClickColumns[item - 1];
    if (column >= columns.first && column <= columns.last) return item;
  }
  return 0;
}

void DrawSelector(console::Console& console, int selection) {
  console.MoveCursor(1, 3);
  for (int item = 1; item <= kItemCount; ++item) {
    if (item == selection) {
      console.SetColors(kHighlightForeground, kHighlightBackground);
    } else {
      SetNormalColors(console);
    }
    console.WriteText(kSelectorItems[item - 1]);
    SetNormalColors(console);
    console.WriteText("  ");
  }
}

void RunMainScreen(console::Console& console, const ProgramValues& values, AwardData& data) {
  int selection = kUpdateItem;
  for (;;) {
    DrawSelector(console, selection);
    DrawRuleAndBlankWorkArea(console);

    PendingMove pending = PendingMove::kNone;
    if (selection <= award::kBandCount) {
      views::ShowBandView(console, selection, data.unconfirmed);
    } else if (selection == kAllItem) {
      views::ShowAllBandsSummary(console, values.places.program_folder, data.states);
    } else if (selection == kDxItem) {
      const views::PagerDirection direction = views::ShowCountryPager(console, data.countries);
      SetNormalColors(console);
      console.ClearScreen();
      pending =
          direction == views::PagerDirection::kPrevious ? PendingMove::kLeft : PendingMove::kRight;
    } else {
      pending = ShowUpdatePage(console, values, data);
    }

    std::string key;
    if (pending == PendingMove::kLeft) {
      key = {'\0', static_cast<char>(console::kScanLeft)};
    } else if (pending == PendingMove::kRight) {
      key = {'\0', static_cast<char>(console::kScanRight)};
    } else {
      key = console.WaitKey(0);
    }

    if (key == std::string(1, console::kKeyEscape)) break;
    if (console::IsMouseEvent(key)) {
      const console::MousePosition where = console.mouse_position();
      if (where.row == 1) {
        if (const int item = ItemAtColumn(where.column); item != 0) selection = item;
      }
    } else if (console::IsExtendedKey(key, console::kScanRight)) {
      selection = selection == kItemCount ? 1 : selection + 1;
    } else if (console::IsExtendedKey(key, console::kScanLeft)) {
      selection = selection == 1 ? kItemCount : selection - 1;
    }
  }
  ShowFarewell(console);
}

void ShowFarewell(console::Console& console) {
  console.ClearScreen();
  console.WriteText("Thanks for playing. You have a nice day.");
  console.EndLine();
  console.WriteText("73 Arlo");
  console.EndLine();
  console.WaitKey(5000);
}

double ProcessSeconds(long long elapsed_ms) {
  long long hundredths = elapsed_ms / 10;
  const long long rest = elapsed_ms % 10;
  if (rest > 5 || (rest == 5 && hundredths % 2 != 0)) ++hundredths;
  return static_cast<double>(hundredths) / 100.0;
}

}  // namespace app
