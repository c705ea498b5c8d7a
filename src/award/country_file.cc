#include "award/country_file.h"

#include <algorithm>

#include "base/text_file.h"

namespace award {

std::string FormatCountryFile(const ConfirmedCountryList& list) {
  const int count = std::clamp(base::ParseCount(list[0]), 0, kMaxCountries);
  std::string text;
  for (int i = 0; i <= count; ++i) {
    text += list[i];
    text += "\r\n";
  }
  return text;
}

void LoadCountryFile(const std::string& program_folder, ConfirmedCountryList& list) {
  base::LineReader reader(program_folder + std::string(kCountryFileName),
                          base::TextRule::kHandEdited);
  std::string line;
  list[0] = reader.Next(line) ? line : "";
  int count = base::ParseCount(list[0]);
  if (count > kMaxCountries) {
    // More names than the list has room for: the first 400 are kept, and the count says so.
    count = kMaxCountries;
    list[0] = std::to_string(kMaxCountries);
  }
  for (int i = 1; i <= count; ++i) list[i] = reader.Next(line) ? line : "";
}

}  // namespace award
