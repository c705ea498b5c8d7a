#include "app/settings.h"

#include <cstdio>

#include "base/text_file.h"

namespace app {

bool SettingsFileReadable(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

Settings ReadSettings(const std::string& path) {
  Settings settings;
  base::LineReader reader(path);
  if (reader.Next(settings.account_name)) reader.Next(settings.api_key);
  return settings;
}

base::FileError WriteSettings(const std::string& path, const Settings& settings) {
  return base::WriteFileAtomically(path,
                                   base::JoinLinesCrLf({settings.account_name, settings.api_key}),
                                   base::FileMode::kPrivate);
}

}  // namespace app
