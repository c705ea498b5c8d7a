#include "logbook/confirmed_countries.h"

#include <algorithm>

#include "base/text_file.h"
#include "base/upper_case.h"

namespace logbook {
namespace {

// The country value of a line's first "<country:" field, read with its length, before
// upper-casing; false when the line has no such field or no ">" after it.
bool CountryValue(std::string_view line, std::string_view& value) {
  constexpr std::string_view kField = "<country:";
  const size_t field = line.find(kField);
  if (field == std::string_view::npos) return false;
  const size_t length_at = field + kField.size();
  const size_t close = line.find('>', length_at);
  if (close == std::string_view::npos) return false;
  const int length = base::ParseCount(line.substr(length_at, close - length_at));
  value = line.substr(close + 1, static_cast<size_t>(std::max(length, 0)));
  return true;
}

}  // namespace

CountryCollector::CountryCollector(award::ConfirmedCountryList& list)
    : list_(list), count_(std::clamp(base::ParseCount(list[0]), 0, award::kMaxCountries)) {
  for (int i = 1; i <= count_; ++i) known_.insert(list_[i]);
}

void CountryCollector::AddConfirmedLine(std::string_view line) {
  std::string_view value;
  if (!CountryValue(line, value)) return;
  name_.assign(value);
  base::UpperCaseInPlace(name_);
  if (known_.contains(name_) || count_ == award::kMaxCountries) return;
  list_[++count_] = name_;
  list_[0] = std::to_string(count_);
  known_.insert(name_);
}

}  // namespace logbook
