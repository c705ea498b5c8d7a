#include "award/region_tables.h"

#include <string_view>

#include "base/upper_case.h"

namespace award {
namespace {

struct Region {
  std::string_view abbreviation;
  std::string_view name;
};

// The fifty states that count, in alphabetical order of their names. "MICHIGAN " keeps
// the trailing blank it has always had; it only ever reaches the screen.
constexpr Region kStates[kStateCount] = {
    {"AL", "ALABAMA"},        {"AK", "ALASKA"},        {"AZ", "ARIZONA"},
    {"AR", "ARKANSAS"},       {"CA", "CALIFORNIA"},    {"CO", "COLORADO"},
    {"CT", "CONNECTICUT"},    {"DE", "DELAWARE"},      {"FL", "FLORIDA"},
    {"GA", "GEORGIA"},        {"HI", "HAWAII"},        {"ID", "IDAHO"},
    {"IL", "ILLINOIS"},       {"IN", "INDIANA"},       {"IA", "IOWA"},
    {"KS", "KANSAS"},         {"KY", "KENTUCKY"},      {"LA", "LOUISIANA"},
    {"ME", "MAINE"},          {"MD", "MARYLAND"},      {"MA", "MASSACHUSETTS"},
    {"MI", "MICHIGAN "},      {"MN", "MINNESOTA"},     {"MS", "MISSISSIPPI"},
    {"MO", "MISSOURI"},       {"MT", "MONTANA"},       {"NE", "NEBRASKA"},
    {"NV", "NEVADA"},         {"NH", "NEW HAMPSHIRE"}, {"NJ", "NEW JERSEY"},
    {"NM", "NEW MEXICO"},     {"NY", "NEW YORK"},      {"NC", "NORTH CAROLINA"},
    {"ND", "NORTH DAKOTA"},   {"OH", "OHIO"},          {"OK", "OKLAHOMA"},
    {"OR", "OREGON"},         {"PA", "PENNSYLVANIA"},  {"RI", "RHODE ISLAND"},
    {"SC", "SOUTH CAROLINA"}, {"SD", "SOUTH DAKOTA"},  {"TN", "TENNESSEE"},
    {"TX", "TEXAS"},          {"UT", "UTAH"},          {"VT", "VERMONT"},
    {"VA", "VIRGINIA"},       {"WA", "WASHINGTON"},    {"WV", "WEST VIRGINIA"},
    {"WI", "WISCONSIN"},      {"WY", "WYOMING"},
};

// Names shown for the regions beyond the fifty states: DC, territories, freely associated
// states and the Canadian provinces and territories.
constexpr Region kOtherRegions[] = {
    {"AS", "AMERICAN SAMOA"},
    {"DC", "DISTRICT OF COLUMBIA"},
    {"FM", "FEDERATED STATES OF MICRONESIA"},
    {"GU", "GUAM"},
    {"MH", "MARSHALL ISLANDS"},
    {"MP", "NORTHERN MARIANA ISLANDS"},
    {"PW", "PALAU"},
    {"PR", "PUERTO RICO"},
    {"VI", "VIRGIN ISLANDS"},
    {"AB", "Alberta"},
    {"BC", "British Columbia"},
    {"MB", "Manitoba"},
    {"NB", "New Brunswick"},
    {"NL", "Newfoundland and Labrador"},
    {"NS", "Nova Scotia"},
    {"NT", "Northwest Territories"},
    {"NU", "Nunavut"},
    {"ON", "Ontario"},
    {"PE", "Prince Edward Island"},
    {"QC", "Quebec"},
    {"SK", "Saskatchewan"},
    {"YT", "Yukon"},
};

}  // namespace

void FillStateTable(StateTable& table) {
  for (int row = 0; row < kStateCount; ++row) {
    table[row].abbreviation = kStates[row].abbreviation;
    table[row].name = kStates[row].name;
  }
}

void LookUpRegionName(std::string& abbreviation, std::string& name) {
  name.clear();
  base::UpperCaseInPlace(abbreviation);
  for (const Region& region : kStates) {
    if (region.abbreviation == abbreviation) {
      name = region.name;
      return;
    }
  }
  for (const Region& region : kOtherRegions) {
    if (region.abbreviation == abbreviation) {
      name = region.name;
      return;
    }
  }
}

}  // namespace award
