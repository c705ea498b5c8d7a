// The "DX" page: the Confirmed-country list sorted in place, numbered, 78 names a page in
// two panels, with its own key loop. Returns when the operator leaves it to the left or
// to the right; the current colours are then 0 on 15.
#ifndef STATEKEEPER_VIEWS_COUNTRY_PAGER_H_
#define STATEKEEPER_VIEWS_COUNTRY_PAGER_H_

#include "award/lists.h"
#include "console/console.h"

namespace views {

// How the pager was left: towards the previous Selector item (0) or the next one (1).
enum class PagerDirection { kPrevious = 0, kNext = 1 };

// Sorts entries 1 to the count of `countries` (at most 400) by byte value: the order in
// which the pager shows them.
void SortCountryList(award::ConfirmedCountryList& countries);

// Sorts `countries` with SortCountryList; the order stays.
[[nodiscard]] PagerDirection ShowCountryPager(console::Console& console,
                                              award::ConfirmedCountryList& countries);

}  // namespace views

#endif  // STATEKEEPER_VIEWS_COUNTRY_PAGER_H_
