// The moves of a commit on Windows: MoveFileExW with MOVEFILE_REPLACE_EXISTING replaces a
// name in one step, and the old file is kept aside by moving it, which fails while another
// program holds it open without sharing it for deletion, before anything has changed.
#include <windows.h>

#include "base/ansi_text_windows.h"
#include "base/file_commit.h"

namespace base::commit_os {
namespace {

// A name that is not valid in the ANSI code page widens to "", so the call fails.
std::wstring Wide(const std::string& text) { return WidenAnsi(text).value_or(std::wstring()); }

Error ErrorFor(const std::string& path, OsErrorCode code) {
  return MakeOsError("cannot write " + path, code);
}

bool IsMissing(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

}  // namespace

bool Exists(const std::string& path) {
  return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES ||
         !IsMissing(::GetLastError());
}

Error KeepAside(const std::string& path, const std::string& aside) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ErrorFor(path, GetLastOsError());
  // MoveFileExW would move a folder too; replacing one with a file is refused.
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ErrorFor(path, ERROR_ACCESS_DENIED);
  if (::MoveFileExW(Wide(path).c_str(), Wide(aside).c_str(), MOVEFILE_WRITE_THROUGH)) return {};
  return ErrorFor(path, GetLastOsError());
}

Error MoveOver(const std::string& from, const std::string& to) {
  if (::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return {};
  }
  return ErrorFor(to, GetLastOsError());
}

Error MoveToFreeName(const std::string& from, const std::string& to) {
  if (::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) return {};
  return ErrorFor(to, GetLastOsError());
}

bool Remove(const std::string& path) {
  return ::DeleteFileW(Wide(path).c_str()) || IsMissing(::GetLastError());
}

}  // namespace base::commit_os
