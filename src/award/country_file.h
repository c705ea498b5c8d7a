// The Country file "dx.txt" in the Program folder: line 1 the number of names, then one
// name a line, CR LF after every line.
#ifndef STATEKEEPER_AWARD_COUNTRY_FILE_H_
#define STATEKEEPER_AWARD_COUNTRY_FILE_H_

#include <string>

#include "award/lists.h"

namespace award {

// The content of the Country file for `list`: entries 0 up to its count.
std::string FormatCountryFile(const ConfirmedCountryList& list);

// Fills `list` from the Country file: line 1 into slot 0 exactly as read, then as many
// lines as it announces (at most 400; a larger count is read as 400 and slot 0 becomes
// "400"); missing lines read as "". A missing file gives an empty slot 0.
void LoadCountryFile(const std::string& program_folder, ConfirmedCountryList& list);

}  // namespace award

#endif  // STATEKEEPER_AWARD_COUNTRY_FILE_H_
