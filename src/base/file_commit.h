// Several files of one folder put in place as one change: after CommitFiles, and after a
// process killed in its middle followed by FinishInterruptedCommit, either every file holds
// its new content or every file holds its old one (a file that was missing is missing
// again). An update uses it for its Local log file, Band files and Country file.
//
// How a commit goes. The new files are already written and flushed under their temporary
// names (AtomicFile::Commit(Rename::kLater)). Then:
//   1. The journal, ".statekeeper-commit.journal" in the folder, is written and flushed
//      under a temporary name and moved to its name only when that is free. It names the
//      committing process and, per file, whether the file existed, the new file's
//      temporary name, the name the old file is kept under and the file's own name.
//   2. For each file in turn: its old content is kept aside under the new file's name with
//      ".old" for ".partial" (a second hard link on POSIX systems,
//      otherwise the old file moved there), then the new file is moved over the name.
//   3. The journal is removed. This is the moment the new set stands.
//   4. The old files kept aside are removed.
// A step that fails undoes what the ones before did, then the journal goes.
//
// The recovery rule. A journal whose process has ended means a commit that never reached
// step 3, so it is undone, never completed: for each file, an old file kept aside is moved
// back over the name; a file that had no old one is removed once its new file has left the
// temporary name. Then the journal goes, and the rest of the commit (new files that were
// never put in place, old files kept aside) are leftovers of an ended process that
// RemoveLeftovers takes away. Each undo step leaves a state that the same rule undoes
// again, so a recovery that is itself interrupted is simply repeated.
#ifndef STATEKEEPER_BASE_FILE_COMMIT_H_
#define STATEKEEPER_BASE_FILE_COMMIT_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/atomic_file.h"
#include "base/error.h"

namespace base {

inline constexpr std::string_view kCommitJournalName = ".statekeeper-commit.journal";

// For tests: CommitFiles takes every step.
inline constexpr int kEveryStep = -1;

// The number of steps CommitFiles takes for `file_count` files: the journal, two per file,
// and the journal's removal.
constexpr int CommitStepCount(int file_count) { return 2 * file_count + 2; }

// Puts `files` in place together, as the top of this file describes. Each must be a file
// of `folder` (which ends with the path separator) that AtomicFile::Commit(Rename::kLater)
// made ready. Returns the first failure: every file then holds what it held before, unless
// the undo itself failed, in which case the journal stays for FinishInterruptedCommit.
// Fails at once, changing nothing, while the journal of another commit is in the folder.
// `stop_after` is a test seam: with 0 or more, the call returns after that many steps,
// leaving the folder as a process killed there would (returns no failure). Borrows `files`
// for the call.
[[nodiscard]] Error CommitFiles(const std::string& folder,
                                const std::vector<const AtomicFile*>& files,
                                int stop_after = kEveryStep);

// Undoes the commit whose journal is in `folder` (ends with the path separator) when its
// process has ended, by the recovery rule above, and removes the journal; a journal that
// is not one the program wrote is removed too. Returns true when no journal is left, false
// while one stays: its process is still running, or a step of the undo failed (the next
// call tries again). Reports nothing else.
[[nodiscard]] bool FinishInterruptedCommit(const std::string& folder);

// What each platform does for a commit (file_commit_posix.cc, file_commit_windows.cc).
namespace commit_os {

// Whether anything (a file, a folder, a link) stands at `path`.
bool Exists(const std::string& path);
// Keeps the old file at `path` under the free name `aside` as well (or only there). Fails
// when `path` is a folder or cannot be moved (a file another program holds open).
[[nodiscard]] Error KeepAside(const std::string& path, const std::string& aside);
// Moves the file at `from` over `to`, replacing what stands there in one step.
[[nodiscard]] Error MoveOver(const std::string& from, const std::string& to);
// Gives the file at `from` the name `to` only when that name is free (`from` may stay).
[[nodiscard]] Error MoveToFreeName(const std::string& from, const std::string& to);
// Removes the file at `path`; a name that is already free counts as removed.
[[nodiscard]] bool Remove(const std::string& path);

}  // namespace commit_os

}  // namespace base

#endif  // STATEKEEPER_BASE_FILE_COMMIT_H_
