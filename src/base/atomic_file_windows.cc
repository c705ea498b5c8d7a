// Whole-file rewrites on Windows: the new file is created next to the target under a name
// no other file has (CREATE_NEW), flushed with FlushFileBuffers, and moved over the target
// with MoveFileExW, which replaces the old file in one step on NTFS.
//
// Paths are the program's std::string in the ANSI code page: that is what getenv gives for
// LOCALAPPDATA and TEMP, and what the console's text conversion uses, so a path built from
// them converts to UTF-16 with CP_ACP and back without loss.
//
// FileMode has no meaning here: a new file gets the inherited ACL of its folder, which for
// the Program folder under LOCALAPPDATA gives access to the user (and the system) only.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/ansi_text_windows.h"
#include "base/atomic_file.h"
#include "base/file_commit.h"
#include "base/unique_handle_windows.h"

namespace base {
namespace {

// A name that is not valid in the ANSI code page widens to "", so the call fails.
std::wstring Wide(const std::string& text) { return WidenAnsi(text).value_or(std::wstring()); }

Error ErrorFor(const std::string& path, OsErrorCode code) {
  return MakeOsError("cannot write " + path, code);
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A name for the new file that differs from one call to the next and between processes.
std::string CandidateName(const std::string& path) {
  static std::atomic<std::uint32_t> counter{0};
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  const std::uint32_t unique =
      (counter.fetch_add(1) * 0x9E3779B9u) ^ static_cast<std::uint32_t>(now.QuadPart);
  size_t name_start = path.size();
  while (name_start > 0 && !IsSeparator(path[name_start - 1])) --name_start;
  return path.substr(0, name_start) +
         TemporaryName(std::string_view(path).substr(name_start),
                       static_cast<std::uint32_t>(::GetCurrentProcessId()), unique);
}

struct HandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using ProcessHandle = std::unique_ptr<void, HandleCloser>;

struct SearchCloser {
  void operator()(HANDLE search) const { ::FindClose(search); }
};
using SearchHandle = std::unique_ptr<void, SearchCloser>;

// A found name in the ANSI code page, as TemporaryName makes it. A character that the code
// page lacks turns into "?", which cannot make a name look like one of the program's:
// their fixed parts are ASCII, and the target name may hold any character.
std::string Narrow(const wchar_t* name) {
  const int size = ::WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string narrow(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, name, -1, narrow.data(), size, nullptr, nullptr);
  narrow.pop_back();  // the closing NUL
  return narrow;
}

}  // namespace

// Moves are written through to disk by MoveFileExW itself (MOVEFILE_WRITE_THROUGH), and a
// folder cannot be flushed on its own on Windows.
void SyncFolder(const std::string&) {}

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(::GetCurrentProcessId()); }

bool OwnerHasEnded(std::uint32_t process_id) {
  if (process_id == ::GetCurrentProcessId()) return true;
  const ProcessHandle process(::OpenProcess(SYNCHRONIZE, FALSE, process_id));
  // No process has that id; any other refusal (another user's process) means it runs.
  if (!process) return ::GetLastError() == ERROR_INVALID_PARAMETER;
  return ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
}

void RemoveLeftovers(const std::string& folder) {
  if (folder.empty()) return;
  if (!FinishInterruptedCommit(IsSeparator(folder.back()) ? folder : folder + '\\')) return;
  std::wstring prefix = Wide(folder);
  if (prefix.empty()) return;
  if (prefix.back() != L'\\' && prefix.back() != L'/') prefix += L'\\';
  WIN32_FIND_DATAW found;
  const HANDLE first = ::FindFirstFileExW((prefix + L"*").c_str(), FindExInfoBasic, &found,
                                          FindExSearchNameMatch, nullptr, 0);
  if (first == INVALID_HANDLE_VALUE) return;
  const SearchHandle search(first);
  do {
    // A folder, and a symbolic link or junction (a reparse point), is never a leftover.
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
      continue;
    }
    const std::optional<std::uint32_t> owner = TemporaryNameOwner(Narrow(found.cFileName));
    if (!owner || !OwnerHasEnded(*owner)) continue;
    ::DeleteFileW((prefix + found.cFileName).c_str());
  } while (::FindNextFileW(search.get(), &found));
}

AtomicFile::AtomicFile(std::string path, FileMode) : path_(std::move(path)) {
  // The new file is made next to the old one, so that the move stays in one volume.
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    std::string name = CandidateName(path_);
    UniqueWinHandle handle(::CreateFileW(Wide(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                         nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) {
      const DWORD code = GetLastOsError();
      if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) continue;
      error_ = ErrorFor(path_, code);
      return;
    }
    fd_.Reset(::_open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_BINARY));
    if (!fd_.valid()) {
      handle.Reset();
      ::DeleteFileW(Wide(name).c_str());
      error_ = ErrorFor(path_, ERROR_TOO_MANY_OPEN_FILES);
      return;
    }
    handle.Release();  // the descriptor owns it now: closing one closes both
    temp_path_ = std::move(name);
    return;
  }
  error_ = ErrorFor(path_, ERROR_FILE_EXISTS);
}

AtomicFile::~AtomicFile() {
  fd_.Reset();
  if (!temp_path_.empty() && !renamed_) ::DeleteFileW(Wide(temp_path_).c_str());
}

void AtomicFile::Write(std::string_view data) {
  if (error_) return;
  const HANDLE handle = HandleOf(fd_.get());
  while (!data.empty()) {
    constexpr size_t kMaxPiece = 1 << 30;
    const DWORD piece = static_cast<DWORD>(data.size() < kMaxPiece ? data.size() : kMaxPiece);
    DWORD written = 0;
    if (!::WriteFile(handle, data.data(), piece, &written, nullptr)) {
      error_ = ErrorFor(path_, GetLastOsError());
      return;
    }
    data.remove_prefix(written);
    written_ += written;
  }
}

Error AtomicFile::Commit(Rename rename) {
  if (!error_ && !::FlushFileBuffers(HandleOf(fd_.get())))
    error_ = ErrorFor(path_, GetLastOsError());
  if (!fd_.Close() && !error_) error_ = ErrorFor(path_, GetLastOsError());
  if (error_ || rename == Rename::kLater) return error_;
  // The folder needs no flush of its own here (see SyncFolder).
  if (!::MoveFileExW(Wide(temp_path_).c_str(), Wide(path_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error_ = ErrorFor(path_, GetLastOsError());
    return error_;
  }
  renamed_ = true;
  return {};
}

}  // namespace base
