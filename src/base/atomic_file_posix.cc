#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/atomic_file.h"
#include "base/file_commit.h"

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

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A different number on every call, so that a name already taken gives way to another.
std::uint32_t NextUnique() {
  static std::atomic<std::uint32_t> counter{0};
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return (counter.fetch_add(1) * 0x9E3779B9u) ^ static_cast<std::uint32_t>(now.tv_nsec);
}

struct FolderCloser {
  void operator()(DIR* folder) const { ::closedir(folder); }
};
using FolderHandle = std::unique_ptr<DIR, FolderCloser>;

mode_t SharedMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0644 & ~mask;
}

}  // namespace

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

bool OwnerHasEnded(std::uint32_t process_id) {
  if (process_id > static_cast<std::uint32_t>(INT_MAX)) return true;  // no such process id
  const pid_t pid = static_cast<pid_t>(process_id);
  if (pid == ::getpid()) return true;
  // Signal 0 only asks whether the process exists; EPERM means it does, as another user's.
  return ::kill(pid, 0) != 0 && errno == ESRCH;
}

void SyncFolder(const std::string& folder) {
  const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());
}

void RemoveLeftovers(const std::string& folder) {
  if (folder.empty()) return;
  if (!FinishInterruptedCommit(folder.back() == '/' ? folder : folder + '/')) return;
  UniqueFd opened(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!opened.valid()) return;
  // The listing takes the descriptor over once it exists.
  const FolderHandle entries(::fdopendir(opened.get()));
  if (!entries) return;
  const int folder_fd = opened.Release();
  while (const dirent* entry = ::readdir(entries.get())) {
    const std::optional<std::uint32_t> owner = TemporaryNameOwner(entry->d_name);
    if (!owner) continue;
    struct stat status;
    if (::fstatat(folder_fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) continue;
    if (!OwnerHasEnded(*owner)) continue;
    // Without AT_REMOVEDIR a name that became a folder meanwhile is refused, and a symbolic
    // link is removed itself, never what it points to.
    ::unlinkat(folder_fd, entry->d_name, 0);
  }
}

AtomicFile::AtomicFile(std::string path, FileMode mode) : path_(std::move(path)) {
  // The new file is made next to the old one, so that the rename stays in one file system.
  // O_EXCL makes it a new file, never one that was there; another name is tried then.
  const std::string target = NameOf(path_);
  const std::string folder = path_.substr(0, path_.size() - target.size());  // with its '/'
  const auto process_id = static_cast<std::uint32_t>(::getpid());
  std::string name;
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && !fd_.valid() && (error == EEXIST || error == EINTR);
       ++attempt) {
    name = folder + TemporaryName(target, process_id, NextUnique());
    fd_.Reset(::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    error = fd_.valid() ? 0 : errno;
  }
  if (!fd_.valid()) {
    error_ = ErrorFor(path_, static_cast<OsErrorCode>(error));
    return;
  }
  temp_path_ = name;
  if (mode == FileMode::kShared && ::fchmod(fd_.get(), SharedMode()) != 0)
    error_ = ErrorFor(path_, GetLastOsError());
}

AtomicFile::~AtomicFile() {
  fd_.Reset();
  if (!temp_path_.empty() && !renamed_) ::unlink(temp_path_.c_str());
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
  if (!error_ && ::fsync(fd_.get()) != 0) error_ = ErrorFor(path_, GetLastOsError());
  if (!fd_.Close() && !error_) error_ = ErrorFor(path_, GetLastOsError());
  if (error_ || rename == Rename::kLater) return error_;
  if (::rename(temp_path_.c_str(), path_.c_str()) != 0) {
    error_ = ErrorFor(path_, GetLastOsError());
    return error_;
  }
  renamed_ = true;
  SyncFolder(FolderOf(path_));
  return {};
}

}  // namespace base
