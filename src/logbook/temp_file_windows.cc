// The Temporary download file on Windows. The file is opened through the Win32 API so that
// a reparse point (symbolic link, junction) at the name is opened itself and refused, never
// followed; the handle is then kept as a C runtime descriptor, which is what TempFile holds.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "base/ansi_text_windows.h"
#include "base/unique_handle_windows.h"
#include "logbook/temp_file.h"

namespace logbook {
namespace {

// The program's paths are bytes in the ANSI code page (they come from getenv); a byte
// sequence that is not valid there fails instead of naming some other file.
bool WidePath(const std::string& path, std::wstring& wide) {
  if (path.empty()) return false;
  std::optional<std::wstring> widened = base::WidenAnsi(path);
  if (!widened) return false;
  wide = std::move(*widened);
  return true;
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

bool Truncate(HANDLE handle) {
  FILE_END_OF_FILE_INFO end = {};
  return ::SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end) != 0;
}

// Whether the opened file is a reparse point. Asked of the handle in two ways and of the name
// as well, since not every file system reports it in the basic information.
bool IsReparsePoint(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& information,
                    const std::wstring& path) {
  if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  if (::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
      ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || tag.ReparseTag != 0)) {
    return true;
  }
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

base::Error TempFile::Open(const std::string& path) {
  if (fd_.valid()) return {"the temporary file is already open"};
  std::wstring wide;
  if (!WidePath(path, wide)) {
    return Failure("cannot open the temporary file", path, ERROR_INVALID_NAME);
  }
  // OPEN_ALWAYS creates the file or opens what is there without changing it, so that the
  // checks below see the thing at the name before anything is written. DELETE lets Discard
  // remove exactly the file that was opened, whatever happens to the name meanwhile.
  base::UniqueWinHandle handle(
      ::CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.valid()) {
    const DWORD error = ::GetLastError();
    // A folder cannot be opened as a file; Windows says "access denied" for it.
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return {"the temporary file is a symbolic link: " + path};
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return {"the temporary file is not a regular file: " + path};
    }
    return Failure("cannot open the temporary file", path, error);
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (::GetFileType(handle.get()) != FILE_TYPE_DISK) {
    return {"the temporary file is not a regular file: " + path};  // a device or a pipe
  }
  if (!::GetFileInformationByHandle(handle.get(), &information)) {
    return Failure("cannot examine the temporary file", path, ::GetLastError());
  }
  if (IsReparsePoint(handle.get(), information, wide)) {
    return {"the temporary file is a symbolic link: " + path};
  }
  if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    return {"the temporary file is not a regular file: " + path};
  }
  if (information.nNumberOfLinks != 1) {
    return {"the temporary file has other names (hard links): " + path};
  }
  if (!Truncate(handle.get())) {
    return Failure("cannot empty the temporary file", path, ::GetLastError());
  }
  // The descriptor takes the handle over only when it is made.
  base::UniqueFd fd(
      ::_open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_WRONLY | _O_BINARY));
  if (!fd.valid()) {
    return Failure("cannot set up the temporary file", path, ERROR_TOO_MANY_OPEN_FILES);
  }
  handle.Release();
  path_ = path;
  fd_ = std::move(fd);
  bytes_written_ = 0;
  error_ = {};
  return {};
}

base::Error TempFile::Write(std::string_view data) {
  if (error_) return error_;
  if (!fd_.valid()) return {"the temporary file is not open"};
  const HANDLE handle = HandleOf(fd_.get());
  while (!data.empty()) {
    constexpr size_t kMostAtOnce = 1 << 30;
    const DWORD asked = static_cast<DWORD>(data.size() < kMostAtOnce ? data.size() : kMostAtOnce);
    DWORD written = 0;
    if (!::WriteFile(handle, data.data(), asked, &written, nullptr)) {
      error_ = Failure("cannot write the temporary file", path_, ::GetLastError());
      return error_;
    }
    data.remove_prefix(written);
    bytes_written_ += written;
  }
  return {};
}

base::Error TempFile::Close() {
  if (!fd_.valid()) return {"the temporary file is not open"};
  // The handle is gone after the close whatever it returns; a failure may mean lost data.
  const bool flushed = ::FlushFileBuffers(HandleOf(fd_.get())) != 0;
  const DWORD flush_error = flushed ? 0 : ::GetLastError();
  if (!fd_.Close()) return Failure("cannot finish the temporary file", path_, ERROR_WRITE_FAULT);
  if (!flushed) return Failure("cannot finish the temporary file", path_, flush_error);
  return error_;
}

void TempFile::Discard() {
  if (path_.empty()) return;  // never opened: whatever is at the name is not ours
  if (fd_.valid()) {
    // Emptied first, so that even if the file cannot be removed nothing of the transfer
    // stays behind; then removed through the handle, which names the file that was written.
    const HANDLE handle = HandleOf(fd_.get());
    Truncate(handle);
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    const bool marked = ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                                     sizeof disposition) != 0;
    fd_.Reset();
    if (marked) {
      path_.clear();
      return;
    }
  }
  if (std::wstring wide; WidePath(path_, wide)) ::DeleteFileW(wide.c_str());
  path_.clear();
}

}  // namespace logbook
