// Tests of the Windows console backend on a real console: input records are put into the
// console's input with WriteConsoleInputW and read back as events, and what Present draws
// is read back with ReadConsoleOutputW. Without a console (standard streams on pipes or
// files) every test is skipped.
#include "console/backend_windows.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/unique_handle_windows.h"
#include "console/console.h"
#include "console/windows_translate.h"

namespace console {
namespace {

// The console's screen buffer (CONOUT$) or input (CONIN$), opened anew.
base::UniqueWinHandle OpenConsole(const wchar_t* name) {
  return base::UniqueWinHandle(CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
}
base::UniqueWinHandle OpenConsoleOutput() { return OpenConsole(L"CONOUT$"); }
base::UniqueWinHandle OpenConsoleInput() { return OpenConsole(L"CONIN$"); }

bool HaveConsole() {
  const base::UniqueWinHandle output = OpenConsoleOutput();
  CONSOLE_SCREEN_BUFFER_INFO info{};
  return output.valid() && GetConsoleScreenBufferInfo(output.get(), &info);
}

enum class KeyAction { kDown, kUp };

INPUT_RECORD KeyRecord(KeyAction action, WORD virtual_key, WORD scan_code, wchar_t character,
                       DWORD control_state = 0) {
  INPUT_RECORD record{KEY_EVENT};
  record.Event.KeyEvent = {
      action == KeyAction::kDown, 1, virtual_key, scan_code, {character}, control_state};
  return record;
}

INPUT_RECORD MouseRecord(SHORT x, SHORT y, DWORD buttons, DWORD flags) {
  INPUT_RECORD record{MOUSE_EVENT};
  record.Event.MouseEvent = {COORD{x, y}, buttons, 0, flags};
  return record;
}

void Inject(const std::vector<INPUT_RECORD>& records) {
  DWORD written = 0;
  ASSERT_TRUE(WriteConsoleInputW(OpenConsoleInput().get(), records.data(),
                                 static_cast<DWORD>(records.size()), &written));
  EXPECT_EQ(written, records.size());
}

// The characters of `row` (from 1) of the console's buffer, `columns` of them from column 1.
std::wstring ReadRow(int row, int columns, std::vector<WORD>* attributes = nullptr) {
  std::vector<CHAR_INFO> cells(static_cast<std::size_t>(columns));
  SMALL_RECT region{0, static_cast<SHORT>(row - 1), static_cast<SHORT>(columns - 1),
                    static_cast<SHORT>(row - 1)};
  if (!ReadConsoleOutputW(OpenConsoleOutput().get(), cells.data(),
                          COORD{static_cast<SHORT>(columns), 1}, COORD{0, 0}, &region)) {
    return L"<unreadable>";
  }
  std::wstring text;
  for (const CHAR_INFO& cell : cells) {
    text.push_back(cell.Char.UnicodeChar);
    if (attributes != nullptr) attributes->push_back(cell.Attributes);
  }
  return text;
}

class WindowsConsoleBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveConsole()) GTEST_SKIP() << "no console (GetConsoleScreenBufferInfo failed)";
    base::Error error;
    backend_ = WindowsConsoleBackend::Create(error);
    ASSERT_NE(backend_, nullptr) << error.message;
  }
  std::unique_ptr<WindowsConsoleBackend> backend_;
};

// The translation's cases are pinned in windows_translate_test.cc; here the records go
// through the real console input and the console model.
TEST_F(WindowsConsoleBackendTest, KeysAndClicksThroughTheConsoleInput) {
  Console console(*backend_);
  console.SetScreenSize(43, 66);
  Inject({KeyRecord(KeyAction::kDown, VK_LEFT, 75, 0, ENHANCED_KEY),
          KeyRecord(KeyAction::kUp, VK_LEFT, 75, 0, ENHANCED_KEY),
          KeyRecord(KeyAction::kDown, VK_SHIFT, 42, 0, SHIFT_PRESSED),
          KeyRecord(KeyAction::kDown, 'X', 45, L'x', LEFT_ALT_PRESSED),
          KeyRecord(KeyAction::kDown, 'C', 46, 3, LEFT_CTRL_PRESSED),
          KeyRecord(KeyAction::kDown, 0, 0, L'\u00E9'),
          MouseRecord(1, 1, FROM_LEFT_1ST_BUTTON_PRESSED, 0), MouseRecord(1, 1, 0, 0)});
  EXPECT_TRUE(IsExtendedKey(console.WaitKey(300), kScanLeft));
  EXPECT_EQ(console.WaitKey(300), std::string("\0-", 2));
  EXPECT_EQ(console.WaitKey(300), "\x03");
  // In the ANSI code page: é is E9 in 1252, the code page of C and UTF-8 Unix locales.
  const std::string e_acute = console.WaitKey(300);
  if (GetACP() == 1252) {
    EXPECT_EQ(e_acute, "\xe9");
  }
  EXPECT_EQ(console.WaitKey(300), "");  // no mouse asked for: the click is dropped
  console.EnableMouse(kMouseLeft, kMousePressed | kMouseDoubleClick);
  Inject({MouseRecord(5, 1, RIGHTMOST_BUTTON_PRESSED, 0), MouseRecord(5, 1, 0, 0),
          MouseRecord(9, 3, FROM_LEFT_1ST_BUTTON_PRESSED, 0), MouseRecord(9, 3, 0, 0),
          MouseRecord(9, 3, FROM_LEFT_1ST_BUTTON_PRESSED, DOUBLE_CLICK), MouseRecord(9, 3, 0, 0),
          MouseRecord(200, 3, FROM_LEFT_1ST_BUTTON_PRESSED, 0)});  // off the screen
  EXPECT_EQ(console.WaitKey(300), std::string("\xff\xff\x04\x01", 4));
  EXPECT_EQ(console.mouse_position().row * 100 + console.mouse_position().column, 410);
  EXPECT_EQ(console.WaitKey(300), std::string("\xff\xff\x02\x01", 4));
  EXPECT_EQ(console.WaitKey(300), "");
}

TEST_F(WindowsConsoleBackendTest, TheScreenSizeMakesBufferAndWindowAndTheCellsArePainted) {
  Console console(*backend_);
  console.SetScreenSize(43, 66);
  console.SetColors(15, 1);
  console.ClearScreen();
  console.WriteText("top \xe9");  // é in code page 1252 or in UTF-8 alike decodes to U+00E9
  console.MoveCursor(43, 1);
  console.WriteText(std::string(66, 'x') + "y");  // the page scrolls up before the "y"
  console.Flush();
  CONSOLE_SCREEN_BUFFER_INFO info{};
  ASSERT_TRUE(GetConsoleScreenBufferInfo(OpenConsoleOutput().get(), &info));
  EXPECT_EQ(info.dwSize.X * 100 + info.dwSize.Y, 6643);
  EXPECT_EQ(info.srWindow.Left + info.srWindow.Top, 0);
  EXPECT_EQ(info.srWindow.Right * 100 + info.srWindow.Bottom, 6542);
  EXPECT_EQ(info.dwCursorPosition.X * 100 + info.dwCursorPosition.Y, 142);
  std::vector<WORD> attributes;
  EXPECT_EQ(ReadRow(42, 66, &attributes), std::wstring(66, L'x'));
  EXPECT_EQ(attributes.front(), 0x1F);
  EXPECT_EQ(ReadRow(43, 3), L"y  ");
  EXPECT_EQ(ReadRow(1, 4), L"    ");

  // The operator makes the window smaller than the screen, then large again.
  const base::UniqueWinHandle output = OpenConsoleOutput();
  const SMALL_RECT small{0, 0, 39, 19};
  const BOOL shrunk = SetConsoleWindowInfo(output.get(), TRUE, &small);
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
  const base::UniqueWinHandle input = OpenConsoleInput();
  const base::UniqueWinHandle output = OpenConsoleOutput();
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
