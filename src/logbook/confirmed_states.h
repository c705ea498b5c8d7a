// Counting confirmed contacts per band and state from the Local log file, one line (one
// ADIF record) at a time.
#ifndef STATEKEEPER_LOGBOOK_CONFIRMED_STATES_H_
#define STATEKEEPER_LOGBOOK_CONFIRMED_STATES_H_

#include <string>
#include <string_view>

#include "award/band_files.h"

namespace logbook {

// The confirmation mark every counted record carries.
inline constexpr std::string_view kConfirmed = "<app_qrzlog_status:1>C";

// Adds the record on `line` to `tallies` when it is confirmed, on one of the nine bands
// (the last of them in band order wins when several are named), and in one of the fifty
// states: Alaska and Hawaii by their country, others by the two characters of the state
// field of a United States record, upper-cased. Returns whether the record is confirmed.
bool CountConfirmedState(std::string_view line, award::BandTallies& tallies);

}  // namespace logbook

#endif  // STATEKEEPER_LOGBOOK_CONFIRMED_STATES_H_
