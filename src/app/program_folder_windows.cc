// The places of the program's files on Windows: the Program folder is
// %LOCALAPPDATA%\Varnhold\ and the download goes to %TEMP%. The values come from getenv, in
// the ANSI code page, as every path of the program does (see base/atomic_file_windows.cc).
// The certificate authorities are the system's store: STATEKEEPER_CA_FILE is not read.
#include <windows.h>

#include <string>

#include "app/program_folder.h"
#include "base/ansi_text_windows.h"
#include "https/download.h"

namespace app {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string WithSeparator(std::string folder) {
  if (folder.empty() || !IsSeparator(folder.back())) folder += '\\';
  return folder;
}

// A name that is not valid in the ANSI code page widens to "", so the call fails.
std::wstring Wide(const std::string& text) {
  return base::WidenAnsi(text).value_or(std::wstring());
}

}  // namespace

std::optional<Places> PlacesFromEnvironment(base::Error& error) {
  Places places;
  const std::optional<std::string> local = NonEmptyEnv("LOCALAPPDATA");
  if (!local) {
    error = {"statekeeper: cannot tell where to keep its files: set LOCALAPPDATA"};
    return std::nullopt;
  }
  places.creation = Places::Creation::kLastLevel;
  places.program_folder = WithSeparator(*local) + "Varnhold\\";

  // Without TEMP the download goes into the program's own folder, never a shared one.
  if (auto temp = NonEmptyEnv("TEMP")) {
    places.temp_folder = WithSeparator(*temp);
  } else {
    places.temp_folder = places.program_folder;
  }

  places.endpoint =
      NonEmptyEnv("STATEKEEPER_LOGBOOK_URL").value_or(std::string(https::kDefaultEndpoint));
  return places;
}

// The folder gets the inherited ACL of its parent: under LOCALAPPDATA that is the user's
// own, which is what mode 0700 gives elsewhere.
void CreateProgramFolder(const Places& places) {
  std::string folder = places.program_folder;
  while (!folder.empty() && IsSeparator(folder.back())) folder.pop_back();
  if (places.creation == Places::Creation::kLastLevel) {
    ::CreateDirectoryW(Wide(folder).c_str(), nullptr);  // one level; the parent must exist
    return;
  }
  // Every missing level, from the top down (past a drive's "C:\"); levels that exist are
  // not touched.
  for (size_t i = 1; i <= folder.size(); ++i) {
    if (i == folder.size() || IsSeparator(folder[i])) {
      if (folder[i - 1] == ':') continue;
      ::CreateDirectoryW(Wide(folder.substr(0, i)).c_str(), nullptr);
    }
  }
}

}  // namespace app
