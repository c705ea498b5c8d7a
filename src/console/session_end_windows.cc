#include "console/session_end_windows.h"

namespace console {
namespace {

constexpr wchar_t kClassName[] = L"StatekeeperSessionEnd";

struct ThreadStart {
  void (*on_end)();
  HANDLE ready;  // set once the window exists, or could not be made
  bool made;
};

LRESULT CALLBACK OnMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      return 0;
    }
    case WM_QUERYENDSESSION:
      return TRUE;  // the session may end: the program gives way
    case WM_ENDSESSION:
      if (wparam != 0) {
        auto on_end = reinterpret_cast<void (*)()>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (on_end != nullptr) on_end();
      }
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

DWORD WINAPI RunWindow(void* parameter) {
  auto& start = *static_cast<ThreadStart*>(parameter);
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = OnMessage;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kClassName;
  RegisterClassW(&window_class);
  // A top-level window that is never shown: only those get the session's messages.
  HWND window = CreateWindowExW(0, kClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                window_class.hInstance, reinterpret_cast<void*>(start.on_end));
  start.made = window != nullptr;
  SetEvent(start.ready);  // `start` is gone from here on
  if (window == nullptr) return 1;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  DestroyWindow(window);
  return 0;
}

}  // namespace

std::unique_ptr<SessionEndWatch> SessionEndWatch::Start(void (*on_end)()) {
  ThreadStart start{on_end, CreateEventW(nullptr, TRUE, FALSE, nullptr), false};
  if (start.ready == nullptr) return nullptr;
  DWORD thread_id = 0;
  HANDLE thread = CreateThread(nullptr, 0, RunWindow, &start, 0, &thread_id);
  if (thread != nullptr) WaitForSingleObject(start.ready, INFINITE);
  CloseHandle(start.ready);
  if (thread == nullptr) return nullptr;
  if (!start.made) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return nullptr;
  }
  return std::unique_ptr<SessionEndWatch>(new SessionEndWatch(thread, thread_id));
}

SessionEndWatch::~SessionEndWatch() {
  PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
}

}  // namespace console
