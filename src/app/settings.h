// The Settings file "Keeper.ini" in the Program folder: line 1 the account name, line 2
// the API key, CR LF after each. It holds the API key, so it is private to the user.
#ifndef STATEKEEPER_APP_SETTINGS_H_
#define STATEKEEPER_APP_SETTINGS_H_

#include <optional>
#include <string>

#include "base/error.h"

namespace app {

inline constexpr const char* kSettingsFileName = "Keeper.ini";

struct Settings {
  std::string account_name;
  std::string api_key;
};

// True when the file can be opened for reading; a start without it is a first run.
bool SettingsFileReadable(const std::string& path);

// Lines 1 and 2 of the file (a missing line reads as ""); an unreadable file reads as two
// empty lines. Nothing after line 2 is looked at.
Settings ReadSettings(const std::string& path);

// Rewrites the file whole with mode 0600; on failure the old file is left as it was.
[[nodiscard]] base::Error WriteSettings(const std::string& path, const Settings& settings);

}  // namespace app

#endif  // STATEKEEPER_APP_SETTINGS_H_
