// The moves of a commit on POSIX systems: rename(2) replaces a name in one step, and the
// old file is kept aside as a second hard link, so that its name never stands empty.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/file_commit.h"

namespace base::commit_os {
namespace {

Error ErrorFor(const std::string& path, int code) {
  return MakeOsError("cannot write " + path, static_cast<OsErrorCode>(code));
}

}  // namespace

bool Exists(const std::string& path) {
  struct stat status;
  return ::lstat(path.c_str(), &status) == 0 || errno != ENOENT;
}

Error KeepAside(const std::string& path, const std::string& aside) {
  struct stat status;
  if (::lstat(path.c_str(), &status) != 0) return ErrorFor(path, errno);
  if (S_ISDIR(status.st_mode)) return ErrorFor(path, EISDIR);
  if (::link(path.c_str(), aside.c_str()) == 0) return {};
  // A file system without hard links: the old file moves aside, and its name stands
  // empty until the new file takes it.
  if (::rename(path.c_str(), aside.c_str()) == 0) return {};
  return ErrorFor(path, errno);
}

Error MoveOver(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) == 0) return {};
  return ErrorFor(to, errno);
}

Error MoveToFreeName(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) == 0) return {};
  if (errno == EEXIST) return ErrorFor(to, errno);
  // A file system without hard links: the name is looked at first.
  if (Exists(to)) return ErrorFor(to, EEXIST);
  if (::rename(from.c_str(), to.c_str()) == 0) return {};
  return ErrorFor(to, errno);
}

bool Remove(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

}  // namespace base::commit_os
