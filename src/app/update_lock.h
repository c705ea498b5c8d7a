// The lock that lets one update run at a time, whether the Update page, a first run or
// "statekeeper --update" makes it: an exclusive lock on the file "Update.lock" of the
// Program folder. The system drops the lock when its process ends, however it ends, so
// a killed update never blocks the next. The file is created 0600 where it is missing,
// stays empty, and is never removed: removing it would race with the next taker.
#ifndef STATEKEEPER_APP_UPDATE_LOCK_H_
#define STATEKEEPER_APP_UPDATE_LOCK_H_

#include <memory>
#include <string>

namespace app {

inline constexpr const char* kUpdateLockFileName = "Update.lock";

// One attempt to take the lock; it is held while the object lives (flock on POSIX,
// LockFileEx on Windows). Move-only.
class UpdateLock {
 public:
  enum class Status {
    kTaken,  // this process holds the lock now
    kHeld,   // another process holds it
    kFailed  // the lock file could not be opened or locked; reason() says why
  };

  // Takes the lock on "Update.lock" in `program_folder` (which ends with the path
  // separator) without waiting.
  [[nodiscard]] static UpdateLock Take(const std::string& program_folder);

  UpdateLock(UpdateLock&& other) noexcept;
  UpdateLock& operator=(UpdateLock&& other) noexcept;
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;
  // Drops the lock, if held, and closes the file.
  ~UpdateLock();

  Status status() const { return status_; }
  // Why the lock could not be taken, fit to show the operator; "" when it was.
  const std::string& reason() const { return reason_; }

 private:
  struct Held;  // the open, locked file; defined by the platform's file

  UpdateLock(Status status, std::string reason, std::unique_ptr<Held> held);

  Status status_;
  std::string reason_;
  std::unique_ptr<Held> held_;
};

}  // namespace app

#endif  // STATEKEEPER_APP_UPDATE_LOCK_H_
