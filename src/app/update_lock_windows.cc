#include <windows.h>

#include <utility>

#include "app/update_lock.h"
#include "base/error.h"
#include "base/unique_handle_windows.h"

namespace app {

struct UpdateLock::Held {
  base::UniqueWinHandle file;  // closing it drops the lock
};

UpdateLock::UpdateLock(Status status, std::string reason, std::unique_ptr<Held> held)
    : status_(status), reason_(std::move(reason)), held_(std::move(held)) {}
UpdateLock::UpdateLock(UpdateLock&& other) noexcept = default;
UpdateLock& UpdateLock::operator=(UpdateLock&& other) noexcept = default;
UpdateLock::~UpdateLock() = default;

UpdateLock UpdateLock::Take(const std::string& program_folder) {
  const std::string path = program_folder + kUpdateLockFileName;
  // Others may open the file too (to take the lock, or a backup program to read it); only
  // the byte range lock below is exclusive.
  base::UniqueWinHandle file(::CreateFileA(path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    return {Status::kFailed, base::MakeOsError("cannot open " + path, ::GetLastError()).message,
            nullptr};
  }
  OVERLAPPED at_start = {};
  if (!::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                    &at_start)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
      return {Status::kHeld, "another update is running", nullptr};
    }
    return {Status::kFailed, base::MakeOsError("cannot lock " + path, error).message, nullptr};
  }
  return {Status::kTaken, "", std::make_unique<Held>(Held{std::move(file)})};
}

}  // namespace app
