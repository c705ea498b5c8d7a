// The Windows console backend on a real console, for what tools/windows_e2e.py does not see:
// one backend at a time, and the console left as found. Skipped without one.
#include "console/backend_windows.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "base/unique_handle_windows.h"
#include "console/console.h"

namespace console {
namespace {

// The console's screen buffer (CONOUT$) or input (CONIN$), opened anew.
base::UniqueWinHandle OpenConsole(const wchar_t* name) {
  return base::UniqueWinHandle(CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
}

// The console's input mode, title, buffer size and window size, as one text.
std::wstring ConsoleState() {
  DWORD mode = 0;
  GetConsoleMode(OpenConsole(L"CONIN$").get(), &mode);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  GetConsoleScreenBufferInfo(OpenConsole(L"CONOUT$").get(), &info);
  wchar_t title[1024] = {};
  GetConsoleTitleW(title, 1024);
  return std::to_wstring(mode) + L" " + title + L" " + std::to_wstring(info.dwSize.X) + L"x" +
         std::to_wstring(info.dwSize.Y) + L" " +
         std::to_wstring(info.srWindow.Right - info.srWindow.Left) + L"x" +
         std::to_wstring(info.srWindow.Bottom - info.srWindow.Top);
}

class WindowsConsoleBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(OpenConsole(L"CONOUT$").get(), &info)) {
      GTEST_SKIP() << "no console (GetConsoleScreenBufferInfo failed)";
    }
    base::Error error;
    backend_ = WindowsConsoleBackend::Create(error);
    ASSERT_NE(backend_, nullptr) << error.message;
  }
  std::unique_ptr<WindowsConsoleBackend> backend_;
};

TEST_F(WindowsConsoleBackendTest, OneAtATimeAndTheConsoleIsLeftAsItWasFound) {
  base::Error error;
  EXPECT_EQ(WindowsConsoleBackend::Create(error), nullptr);
  EXPECT_TRUE(error);
  backend_.reset();
  const std::wstring before = ConsoleState();
  backend_ = WindowsConsoleBackend::Create(error);
  ASSERT_NE(backend_, nullptr) << error.message;
  backend_->SetMouseReporting(true);
  DWORD mode = 0;
  GetConsoleMode(OpenConsole(L"CONIN$").get(), &mode);
  EXPECT_EQ(mode & (ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                    ENABLE_QUICK_EDIT_MODE),
            0u);
  EXPECT_EQ(mode & (ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT),
            ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT);
  backend_->SetTitle("Statekeeper");
  {
    Console console(*backend_);
    console.SetScreenSize(20, 30);
    console.Flush();
  }
  backend_.reset();
  EXPECT_EQ(ConsoleState(), before);
}

}  // namespace
}  // namespace console
