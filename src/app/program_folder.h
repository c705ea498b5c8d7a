// Where the program keeps its files and where it downloads to, worked out once from the
// environment at start. The folder paths end with the path separator, so that a file's
// path is the folder followed by its name.
#ifndef STATEKEEPER_APP_PROGRAM_FOLDER_H_
#define STATEKEEPER_APP_PROGRAM_FOLDER_H_

#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"

namespace app {

struct Places {
  std::string program_folder;
  // The folder of the Temporary download file.
  std::string temp_folder;
  // The Logbook service's API address and the authorities trusted for it ("" = system).
  std::string endpoint;
  std::string ca_file;
  // Under LOCALAPPDATA only the Program folder itself is created; elsewhere its missing
  // parents are created too.
  enum class Creation { kLastLevel, kAllLevels };
  Creation creation = Creation::kAllLevels;
};

// Reads LOCALAPPDATA, XDG_DATA_HOME, HOME, TEMP, TMPDIR, STATEKEEPER_LOGBOOK_URL and
// STATEKEEPER_CA_FILE. Returns nothing, with `error` set to a one-line message, when none
// of LOCALAPPDATA, XDG_DATA_HOME and HOME gives a folder.
std::optional<Places> PlacesFromEnvironment(base::Error& error);

// Creates the Program folder with mode 0700: one level under LOCALAPPDATA, every missing
// level otherwise. A folder that is already there is left as it is. Failures are ignored:
// the files that cannot be written then are left as they were.
void CreateProgramFolder(const Places& places);

// The name of the Local log file for `account_name`: the account followed by ".adi",
// made into a name that every system can hold, so that the files also move between them.
// Each character a file name cannot hold on POSIX or Windows ("/", "\\", ":", "*", "?",
// double quote, "<", ">", "|", control characters) becomes "_"; the name is cut so that it
// is at most 200 bytes long, never inside a UTF-8 character; and a name that Windows keeps
// for a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, in any case, before its
// first ".") gets a "_" after the device name ("CON_.adi").
std::string LocalLogFileName(std::string_view account_name);

// The value of the environment variable `name` when it is set and not empty.
std::optional<std::string> NonEmptyEnv(const char* name);

}  // namespace app

#endif  // STATEKEEPER_APP_PROGRAM_FOLDER_H_
