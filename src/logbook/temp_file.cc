// What the Temporary download file says alike on every platform.
#include "logbook/temp_file.h"

namespace logbook {

base::Error TempFile::Failure(std::string_view what, const std::string& path,
                              base::OsErrorCode code) {
  return base::MakeOsError(std::string(what) + " " + path, code);
}

}  // namespace logbook
