// The two constant tables of the award: the fifty states that count, in alphabetical order
// of their names, and the names shown for every abbreviation the band view may meet.
#ifndef STATEKEEPER_AWARD_REGION_TABLES_H_
#define STATEKEEPER_AWARD_REGION_TABLES_H_

#include <array>
#include <string>

#include "award/lists.h"

namespace award {

struct StateRow {
  std::string abbreviation;
  std::string name;
};
// Row i (1 to 50) is element i - 1.
using StateTable = std::array<StateRow, kStateCount>;

// Overwrites all 50 rows with the State table ("MICHIGAN " keeps its trailing blank).
void FillStateTable(StateTable& table);

// Upper-cases `abbreviation` in place by the upper-casing rule and sets `name` to its
// display name, or to "" when the Region name table has no such abbreviation (exact match,
// nothing trimmed).
void LookUpRegionName(std::string& abbreviation, std::string& name);

}  // namespace award

#endif  // STATEKEEPER_AWARD_REGION_TABLES_H_
