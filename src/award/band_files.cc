#include "award/band_files.h"

#include "award/region_tables.h"
#include "base/text_file.h"

namespace award {

std::string BandFileName(int band) { return std::string(kBandNames[band - 1]) + ".txt"; }

std::string FormatBandFile(const std::array<int, kStateCount>& counts) {
  StateTable states;
  FillStateTable(states);
  std::string text;
  text.reserve(kStateCount * 12);
  for (int row = 0; row < kStateCount; ++row) {
    text += states[row].abbreviation;
    text += ',';
    if (counts[row] != 0) {
      text += ' ';
      text += std::to_string(counts[row]);
    }
    text += "\r\n";
  }
  return text;
}

void LoadBandFiles(const std::string& program_folder, UnconfirmedStateLists& lists) {
  for (int band = 1; band <= kBandCount; ++band) {
    BandList& list = lists[band - 1];
    int count = 0;
    base::FieldReader reader(program_folder + BandFileName(band));
    if (reader.AtEnd()) {
      // No Band file yet (or an empty one): the band has never been synchronised, and
      // showing it as complete would congratulate a new operator on every band. Every
      // state is listed as unconfirmed, as a file of fifty empty counts would list it.
      StateTable states;
      FillStateTable(states);
      for (const StateRow& state : states) list[++count] = state.abbreviation;
    }
    while (!reader.AtEnd()) {
      std::string abbreviation = reader.ReadField();
      const std::string confirmed = reader.ReadField();
      // A hand-edited file may hold more records than there are states: the list keeps
      // the first fifty.
      if (confirmed.empty() && count < kStateCount) list[++count] = std::move(abbreviation);
    }
    list[0] = std::to_string(count);
  }
}

StateSums SumBandFiles(const std::string& program_folder, const StateTable& states) {
  StateSums sums{};
  for (int band = 1; band <= kBandCount; ++band) {
    base::FieldReader reader(program_folder + BandFileName(band));
    while (!reader.AtEnd()) {
      const std::string abbreviation = reader.ReadField();
      const int count = reader.ReadNumber();
      for (int i = 0; i < kStateCount; ++i) {
        if (states[i].abbreviation == abbreviation) {
          sums[i] += count;
          break;
        }
      }
    }
  }
  return sums;
}

}  // namespace award
