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
#include "base/error.h"
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

std::string SystemError(std::string_view what, const std::string& path, DWORD error) {
  return std::string(what) + " " + path + ": " + base::DescribeOsError(error);
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

void TempFile::CloseDescriptor(int fd) { ::_close(fd); }

std::string TempFile::Open(const std::string& path) {
  if (fd_ >= 0) return "the temporary file is already open";
  std::wstring wide;
  if (!WidePath(path, wide)) {
    return SystemError("cannot open the temporary file", path, ERROR_INVALID_NAME);
  }
  // OPEN_ALWAYS creates the file or opens what is there without changing it, so that the
  // checks below see the thing at the name before anything is written. DELETE lets Discard
  // remove exactly the file that was opened, whatever happens to the name meanwhile.
  const HANDLE handle =
      ::CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    // A folder cannot be opened as a file; Windows says "access denied" for it.
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return "the temporary file is a symbolic link: " + path;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return "the temporary file is not a regular file: " + path;
    }
    return SystemError("cannot open the temporary file", path, error);
  }
  BY_HANDLE_FILE_INFORMATION information;
  std::string reason;
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    reason = "the temporary file is not a regular file: " + path;  // a device or a pipe
  } else if (!::GetFileInformationByHandle(handle, &information)) {
    reason = SystemError("cannot examine the temporary file", path, ::GetLastError());
  } else if (IsReparsePoint(handle, information, wide)) {
    reason = "the temporary file is a symbolic link: " + path;
  } else if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    reason = "the temporary file is not a regular file: " + path;
  } else if (information.nNumberOfLinks != 1) {
    reason = "the temporary file has other names (hard links): " + path;
  } else if (!Truncate(handle)) {
    reason = SystemError("cannot empty the temporary file", path, ::GetLastError());
  }
  if (!reason.empty()) {
    ::CloseHandle(handle);
    return reason;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(handle);
    return SystemError("cannot set up the temporary file", path, ERROR_TOO_MANY_OPEN_FILES);
  }
  path_ = path;
  fd_ = fd;
  bytes_written_ = 0;
  error_.clear();
  return "";
}

std::string TempFile::Write(std::string_view data) {
  if (!error_.empty()) return error_;
  if (fd_ < 0) return "the temporary file is not open";
  const HANDLE handle = HandleOf(fd_);
  while (!data.empty()) {
    constexpr size_t kMostAtOnce = 1 << 30;
    const DWORD asked = static_cast<DWORD>(data.size() < kMostAtOnce ? data.size() : kMostAtOnce);
    DWORD written = 0;
    if (!::WriteFile(handle, data.data(), asked, &written, nullptr)) {
      error_ = SystemError("cannot write the temporary file", path_, ::GetLastError());
      return error_;
    }
    data.remove_prefix(written);
    bytes_written_ += written;
  }
  return "";
}

std::string TempFile::Close() {
  if (fd_ < 0) return "the temporary file is not open";
  // The handle is gone after _close() whatever it returns; a failure may mean lost data.
  const HANDLE handle = HandleOf(fd_);
  const bool flushed = ::FlushFileBuffers(handle) != 0;
  const DWORD flush_error = flushed ? 0 : ::GetLastError();
  if (::_close(std::exchange(fd_, -1)) != 0) {
    return SystemError("cannot finish the temporary file", path_, ERROR_WRITE_FAULT);
  }
  if (!flushed) return SystemError("cannot finish the temporary file", path_, flush_error);
  return error_;
}

void TempFile::Discard() {
  if (path_.empty()) return;  // never opened: whatever is at the name is not ours
  if (fd_ >= 0) {
    // Emptied first, so that even if the file cannot be removed nothing of the transfer
    // stays behind; then removed through the handle, which names the file that was written.
    const HANDLE handle = HandleOf(fd_);
    Truncate(handle);
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    const bool marked = ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                                     sizeof disposition) != 0;
    ::_close(std::exchange(fd_, -1));
    if (marked) {
      path_.clear();
      return;
    }
  }
  if (std::wstring wide; WidePath(path_, wide)) ::DeleteFileW(wide.c_str());
  path_.clear();
}

}  // namespace logbook
