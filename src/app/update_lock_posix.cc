#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <utility>

#include "app/update_lock.h"
#include "base/error.h"
#include "base/unique_handle.h"

namespace app {

struct UpdateLock::Held {
  base::UniqueFd fd;  // closing it drops the lock
};

UpdateLock::UpdateLock(Status status, std::string reason, std::unique_ptr<Held> held)
    : status_(status), reason_(std::move(reason)), held_(std::move(held)) {}
UpdateLock::UpdateLock(UpdateLock&& other) noexcept = default;
UpdateLock& UpdateLock::operator=(UpdateLock&& other) noexcept = default;
UpdateLock::~UpdateLock() = default;

UpdateLock UpdateLock::Take(const std::string& program_folder) {
  const std::string path = program_folder + kUpdateLockFileName;
  // Never through a symbolic link planted at the name, and without blocking on a FIFO
  // planted there; the file is opened for reading only, as flock needs no more, and
  // nothing is ever written to it.
  base::UniqueFd fd;
  do {
    fd.Reset(::open(path.c_str(),
                    O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600));
  } while (!fd.valid() && errno == EINTR);
  if (!fd.valid()) {
    return {Status::kFailed, base::MakeOsError("cannot open " + path, errno).message, nullptr};
  }
  int locked;
  do {
    locked = ::flock(fd.get(), LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    if (errno == EWOULDBLOCK) return {Status::kHeld, "another update is running", nullptr};
    return {Status::kFailed, base::MakeOsError("cannot lock " + path, errno).message, nullptr};
  }
  return {Status::kTaken, "", std::make_unique<Held>(Held{std::move(fd)})};
}

}  // namespace app
