#include "logbook/confirmed_states.h"

#include <array>
#include <cstring>

#include "award/region_tables.h"
#include "base/byte_scan.h"

namespace logbook {
namespace {

// The band texts in band order, after their "<band:".
constexpr std::array<std::string_view, award::kBandCount> kBandTexts = {
    "3>10m", "3>12m", "3>15m", "3>17m", "3>20m", "3>30m", "3>40m", "3>80m", "4>160m"};

// State table row (1 to 50) of each pair of capitals, 0 for none.
using StateIndex = std::array<std::array<unsigned char, 26>, 26>;

StateIndex MakeStateIndex() {
  award::StateTable states;
  award::FillStateTable(states);
  StateIndex index{};
  for (int row = 0; row < award::kStateCount; ++row) {
    const std::string& abbreviation = states[row].abbreviation;
    index[abbreviation[0] - 'A'][abbreviation[1] - 'A'] = static_cast<unsigned char>(row + 1);
  }
  return index;
}

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// True when `text` starts with `band_text` in either case ("3>20m" or "3>20M"): band values
// are case-insensitive in ADIF, and real logbooks write both. Only the letter of a band
// text has a case; its length and ">" stay exact all the same.
bool StartsWithBandText(std::string_view text, std::string_view band_text) {
  if (text.size() < band_text.size()) return false;
  for (size_t i = 0; i < band_text.size(); ++i) {
    if (UpperAscii(text[i]) != UpperAscii(band_text[i])) return false;
  }
  return true;
}

// The State table row of a state value's first two characters after upper-casing, or 0.
// Only a to z change case among the bytes that can make a match, so the accented
// letters of the upper-casing rule need no look here.
int StateRow(std::string_view value) {
  static const StateIndex index = MakeStateIndex();
  if (value.size() < 2) return 0;
  const char first = UpperAscii(value[0]);
  const char second = UpperAscii(value[1]);
  if (first < 'A' || first > 'Z' || second < 'A' || second > 'Z') return 0;
  return index[first - 'A'][second - 'A'];
}

}  // namespace

bool CountConfirmedState(std::string_view line, award::BandTallies& tallies) {
  // Every text the record is tested for begins with "<": one walk over the "<"s of the line
  // finds them all, wherever they stand. The letter after the "<" tells which one it can
  // be, so that each "<" costs one comparison at most.
  bool confirmed = false;
  bool alaska = false;
  bool hawaii = false;
  bool united_states = false;
  int band = 0;
  size_t state_field = std::string_view::npos;
  const char* const begin = line.data();
  const char* const end = begin + line.size();
  for (const char* p = begin;; ++p) {
    p = base::FindFirstOf<'<'>(p, end);
    if (p == end) break;
    const std::string_view rest(p + 1, static_cast<size_t>(end - p - 1));
    switch (rest.empty() ? '\0' : rest.front()) {
      case 'a':
        confirmed = confirmed || rest.starts_with(kConfirmed.substr(1));
        break;
      case 'b':
        if (rest.starts_with("band:")) {
          const std::string_view text = rest.substr(5);
          for (int b = award::kBandCount; b > band; --b) {
            if (StartsWithBandText(text, kBandTexts[b - 1])) {
              band = b;
              break;
            }
          }
        }
        break;
      case 'c':
        if (rest.starts_with("country:")) {
          const std::string_view text = rest.substr(8);
          alaska = alaska || text.starts_with("6>Alaska");
          hawaii = hawaii || text.starts_with("6>Hawaii");
          united_states = united_states || text.starts_with("13>United States");
        }
        break;
      case 's':
        if (state_field == std::string_view::npos && rest.starts_with("state:")) {
          state_field = static_cast<size_t>(p - begin);
        }
        break;
      default:
        break;
    }
  }
  if (!confirmed) return false;
  if (band == 0) return true;

  int row = 0;
  if (hawaii) {
    row = StateRow("HI");
  } else if (alaska) {
    row = StateRow("AK");
  } else if (united_states && state_field != std::string_view::npos) {
    // The two characters 9 after the "<": past "<state:", the length and the ">".
    const size_t value = state_field + 9;
    if (value < line.size()) row = StateRow(line.substr(value, 2));
  }
  if (row != 0) ++tallies[band - 1][row - 1];
  return true;
}

}  // namespace logbook
