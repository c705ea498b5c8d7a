// The commit of several files and its recovery, on top of each platform's moves.
#include "base/file_commit.h"

#include <cstdio>
#include <memory>
#include <optional>

namespace base {
namespace {

constexpr std::string_view kJournalStart = "statekeeper commit ";
constexpr std::string_view kJournalEnd = "end";
constexpr std::string_view kNewFileEnd = ".partial";
constexpr std::string_view kOldFileEnd = ".old";

// One file of a commit, by its names within the folder.
struct Entry {
  bool had_old = false;  // something stood at the file's name before the commit
  std::string new_name;
  std::string aside_name;
  std::string name;
};

struct Journal {
  std::uint32_t owner = 0;
  std::vector<Entry> entries;
};

std::string FormatJournal(const Journal& journal) {
  std::string text(kJournalStart);
  text += std::to_string(journal.owner) + "\n";
  for (const Entry& entry : journal.entries) {
    text += std::string(entry.had_old ? "1" : "0") + "\t" + entry.new_name + "\t" +
            entry.aside_name + "\t" + entry.name + "\n";
  }
  text += std::string(kJournalEnd) + "\n";
  return text;
}

// Splits `text` at `separator`; the piece after the last separator is the last element.
std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  for (size_t end = text.find(separator); end != std::string_view::npos;
       end = text.find(separator)) {
    pieces.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  pieces.push_back(text);
  return pieces;
}

// A file's own name within the folder: no path, and nothing that leads out of the folder.
bool IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\:") == std::string_view::npos;
}

// A temporary name of the program's of the kind that `ending` marks.
bool IsScratchName(std::string_view name, std::string_view ending) {
  return IsPlainName(name) && name.ends_with(ending) && TemporaryNameOwner(name).has_value();
}

// The journal that `text` holds, or nothing when it is not one that CommitFiles wrote, so
// that no other text can make the recovery move or remove a file.
std::optional<Journal> ParseJournal(std::string_view text) {
  std::vector<std::string_view> lines = Split(text, '\n');
  // The closing line, then the "" after its line end.
  if (lines.size() < 3 || !lines.back().empty() || lines[lines.size() - 2] != kJournalEnd)
    return {};
  if (!lines[0].starts_with(kJournalStart)) return {};
  const std::string_view digits = lines[0].substr(kJournalStart.size());
  if (digits.empty() || digits.size() > 10) return {};
  Journal journal;
  std::uint64_t owner = 0;
  for (const char digit : digits) {
    if (digit < '0' || digit > '9') return {};
    owner = owner * 10 + static_cast<std::uint64_t>(digit - '0');
  }
  if (owner > UINT32_MAX) return {};
  journal.owner = static_cast<std::uint32_t>(owner);
  for (size_t i = 1; i + 2 < lines.size(); ++i) {
    const std::vector<std::string_view> fields = Split(lines[i], '\t');
    if (fields.size() != 4 || (fields[0] != "0" && fields[0] != "1")) return {};
    if (!IsScratchName(fields[1], kNewFileEnd) || !IsScratchName(fields[2], kOldFileEnd) ||
        !IsPlainName(fields[3])) {
      return {};
    }
    journal.entries.push_back(
        {fields[0] == "1", std::string(fields[1]), std::string(fields[2]), std::string(fields[3])});
  }
  return journal;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The whole content of `path`, or nothing when it cannot be read.
std::optional<std::string> ReadWhole(const std::string& path) {
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return {};
  std::string text;
  char piece[4096];
  for (size_t got; (got = std::fread(piece, 1, sizeof piece, file.get())) > 0;) {
    text.append(piece, got);
  }
  if (std::ferror(file.get())) return {};
  return text;
}

// Gives every file of `entries` its old content back, by the recovery rule. Returns false
// when a step failed; what could be undone is undone all the same.
bool Undo(const std::string& folder, const std::vector<Entry>& entries) {
  bool undone = true;
  for (const Entry& entry : entries) {
    const std::string path = folder + entry.name;
    const std::string aside = folder + entry.aside_name;
    if (entry.had_old) {
      if (!commit_os::Exists(aside)) continue;  // the old file never left its name
      // Where the aside is a second link to the file at the name, the move does nothing,
      // and the old file stands at the name already: the aside name only has to go.
      if (commit_os::MoveOver(aside, path) || !commit_os::Remove(aside)) undone = false;
    } else if (!commit_os::Exists(folder + entry.new_name)) {
      if (!commit_os::Remove(path)) undone = false;  // the new file is at the name
    }
  }
  return undone;
}

// A failed step: undoes the steps before it, and when that worked removes the journal.
// Returns `error`.
Error Abandon(const std::string& folder, const std::vector<Entry>& entries, Error error) {
  if (Undo(folder, entries)) {
    SyncFolder(folder);
    (void)commit_os::Remove(folder + std::string(kCommitJournalName));
  }
  return error;
}

}  // namespace

Error CommitFiles(const std::string& folder, const std::vector<const AtomicFile*>& files,
                  int stop_after) {
  int steps_taken = 0;
  // Whether the test seam stops the commit before its next step.
  const auto stop_here = [&] { return stop_after >= 0 && steps_taken++ >= stop_after; };

  Journal journal;
  journal.owner = CurrentProcessId();
  for (const AtomicFile* file : files) {
    const std::string& path = file->path();
    const std::string& temp_path = file->temp_path();
    Entry entry;
    if (path.starts_with(folder)) entry.name = path.substr(folder.size());
    if (temp_path.starts_with(folder)) entry.new_name = temp_path.substr(folder.size());
    if (!IsPlainName(entry.name) || !IsScratchName(entry.new_name, kNewFileEnd)) {
      return Error{"cannot write " + path + ": its new file is not ready"};
    }
    entry.aside_name = entry.new_name.substr(0, entry.new_name.size() - kNewFileEnd.size());
    entry.aside_name += kOldFileEnd;
    entry.had_old = commit_os::Exists(path);
    journal.entries.push_back(std::move(entry));
  }

  const std::string journal_path = folder + std::string(kCommitJournalName);
  AtomicFile journal_file(journal_path, FileMode::kPrivate);
  journal_file.Write(FormatJournal(journal));
  if (Error error = journal_file.Commit(Rename::kLater); error) return error;
  if (stop_here()) return {};
  if (Error error = commit_os::MoveToFreeName(journal_file.temp_path(), journal_path); error) {
    return error;
  }
  SyncFolder(folder);

  for (const Entry& entry : journal.entries) {
    const std::string path = folder + entry.name;
    if (stop_here()) return {};
    if (entry.had_old) {
      if (Error error = commit_os::KeepAside(path, folder + entry.aside_name); error) {
        return Abandon(folder, journal.entries, std::move(error));
      }
    }
    if (stop_here()) return {};
    if (Error error = commit_os::MoveOver(folder + entry.new_name, path); error) {
      return Abandon(folder, journal.entries, std::move(error));
    }
  }
  SyncFolder(folder);

  if (stop_here()) return {};
  if (!commit_os::Remove(journal_path)) {
    return Abandon(folder, journal.entries,
                   MakeOsError("cannot remove " + journal_path, GetLastOsError()));
  }
  SyncFolder(folder);
  if (stop_here()) return {};
  for (const Entry& entry : journal.entries) {
    // One that stays is a leftover that RemoveLeftovers takes away.
    if (entry.had_old) (void)commit_os::Remove(folder + entry.aside_name);
  }
  return {};
}

bool FinishInterruptedCommit(const std::string& folder) {
  const std::string journal_path = folder + std::string(kCommitJournalName);
  const std::optional<std::string> text = ReadWhole(journal_path);
  if (!text) return !commit_os::Exists(journal_path);
  const std::optional<Journal> journal = ParseJournal(*text);
  if (!journal) return commit_os::Remove(journal_path);
  if (!OwnerHasEnded(journal->owner)) return false;
  if (!Undo(folder, journal->entries)) return false;
  SyncFolder(folder);
  return commit_os::Remove(journal_path);
}

}  // namespace base
