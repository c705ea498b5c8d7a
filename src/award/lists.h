// The award data that the main procedure owns for the whole run and lends to the parts
// that fill or show it. Both lists keep their count as decimal text in slot 0, exactly as
// it was read or written, because the country pager shows that text as it is.
#ifndef STATEKEEPER_AWARD_LISTS_H_
#define STATEKEEPER_AWARD_LISTS_H_

#include <array>
#include <string>
#include <string_view>

namespace award {

inline constexpr int kBandCount = 9;
// The Band list, in its fixed order; band number b (1 to 9) is kBandNames[b - 1].
inline constexpr std::array<std::string_view, kBandCount> kBandNames = {
    "10m", "12m", "15m", "17m", "20m", "30m", "40m", "80m", "160m"};

inline constexpr int kStateCount = 50;
inline constexpr int kMaxCountries = 400;

// One band's unconfirmed states: slot 0 the count as text, slots 1 to count the
// abbreviations in State table order.
using BandList = std::array<std::string, kStateCount + 1>;
// Index b - 1 for band number b.
using UnconfirmedStateLists = std::array<BandList, kBandCount>;

// Slot 0 the number of names as text, slots 1 to that number the country names.
using ConfirmedCountryList = std::array<std::string, kMaxCountries + 1>;

// The file name of band b (1 to 9) in the Program folder: "10m.txt" ... "160m.txt".
std::string BandFileName(int band);
inline constexpr std::string_view kCountryFileName = "dx.txt";

}  // namespace award

#endif  // STATEKEEPER_AWARD_LISTS_H_
