// The end of the user's session (logoff, shutdown) for a console program that uses user32:
// Windows sends such a program no CTRL_LOGOFF_EVENT or CTRL_SHUTDOWN_EVENT, only the
// WM_QUERYENDSESSION and WM_ENDSESSION messages that its top-level windows receive. A
// SessionEndWatch keeps a hidden window on a thread of its own for them.
#ifndef STATEKEEPER_CONSOLE_SESSION_END_WINDOWS_H_
#define STATEKEEPER_CONSOLE_SESSION_END_WINDOWS_H_

#include <windows.h>

#include <memory>

namespace console {

class SessionEndWatch {
 public:
  // Starts the window's thread; `on_end` runs on it when the session ends, and the system
  // ends the process once it returns. Nothing when no window can be made.
  [[nodiscard]] static std::unique_ptr<SessionEndWatch> Start(void (*on_end)());

  SessionEndWatch(const SessionEndWatch&) = delete;
  SessionEndWatch& operator=(const SessionEndWatch&) = delete;
  // Closes the window and waits for its thread.
  ~SessionEndWatch();

 private:
  SessionEndWatch(HANDLE thread, DWORD thread_id) : thread_(thread), thread_id_(thread_id) {}

  HANDLE thread_;
  DWORD thread_id_;
};

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_SESSION_END_WINDOWS_H_
