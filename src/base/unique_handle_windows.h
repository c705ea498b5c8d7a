// The owner of a Win32 kernel object handle (a file, a console buffer, a process). Win32
// calls give both INVALID_HANDLE_VALUE and null for "no handle", so both count as none.
#ifndef STATEKEEPER_BASE_UNIQUE_HANDLE_WINDOWS_H_
#define STATEKEEPER_BASE_UNIQUE_HANDLE_WINDOWS_H_

#include <windows.h>

#include "base/unique_handle.h"

namespace base {

struct WinHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static bool Close(Handle handle) { return ::CloseHandle(handle) != 0; }
};
using UniqueWinHandle = UniqueHandle<WinHandleTraits>;

}  // namespace base

#endif  // STATEKEEPER_BASE_UNIQUE_HANDLE_WINDOWS_H_
