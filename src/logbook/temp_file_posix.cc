#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "base/error.h"
#include "logbook/temp_file.h"

namespace logbook {
namespace {

std::string SystemError(std::string_view what, const std::string& path, int error) {
  return std::string(what) + " " + path + ": " + base::DescribeOsError(error);
}

}  // namespace

void TempFile::CloseDescriptor(int fd) { ::close(fd); }

std::string TempFile::Open(const std::string& path) {
  if (fd_ >= 0) return "the temporary file is already open";
  // O_NOFOLLOW refuses a symbolic link at the name; O_NONBLOCK keeps a FIFO planted there
  // from blocking the open (it fails, or opens and is refused below).
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY,
                0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int error = errno;
    if (error == ELOOP) return "the temporary file is a symbolic link: " + path;
    if (error == ENXIO || error == EISDIR)
      return "the temporary file is not a regular file: " + path;
    return SystemError("cannot open the temporary file", path, error);
  }
  struct stat status;
  std::string reason;
  if (::fstat(fd, &status) != 0) {
    reason = SystemError("cannot examine the temporary file", path, errno);
  } else if (!S_ISREG(status.st_mode)) {
    reason = "the temporary file is not a regular file: " + path;
  } else if (status.st_uid != ::geteuid()) {
    reason = "the temporary file belongs to another user: " + path;
  } else if (status.st_nlink != 1) {
    reason = "the temporary file has other names (hard links): " + path;
  } else if ((status.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0) {
    reason = SystemError("cannot make the temporary file private", path, errno);
  } else if (::ftruncate(fd, 0) != 0) {
    reason = SystemError("cannot empty the temporary file", path, errno);
  } else if (const int flags = ::fcntl(fd, F_GETFL);
             flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    reason = SystemError("cannot set up the temporary file", path, errno);
  }
  if (!reason.empty()) {
    ::close(fd);
    return reason;
  }
  path_ = path;
  fd_ = fd;
  bytes_written_ = 0;
  error_.clear();
  return "";
}

std::string TempFile::Write(std::string_view data) {
  if (!error_.empty()) return error_;
  if (fd_ < 0) return "the temporary file is not open";
  while (!data.empty()) {
    const ssize_t written = ::write(fd_, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      error_ = SystemError("cannot write the temporary file", path_, errno);
      return error_;
    }
    data.remove_prefix(static_cast<size_t>(written));
    bytes_written_ += written;
  }
  return "";
}

std::string TempFile::Close() {
  if (fd_ < 0) return "the temporary file is not open";
  // The descriptor is gone after close() whatever it returns; a failure may mean lost data.
  if (::close(std::exchange(fd_, -1)) != 0) {
    return SystemError("cannot finish the temporary file", path_, errno);
  }
  return error_;
}

void TempFile::Discard() {
  if (path_.empty()) return;  // never opened: whatever is at the name is not ours
  if (fd_ >= 0) {
    // Emptied through the descriptor first, so that even if the name cannot be removed
    // nothing of the transfer stays behind.
    [[maybe_unused]] const int truncated = ::ftruncate(fd_, 0);
    ::close(std::exchange(fd_, -1));
  }
  ::unlink(path_.c_str());
  path_.clear();
}

}  // namespace logbook
