#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "logbook/temp_file.h"

namespace logbook {

base::Error TempFile::Open(const std::string& path) {
  if (fd_.valid()) return {"the temporary file is already open"};
  // O_NOFOLLOW refuses a symbolic link at the name; O_NONBLOCK keeps a FIFO planted there
  // from blocking the open (it fails, or opens and is refused below).
  base::UniqueFd fd;
  do {
    fd.Reset(::open(path.c_str(),
                    O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600));
  } while (!fd.valid() && errno == EINTR);
  if (!fd.valid()) {
    const int error = errno;
    if (error == ELOOP) return {"the temporary file is a symbolic link: " + path};
    if (error == ENXIO || error == EISDIR) {
      return {"the temporary file is not a regular file: " + path};
    }
    return Failure("cannot open the temporary file", path, error);
  }
  struct stat status;
  if (::fstat(fd.get(), &status) != 0) {
    return Failure("cannot examine the temporary file", path, errno);
  }
  if (!S_ISREG(status.st_mode)) return {"the temporary file is not a regular file: " + path};
  if (status.st_uid != ::geteuid()) {
    return {"the temporary file belongs to another user: " + path};
  }
  if (status.st_nlink != 1) return {"the temporary file has other names (hard links): " + path};
  if ((status.st_mode & 07777) != 0600 && ::fchmod(fd.get(), 0600) != 0) {
    return Failure("cannot make the temporary file private", path, errno);
  }
  if (::ftruncate(fd.get(), 0) != 0) {
    return Failure("cannot empty the temporary file", path, errno);
  }
  if (const int flags = ::fcntl(fd.get(), F_GETFL);
      flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return Failure("cannot set up the temporary file", path, errno);
  }
  path_ = path;
  fd_ = std::move(fd);
  bytes_written_ = 0;
  error_ = {};
  return {};
}

base::Error TempFile::Write(std::string_view data) {
  if (error_) return error_;
  if (!fd_.valid()) return {"the temporary file is not open"};
  while (!data.empty()) {
    const ssize_t written = ::write(fd_.get(), data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      error_ = Failure("cannot write the temporary file", path_, errno);
      return error_;
    }
    data.remove_prefix(static_cast<size_t>(written));
    bytes_written_ += written;
  }
  return {};
}

base::Error TempFile::Close() {
  if (!fd_.valid()) return {"the temporary file is not open"};
  // The descriptor is gone after close() whatever it returns; a failure may mean lost data.
  if (!fd_.Close()) return Failure("cannot finish the temporary file", path_, errno);
  return error_;
}

void TempFile::Discard() {
  if (path_.empty()) return;  // never opened: whatever is at the name is not ours
  if (fd_.valid()) {
    // Emptied through the descriptor first, so that even if the name cannot be removed
    // nothing of the transfer stays behind.
    [[maybe_unused]] const int truncated = ::ftruncate(fd_.get(), 0);
    fd_.Reset();
  }
  ::unlink(path_.c_str());
  path_.clear();
}

}  // namespace logbook
