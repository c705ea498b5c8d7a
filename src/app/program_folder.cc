#include "app/program_folder.h"

#include <cstdlib>

namespace app {

std::optional<std::string> NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

}  // namespace app
