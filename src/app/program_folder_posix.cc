#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "app/program_folder.h"
#include "https/download.h"

namespace app {
namespace {

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

std::optional<Places> PlacesFromEnvironment(base::Error& error) {
  Places places;
  if (auto local = NonEmptyEnv("LOCALAPPDATA")) {
    places.creation = Places::Creation::kLastLevel;
    places.program_folder = WithSeparator(*local) + "Varnhold/";
  } else if (auto data = NonEmptyEnv("XDG_DATA_HOME")) {
    places.program_folder = WithSeparator(*data) + "Varnhold/";
  } else if (auto home = NonEmptyEnv("HOME")) {
    places.program_folder = WithSeparator(*home) + ".local/share/Varnhold/";
  } else {
    error = {
        "statekeeper: cannot tell where to keep its files: set LOCALAPPDATA, "
        "XDG_DATA_HOME or HOME"};
    return std::nullopt;
  }

  // Never a fixed file name straight in a shared folder such as /tmp: without TEMP or
  // TMPDIR the download goes into the program's own folder.
  if (auto temp = NonEmptyEnv("TEMP")) {
    places.temp_folder = WithSeparator(*temp);
  } else if (auto tmpdir = NonEmptyEnv("TMPDIR")) {
    places.temp_folder = WithSeparator(*tmpdir);
  } else {
    places.temp_folder = places.program_folder;
  }

  places.endpoint =
      NonEmptyEnv("STATEKEEPER_LOGBOOK_URL").value_or(std::string(https::kDefaultEndpoint));
  places.ca_file = NonEmptyEnv("STATEKEEPER_CA_FILE").value_or("");
  return places;
}

void CreateProgramFolder(const Places& places) {
  const std::string& folder = places.program_folder;
  if (places.creation == Places::Creation::kLastLevel) {
    ::mkdir(folder.c_str(), 0700);  // one level; the parent must exist
    return;
  }
  // Every missing level, from the top down; levels that exist are not touched.
  for (size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    ::mkdir(folder.substr(0, slash).c_str(), 0700);
  }
}

}  // namespace app
