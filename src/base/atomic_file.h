// Whole-file rewrites that never leave a half-written file: the new content goes to a new
// file in the same folder, which is flushed to disk and then renamed over the old one. A
// failed write leaves the old file as it was and no temporary file behind.
#ifndef STATEKEEPER_BASE_ATOMIC_FILE_H_
#define STATEKEEPER_BASE_ATOMIC_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "base/unique_handle.h"

namespace base {

// What went wrong, for the caller to report; empty when nothing did.
struct FileError {
  std::string message;  // e.g. "cannot write /path/10m.txt: No space left on device"
  bool failed() const { return !message.empty(); }
};

enum class FileMode { kPrivate, kShared };  // 0600, or 0644 less the umask

// A new version of one file, written piece by piece and put in place by Commit(). The
// destructor removes the temporary file unless Commit() succeeded.
class AtomicFile {
 public:
  explicit AtomicFile(std::string path, FileMode mode = FileMode::kShared);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Appends `data`. After a failure further writes do nothing and Commit() fails.
  void Write(std::string_view data);
  // Flushes the new file to disk and renames it over the path. Without `rename_now`
  // (Commit(false)) the file is flushed and kept ready, and Publish() renames it later, so
  // that several files can be made ready first and then put in place together.
  [[nodiscard]] FileError Commit(bool rename_now = true);
  // Without `sync_folder` the rename is not yet flushed to disk: the caller that puts several
  // files of one folder in place calls SyncFolder once after the last of them.
  [[nodiscard]] FileError Publish(bool sync_folder = true);
  const std::string& path() const { return path_; }
  // The new file until Publish() (readable after Commit(false)); "" when it was not made.
  const std::string& temp_path() const { return temp_path_; }

 private:
  std::string path_;
  std::string temp_path_;
  UniqueFd fd_;
  std::uint64_t written_ = 0;     // bytes written so far
  std::uint64_t write_back_ = 0;  // bytes whose write to disk has been started
  bool committed_ = false;
  bool published_ = false;
  FileError error_;
};

// Makes the renames in `folder` survive a power cut. A folder that cannot be opened for
// this (some file systems) is no reason to fail: the renames themselves have happened.
void SyncFolder(const std::string& folder);

// Writes `content` to `path` through an AtomicFile.
[[nodiscard]] FileError WriteFileAtomically(const std::string& path, std::string_view content,
                                            FileMode mode = FileMode::kShared);

}  // namespace base

#endif  // STATEKEEPER_BASE_ATOMIC_FILE_H_
