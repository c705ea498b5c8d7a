#include "app/settings.h"

#include <cstdio>

#include "base/atomic_file.h"
#include "base/text_file.h"
#include "base/unique_handle.h"

namespace app {

bool SettingsFileReadable(const std::string& path) {
  return base::UniqueFile(std::fopen(path.c_str(), "rb")).valid();
}

Settings ReadSettings(const std::string& path) {
  Settings settings;
  base::LineReader reader(path, base::TextRule::kHandEdited);
  if (reader.Next(settings.account_name)) reader.Next(settings.api_key);
  return settings;
}

base::Error WriteSettings(const std::string& path, const Settings& settings) {
  return base::WriteFileAtomically(path,
                                   base::JoinLinesCrLf({settings.account_name, settings.api_key}),
                                   base::FileMode::kPrivate);
}

}  // namespace app
