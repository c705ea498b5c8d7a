// Owners of operating-system handles. Each owner holds one handle and closes it when it is
// destroyed or given another, so that no path of the program, an error path least of all,
// closes a handle by hand or forgets one. Owners move and never copy: a handle has exactly
// one owner at a time.
//
// The platform's own handles have their traits beside their platform code (the Windows
// HANDLE in base/unique_handle_windows.h, the terminal's curses screen in the ncurses
// backend); the two that every platform has are here.
#ifndef STATEKEEPER_BASE_UNIQUE_HANDLE_H_
#define STATEKEEPER_BASE_UNIQUE_HANDLE_H_

#include <cstdio>
#include <utility>

namespace base {

// `Traits` names the handle type and says which value is no handle, which values are
// handles, and how one is closed:
//   using Handle = ...;
//   static Handle Invalid();
//   static bool IsValid(Handle handle);
//   static bool Close(Handle handle);  // false when the system reports a failure
template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  // Takes `handle` over; an invalid value makes an empty owner.
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }

  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  // The handle, still owned, or the invalid value.
  Handle get() const { return handle_; }
  bool valid() const { return Traits::IsValid(handle_); }

  // Hands the handle on: whoever takes the value closes it from now on (another owner, or
  // an object that the handle was given to). The owner is empty after.
  Handle Release() { return std::exchange(handle_, Traits::Invalid()); }

  // Closes the handle held, if any, and holds `handle` instead.
  void Reset(Handle handle = Traits::Invalid()) {
    const Handle old = std::exchange(handle_, handle);
    if (Traits::IsValid(old)) Traits::Close(old);
  }

  // Closes the handle now, for a caller that must know whether the close succeeded (a
  // failed close may have lost written data). False when the system reports a failure, with
  // the system's error number left as the close set it; the handle is gone either way. An
  // empty owner closes nothing and succeeds.
  [[nodiscard]] bool Close() {
    const Handle old = std::exchange(handle_, Traits::Invalid());
    return !Traits::IsValid(old) || Traits::Close(old);
  }

 private:
  Handle handle_ = Traits::Invalid();
};

// A file descriptor of the C library (POSIX, or the C runtime's on Windows). Close is
// defined in the platform's unique_handle_*.cc.
struct FileDescriptorTraits {
  using Handle = int;
  static constexpr int Invalid() { return -1; }
  static constexpr bool IsValid(int fd) { return fd >= 0; }
  static bool Close(int fd);
};
using UniqueFd = UniqueHandle<FileDescriptorTraits>;

// A stream of the C library.
struct StreamTraits {
  using Handle = std::FILE*;
  static constexpr std::FILE* Invalid() { return nullptr; }
  static constexpr bool IsValid(std::FILE* file) { return file != nullptr; }
  static bool Close(std::FILE* file) { return std::fclose(file) == 0; }
};
using UniqueFile = UniqueHandle<StreamTraits>;

}  // namespace base

#endif  // STATEKEEPER_BASE_UNIQUE_HANDLE_H_
