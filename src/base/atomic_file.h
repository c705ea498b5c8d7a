// Whole-file rewrites that never leave a half-written file: the new content goes to a new
// file in the same folder, which is flushed to disk and then renamed over the old one. A
// failed write leaves the old file as it was and no temporary file behind. A process killed
// in the middle of a rewrite does leave its new file; that file carries a name that only
// this program makes, so that RemoveLeftovers can find it later and nothing else.
#ifndef STATEKEEPER_BASE_ATOMIC_FILE_H_
#define STATEKEEPER_BASE_ATOMIC_FILE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "base/unique_handle.h"

namespace base {

enum class FileMode { kPrivate, kShared };  // 0600, or 0644 less the umask

// When Commit puts the new file in place: at once, or never, leaving it ready under its
// temporary name for CommitFiles (base/file_commit.h), which puts several files in place
// together.
enum class Rename { kNow, kLater };

// A new version of one file, written piece by piece and put in place by Commit(). The
// destructor removes the temporary file unless Commit() renamed it.
class AtomicFile {
 public:
  explicit AtomicFile(std::string path, FileMode mode = FileMode::kShared);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Appends `data`. After a failure further writes do nothing and Commit() fails.
  void Write(std::string_view data);
  // Flushes the new file to disk and, with Rename::kNow, renames it over the path and
  // flushes the folder's entry; with Rename::kLater the file stays under temp_path().
  // Returns the first failure of the file's making, if any; after a failure the old file
  // is left as it was. Called once.
  [[nodiscard]] Error Commit(Rename rename = Rename::kNow);
  const std::string& path() const { return path_; }
  // The new file until it is renamed (readable after Commit(Rename::kLater)); "" when it
  // was not made.
  const std::string& temp_path() const { return temp_path_; }

 private:
  std::string path_;
  std::string temp_path_;
  UniqueFd fd_;
  std::uint64_t written_ = 0;     // bytes written so far
  std::uint64_t write_back_ = 0;  // bytes whose write to disk has been started
  bool renamed_ = false;
  Error error_;
};

// Makes the renames in `folder` survive a power cut. A folder that cannot be opened for
// this (some file systems) is no reason to fail: the renames themselves have happened.
void SyncFolder(const std::string& folder);

// The name of the new file that process `process_id` writes for the file `target_name`:
// ".statekeeper-<process id>-<`unique` as 8 hex digits>-<target_name>.partial", for example
// ".statekeeper-4711-09a3f1c2-CALL.adi.partial". While several files are put in place
// together (base/file_commit.h), the old content is kept aside under the same name ending in
// ".old" instead. No person names a file like that, and no other program either, so a name
// of this form is always one of the program's own.
std::string TemporaryName(std::string_view target_name, std::uint32_t process_id,
                          std::uint32_t unique);

// The process id within `name` when TemporaryName could have made it, of either ending (the
// decimal id without leading zeros, exactly 8 lower-case hex digits, a target name that is
// not empty); nothing for any other name.
std::optional<std::uint32_t> TemporaryNameOwner(std::string_view name);

// This process's id, as TemporaryName takes it.
std::uint32_t CurrentProcessId();

// Whether process `process_id` can no longer be using its temporary files: it has ended, or
// it is this process, which tidies up only between its rewrites (so a name with this
// process's id is taken for one of an earlier process that had the same id).
bool OwnerHasEnded(std::uint32_t process_id);

// Removes from `folder` (not from its subfolders) what rewrites that never finished left
// there. First an update's commit that a killed process left halfway is undone
// (FinishInterruptedCommit of base/file_commit.h); while that cannot be done, nothing is
// removed, since the commit still needs its files. Then each regular file of this user
// whose name TemporaryName makes (of either ending) and whose process has ended goes. A
// process killed in the middle of a rewrite leaves such a file, as large as the new
// content. The new files of another running copy of the program stay. A file that names
// this process counts as a leftover of an earlier process that had the same id, so call
// this only while no rewrite of this process in `folder` is under way. Apart from the undo,
// nothing else is touched: no other name, no folder, and no symbolic link or what it points
// to. Reports nothing: a folder that cannot be read, or a file that cannot be removed, is
// left as it is.
void RemoveLeftovers(const std::string& folder);

// Writes `content` to `path` through an AtomicFile.
[[nodiscard]] Error WriteFileAtomically(const std::string& path, std::string_view content,
                                        FileMode mode = FileMode::kShared);

}  // namespace base

#endif  // STATEKEEPER_BASE_ATOMIC_FILE_H_
