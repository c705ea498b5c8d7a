// Whole-file rewrites that never leave a half-written file: the new content goes to a new
// file in the same folder, which is flushed to disk and then renamed over the old one. A
// failed write leaves the old file as it was and no temporary file behind.
#ifndef STATEKEEPER_BASE_ATOMIC_FILE_H_
#define STATEKEEPER_BASE_ATOMIC_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "base/error.h"
#include "base/unique_handle.h"

namespace base {

enum class FileMode { kPrivate, kShared };  // 0600, or 0644 less the umask

// When Commit puts the new file in place: at once, or later through Publish, so that
// several files can be made ready first and then put in place together.
enum class Rename { kNow, kLater };

// Whether Publish flushes the folder's new entry to disk itself, or leaves that to the
// caller, who puts several files of one folder in place and calls SyncFolder once after
// the last of them.
enum class FolderSync { kNow, kByCaller };

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
  // Flushes the new file to disk and, with Rename::kNow, renames it over the path; with
  // Rename::kLater the file is kept ready for Publish(). Returns the first failure of the
  // file's making, if any; after a failure the old file is left as it was.
  [[nodiscard]] Error Commit(Rename rename = Rename::kNow);
  // Renames the new file over the path (committing it first when Commit() has not run)
  // and, with FolderSync::kNow, flushes the folder's entry to disk.
  [[nodiscard]] Error Publish(FolderSync folder_sync = FolderSync::kNow);
  const std::string& path() const { return path_; }
  // The new file until Publish() (readable after Commit(Rename::kLater)); "" when it was
  // not made.
  const std::string& temp_path() const { return temp_path_; }

 private:
  std::string path_;
  std::string temp_path_;
  UniqueFd fd_;
  std::uint64_t written_ = 0;     // bytes written so far
  std::uint64_t write_back_ = 0;  // bytes whose write to disk has been started
  bool committed_ = false;
  bool published_ = false;
  Error error_;
};

// Makes the renames in `folder` survive a power cut. A folder that cannot be opened for
// this (some file systems) is no reason to fail: the renames themselves have happened.
void SyncFolder(const std::string& folder);

// Writes `content` to `path` through an AtomicFile.
[[nodiscard]] Error WriteFileAtomically(const std::string& path, std::string_view content,
                                        FileMode mode = FileMode::kShared);

}  // namespace base

#endif  // STATEKEEPER_BASE_ATOMIC_FILE_H_
