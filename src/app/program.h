// What the main procedure owns for the whole run and lends to the parts that read or fill
// it: the process-wide values set during start-up and the award data.
#ifndef STATEKEEPER_APP_PROGRAM_H_
#define STATEKEEPER_APP_PROGRAM_H_

#include <functional>
#include <string>

#include "app/program_folder.h"
#include "award/lists.h"
#include "award/region_tables.h"
#include "views/screen.h"

namespace app {

struct ProgramValues {
  std::string account_name;
  std::string api_key;
  Places places;  // the Program folder and the download's places
  // True once the process has been asked to end (a signal); a download polls it.
  std::function<bool()> termination_requested;
};

struct AwardData {
  award::StateTable states;
  award::UnconfirmedStateLists unconfirmed;
  award::ConfirmedCountryList countries;
};

using views::kHighlightBackground;
using views::kHighlightForeground;
using views::kNormalBackground;
using views::kNormalForeground;
using views::kScreenColumns;
using views::kScreenRows;

}  // namespace app

#endif  // STATEKEEPER_APP_PROGRAM_H_
