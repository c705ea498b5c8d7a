#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/atomic_file.h"

namespace base {
namespace {

Error ErrorFor(const std::string& path, OsErrorCode code) {
  return MakeOsError("cannot write " + path, code);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

mode_t SharedMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0644 & ~mask;
}

}  // namespace

void SyncFolder(const std::string& folder) {
  const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());
}

AtomicFile::AtomicFile(std::string path, FileMode mode) : path_(std::move(path)) {
  // The new file is made next to the old one, so that the rename stays in one file system.
  std::string name = path_ + ".XXXXXX";
  fd_.Reset(::mkostemp(name.data(), O_CLOEXEC));
  if (!fd_.valid()) {
    error_ = ErrorFor(path_, GetLastOsError());
    return;
  }
  temp_path_ = name;
  if (mode == FileMode::kShared && ::fchmod(fd_.get(), SharedMode()) != 0)
    error_ = ErrorFor(path_, GetLastOsError());
}

AtomicFile::~AtomicFile() {
  fd_.Reset();
  if (!temp_path_.empty() && !published_) ::unlink(temp_path_.c_str());
}

void AtomicFile::Write(std::string_view data) {
  if (error_) return;
  while (!data.empty()) {
    const ssize_t written = ::write(fd_.get(), data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      error_ = ErrorFor(path_, GetLastOsError());
      return;
    }
    data.remove_prefix(static_cast<size_t>(written));
    written_ += static_cast<std::uint64_t>(written);
  }
#ifdef __linux__
  // A large file goes to disk while the rest of it is still being made, so that the flush
  // at the end has little left to wait for.
  constexpr std::uint64_t kWriteBackStep = 1 << 20;
  if (written_ - write_back_ >= kWriteBackStep) {
    ::sync_file_range(fd_.get(), static_cast<off_t>(write_back_),
                      static_cast<off_t>(written_ - write_back_), SYNC_FILE_RANGE_WRITE);
    write_back_ = written_;
  }
#endif
}

Error AtomicFile::Commit(Rename rename) {
  if (committed_) return error_;
  committed_ = true;
  if (!error_ && ::fsync(fd_.get()) != 0) error_ = ErrorFor(path_, GetLastOsError());
  if (!fd_.Close() && !error_) error_ = ErrorFor(path_, GetLastOsError());
  if (error_) return error_;
  return rename == Rename::kNow ? Publish() : Error{};
}

Error AtomicFile::Publish(FolderSync folder_sync) {
  if (!committed_) {
    Error error = Commit(Rename::kLater);
    if (error) return error;
  }
  if (error_ || published_) return error_;
  if (::rename(temp_path_.c_str(), path_.c_str()) != 0) {
    error_ = ErrorFor(path_, GetLastOsError());
    return error_;
  }
  published_ = true;
  if (folder_sync == FolderSync::kNow) SyncFolder(FolderOf(path_));
  return {};
}

}  // namespace base
