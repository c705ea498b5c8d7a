// The nine Band files in the Program folder: 50 lines each, in State table order, a line
// being the abbreviation, a comma and either nothing (no confirmed contact) or a blank and
// the count.
#ifndef STATEKEEPER_AWARD_BAND_FILES_H_
#define STATEKEEPER_AWARD_BAND_FILES_H_

#include <array>
#include <string>

#include "award/lists.h"

namespace award {

// Confirmed-contact counts per band (index b - 1) and State table row (index i - 1).
using BandTallies = std::array<std::array<int, kStateCount>, kBandCount>;

// The content of one Band file for `counts`, CR LF after every line.
std::string FormatBandFile(const std::array<int, kStateCount>& counts);

// Replaces every band's list with the records of its Band file whose count field is empty.
// A missing or unreadable file gives that band the count 0; at most 50 records are kept.
void LoadBandFiles(const std::string& program_folder, UnconfirmedStateLists& lists);

}  // namespace award

#endif  // STATEKEEPER_AWARD_BAND_FILES_H_
