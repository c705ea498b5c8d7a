#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "app/unattended.h"

namespace app {
namespace {

std::atomic<bool> interruption_arrived{false};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI NoteInterruption(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;  // the default
  interruption_arrived = true;
  return TRUE;
}

}  // namespace

// A console, not merely a character device: _isatty() also says yes for NUL.
bool IsTerminal(std::FILE* stream) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

void CatchInterruptions() { ::SetConsoleCtrlHandler(NoteInterruption, TRUE); }

bool InterruptionArrived() { return interruption_arrived; }

}  // namespace app
