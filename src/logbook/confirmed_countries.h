// Collecting the countries of confirmed records from the Local log file into the
// Confirmed-country list, one line (one ADIF record) at a time.
#ifndef STATEKEEPER_LOGBOOK_CONFIRMED_COUNTRIES_H_
#define STATEKEEPER_LOGBOOK_CONFIRMED_COUNTRIES_H_

#include <string>
#include <string_view>
#include <unordered_set>

#include "award/lists.h"

namespace logbook {

// Adds the upper-cased country of each confirmed line (the value of its first "<country:"
// field, read with its length) to a Confirmed-country list when it is not there yet, after
// the names already in it. The list keeps at most 400 names; a further new name is not
// added.
class CountryCollector {
 public:
  explicit CountryCollector(award::ConfirmedCountryList& list);
  CountryCollector(const CountryCollector&) = delete;
  CountryCollector& operator=(const CountryCollector&) = delete;

  // Adds the country of `line`, a line that CountConfirmedState found confirmed.
  void AddConfirmedLine(std::string_view line);

 private:
  award::ConfirmedCountryList& list_;
  int count_;
  std::unordered_set<std::string> known_;  // entries 1 to count_
  std::string name_;                       // reused for every line, so no line allocates
};

}  // namespace logbook

#endif  // STATEKEEPER_LOGBOOK_CONFIRMED_COUNTRIES_H_
