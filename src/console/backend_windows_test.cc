// The Windows console backend on a real console, for what the console window checks of
// tools/windows_e2e.py do not see: the notice in a window made too small, and the console
// left as it was found. Without a console every test is skipped.
#include "console/backend_windows.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

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

// The characters of `row` (from 1) of the console's buffer, `columns` of them from column 1.
std::wstring ReadRow(int row, int columns) {
  std::vector<CHAR_INFO> cells(static_cast<std::size_t>(columns));
  SMALL_RECT region{0, static_cast<SHORT>(row - 1), static_cast<SHORT>(columns - 1),
                    static_cast<SHORT>(row - 1)};
  if (!ReadConsoleOutputW(OpenConsole(L"CONOUT$").get(), cells.data(),
                          COORD{static_cast<SHORT>(columns), 1}, COORD{0, 0}, &region)) {
    return L"<unreadable>";
  }
  std::wstring text;
  for (const CHAR_INFO& cell : cells) text.push_back(cell.Char.UnicodeChar);
  return text;
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

TEST_F(WindowsConsoleBackendTest, AWindowSmallerThanTheScreenShowsTheNoticeUntilItIsLargeAgain) {
  Console console(*backend_);
  console.SetScreenSize(43, 66);
  console.MoveCursor(43, 1);
  console.WriteText(std::string(66, 'x') + "y");  // the page scrolls up before the "y"
  console.Flush();
  EXPECT_EQ(ReadRow(42, 66), std::wstring(66, L'x'));
  EXPECT_EQ(ReadRow(43, 3), L"y  ");
  const base::UniqueWinHandle output = OpenConsole(L"CONOUT$");
  const SMALL_RECT small{0, 0, 39, 19};
  const BOOL shrunk = SetConsoleWindowInfo(output.get(), TRUE, &small);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  GetConsoleScreenBufferInfo(output.get(), &info);
  if (!shrunk || info.srWindow.Right != 39 || info.srWindow.Bottom != 19) {
    GTEST_SKIP() << "this console keeps its window at the buffer's size";
  }
  console.Flush();
  EXPECT_EQ(ReadRow(10, 40), L"Please make this window at least 66 x 43");
  EXPECT_EQ(ReadRow(11, 40), L"             (now 40 x 20)              ");
  const SMALL_RECT full{0, 0, 65, 42};
  EXPECT_TRUE(SetConsoleWindowInfo(output.get(), TRUE, &full));
  console.Flush();
  EXPECT_EQ(ReadRow(43, 3), L"y  ");
  EXPECT_EQ(ReadRow(10, 40), std::wstring(40, L' '));
}

TEST_F(WindowsConsoleBackendTest, OneAtATimeAndTheConsoleIsLeftAsItWasFound) {
  base::Error error;
  EXPECT_EQ(WindowsConsoleBackend::Create(error), nullptr);
  EXPECT_TRUE(error);
  const base::UniqueWinHandle input = OpenConsole(L"CONIN$");
  const base::UniqueWinHandle output = OpenConsole(L"CONOUT$");
  backend_.reset();
  DWORD old_mode = 0, mode = 0;
  GetConsoleMode(input.get(), &old_mode);
  CONSOLE_SCREEN_BUFFER_INFO old_info{}, info{};
  GetConsoleScreenBufferInfo(output.get(), &old_info);
  wchar_t old_title[1024] = {}, title[1024] = {};
  GetConsoleTitleW(old_title, 1024);

  backend_ = WindowsConsoleBackend::Create(error);
  ASSERT_NE(backend_, nullptr) << error.message;
  backend_->SetMouseReporting(true);
  GetConsoleMode(input.get(), &mode);
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
  GetConsoleMode(input.get(), &mode);
  EXPECT_EQ(mode, old_mode);
  GetConsoleTitleW(title, 1024);
  EXPECT_STREQ(title, old_title);
  GetConsoleScreenBufferInfo(output.get(), &info);
  EXPECT_EQ(info.dwSize.X * 100000 + info.dwSize.Y, old_info.dwSize.X * 100000 + old_info.dwSize.Y);
  EXPECT_EQ(info.srWindow.Right - info.srWindow.Left,
            old_info.srWindow.Right - old_info.srWindow.Left);
  EXPECT_EQ(info.srWindow.Bottom - info.srWindow.Top,
            old_info.srWindow.Bottom - old_info.srWindow.Top);
}

}  // namespace
}  // namespace console
