#include "app/main_screen.h"

#include <string>

#include "app/update_page.h"
#include "views/all_bands_summary.h"
#include "views/band_view.h"
#include "views/country_pager.h"

namespace app {
namespace {

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

// Draws the Selector on row 1 with `selection` (1 to 12) in the Highlight colours.
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

}  // namespace

int ItemAtColumn(int column) {
  for (int item = 1; item <= kItemCount; ++item) {
    const ClickColumns& columns = kClickColumns[item - 1];
    if (column >= columns.first && column <= columns.last) return item;
  }
  return 0;
}

void RunMainScreen(console::Console& console, const ProgramValues& values, AwardData& data) {
  int selection = kUpdateItem;
  for (;;) {
    DrawSelector(console, selection);
    DrawRuleAndBlankWorkArea(console);

    UpdatePageMove pending = UpdatePageMove::kStay;
    if (selection <= award::kBandCount) {
      views::ShowBandView(console, selection, data.unconfirmed);
    } else if (selection == kAllItem) {
      views::ShowAllBandsSummary(console, values.places.program_folder, data.states);
    } else if (selection == kDxItem) {
      const views::PagerDirection direction = views::ShowCountryPager(console, data.countries);
      SetNormalColors(console);
      console.ClearScreen();
      pending = direction == views::PagerDirection::kPrevious ? UpdatePageMove::kLeft
                                                              : UpdatePageMove::kRight;
    } else {
      pending = ShowUpdatePage(console, values, data);
    }

    std::string key;
    if (pending == UpdatePageMove::kLeft) {
      key = {'\0', static_cast<char>(console::kScanLeft)};
    } else if (pending == UpdatePageMove::kRight) {
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

}  // namespace app
