// The "All" page: confirmed contacts per state summed over the nine Band files, read from
// the Program folder each time it is drawn, with three totals and a congratulation when
// every state has a contact. Returns at once with the Normal colours set.
#ifndef STATEKEEPER_VIEWS_ALL_BANDS_SUMMARY_H_
#define STATEKEEPER_VIEWS_ALL_BANDS_SUMMARY_H_

#include <string>

#include "award/region_tables.h"
#include "console/console.h"

namespace views {

// Missing or unreadable Band files count as files without confirmations.
void ShowAllBandsSummary(console::Console& console, const std::string& program_folder,
                         const award::StateTable& states);

}  // namespace views

#endif  // STATEKEEPER_VIEWS_ALL_BANDS_SUMMARY_H_
