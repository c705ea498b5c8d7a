// The page of one band: its unconfirmed states in two columns with their names, a rule and
// the two counts, or the congratulation box when none is missing. Draws into the Work area
// that the caller has blanked, in the colours in force, and returns at once.
#ifndef STATEKEEPER_VIEWS_BAND_VIEW_H_
#define STATEKEEPER_VIEWS_BAND_VIEW_H_

#include "award/lists.h"
#include "console/console.h"

namespace views {

// `band` is 1 to 9. The listed abbreviations are left upper-cased in `lists`.
void ShowBandView(console::Console& console, int band, award::UnconfirmedStateLists& lists);

}  // namespace views

#endif  // STATEKEEPER_VIEWS_BAND_VIEW_H_
