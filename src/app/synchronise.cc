#include "app/synchronise.h"

#include <functional>
#include <string>

#include "app/program_folder.h"
#include "app/update_lock.h"
#include "award/band_files.h"

namespace app {

std::string LocalLogPath(const ProgramValues& values) {
  return values.places.program_folder + LocalLogFileName(values.account_name);
}

logbook::SyncResult UpdateLogbook(const ProgramValues& values, AwardData& data,
                                  const logbook::ProgressCheck& progress) {
  // Taken before the Temporary download file is opened or any file of the Program folder
  // touched: two updates would write the same files.
  const UpdateLock lock = UpdateLock::Take(values.places.program_folder);
  if (lock.status() == UpdateLock::Status::kHeld) {
    return {logbook::SyncOutcome::kAnotherRunning, lock.reason()};
  }
  if (lock.status() == UpdateLock::Status::kFailed) {
    return {logbook::SyncOutcome::kFailed, lock.reason()};
  }
  logbook::SyncSettings settings;
  settings.program_folder = values.places.program_folder;
  settings.temp_folder = values.places.temp_folder;
  settings.service = {values.places.endpoint, values.places.ca_file, values.api_key};
  settings.progress = progress;
  logbook::SyncResult result =
      logbook::DownloadLogbook(settings, LocalLogPath(values), data.countries);
  if (result.ok()) award::LoadBandFiles(values.places.program_folder, data.unconfirmed);
  return result;
}

}  // namespace app
