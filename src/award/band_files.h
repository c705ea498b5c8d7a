// The nine Band files in the Program folder: 50 lines each, in State table order, a line
// being the abbreviation, a comma and either nothing (no confirmed contact) or a blank and
// the count.
#ifndef STATEKEEPER_AWARD_BAND_FILES_H_
#define STATEKEEPER_AWARD_BAND_FILES_H_

#include <array>
#include <cstdint>
#include <string>

#include "award/lists.h"
#include "award/region_tables.h"

namespace award {

// Confirmed-contact counts per band (index b - 1) and State table row (index i - 1).
using BandTallies = std::array<std::array<int, kStateCount>, kBandCount>;

// The content of one Band file for `counts`, CR LF after every line.
std::string FormatBandFile(const std::array<int, kStateCount>& counts);

// Replaces every band's list with the records of its Band file whose count field is empty;
// at most 50 records are kept. A band whose file is missing, cannot be opened or holds no
// data at all (0 bytes) has never been synchronised: its list holds all fifty states in
// State table order, so that it is never shown as complete.
void LoadBandFiles(const std::string& program_folder, UnconfirmedStateLists& lists);

// Confirmed contacts per State table row (index i - 1) over the nine Band files. The sums
// are 64 bits wide so that no Band file, however edited, can make one overflow.
using StateSums = std::array<std::int64_t, kStateCount>;

// Adds up the count fields of the nine Band files in `program_folder` per state of
// `states`. A record counts for the state whose abbreviation it holds exactly (nothing
// trimmed or upper-cased); other records, and missing or unreadable files, add nothing.
StateSums SumBandFiles(const std::string& program_folder, const StateTable& states);

}  // namespace award

#endif  // STATEKEEPER_AWARD_BAND_FILES_H_
