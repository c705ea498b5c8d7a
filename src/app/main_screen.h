// The main screen: the Selector of twelve items on row 1, the rule on row 2, the view of
// the selected item below (the Update page is update_page.h), the key loop that moves the
// selection, and the Farewell that ends the program.
#ifndef STATEKEEPER_APP_MAIN_SCREEN_H_
#define STATEKEEPER_APP_MAIN_SCREEN_H_

#include <array>
#include <string_view>

#include "app/program.h"
#include "console/console.h"

namespace app {

inline constexpr int kItemCount = 12;
inline constexpr int kAllItem = 10;
inline constexpr int kDxItem = 11;
inline constexpr int kUpdateItem = 12;
inline constexpr std::array<std::string_view, kItemCount> kSelectorItems = {
    "10m", "12m", "15m", "17m", "20m", "30m", "40m", "80m", "160m", "All", "DX", "Update"};

// The Selector item (1 to 12) that a click on row 1, `column` selects, or 0 for none.
int ItemAtColumn(int column);

// Runs the main loop from the Update page until Esc, then the Farewell.
void RunMainScreen(console::Console& console, const ProgramValues& values, AwardData& data);

// Clears the screen in the colours in force, says goodbye and waits up to 5 seconds.
void ShowFarewell(console::Console& console);

}  // namespace app

#endif  // STATEKEEPER_APP_MAIN_SCREEN_H_
