// The console layer over the ncurses backend on a real pseudo-terminal: the console driver
// draws a known screen and logs the Key strings it reads; the screen is read back through
// libvterm.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "vterm_harness.h"

namespace {

using e2e::VtermHarness;

class ConsoleE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(terminal_.Start(CONSOLE_DRIVER));
    ASSERT_TRUE(terminal_.WaitForText(43, "bottom"));
  }

  // The Key string of the `count`-th key the driver read, as it logs it on row 10.
  ::testing::AssertionResult Logged(const std::string& hex) {
    ++count_;
    return terminal_.WaitForText(10, "#" + std::to_string(count_) + " " + hex + " ");
  }

  void ExpectRestored() {
    EXPECT_FALSE(terminal_.alternate_screen());
    EXPECT_FALSE(terminal_.mouse_reporting());
    EXPECT_TRUE(terminal_.cursor_visible());
  }

  VtermHarness terminal_;
  int count_ = 0;
};

TEST_F(ConsoleE2e, DrawsCharactersAndColourIndexes) {
  EXPECT_EQ(terminal_.Row(1).substr(0, 15), "Console driver ");
  EXPECT_EQ(terminal_.Row(2).substr(0, 10), " \u2500\u2500\u2500");
  EXPECT_EQ(terminal_.Row(5).substr(0, 8), "K\u00e9 \u20ac ");
  EXPECT_EQ(terminal_.Row(43), "bottom" + std::string(60, '.'));
  for (int colour = 0; colour < 16; ++colour) {
    EXPECT_EQ(terminal_.ConsoleForeground(3, 1 + colour), colour) << colour;
    EXPECT_EQ(terminal_.ConsoleBackground(3, 1 + colour), 1) << colour;
    EXPECT_EQ(terminal_.ConsoleForeground(4, 1 + colour), 15) << colour;
    EXPECT_EQ(terminal_.ConsoleBackground(4, 1 + colour), colour) << colour;
  }
  EXPECT_EQ(terminal_.ConsoleForeground(5, 1), 14);
  EXPECT_EQ(terminal_.ConsoleBackground(5, 1), 4);
  EXPECT_EQ(terminal_.title(), "Console Driver");
  EXPECT_TRUE(terminal_.alternate_screen());
  EXPECT_TRUE(terminal_.mouse_reporting());
  EXPECT_FALSE(terminal_.cursor_visible());
}

struct KeyCase {
  VTermKey key;
  VTermModifier modifiers;
  const char* hex;
};

TEST_F(ConsoleE2e, TerminalKeysGiveWindowsKeyStrings) {
  const KeyCase cases[] = {
      {VTERM_KEY_UP, VTERM_MOD_NONE, "00 48"},
      {VTERM_KEY_DOWN, VTERM_MOD_NONE, "00 50"},
      {VTERM_KEY_LEFT, VTERM_MOD_NONE, "00 4b"},
      {VTERM_KEY_RIGHT, VTERM_MOD_NONE, "00 4d"},
      {VTERM_KEY_PAGEUP, VTERM_MOD_NONE, "00 49"},
      {VTERM_KEY_PAGEDOWN, VTERM_MOD_NONE, "00 51"},
      {VTERM_KEY_HOME, VTERM_MOD_NONE, "00 47"},
      {VTERM_KEY_END, VTERM_MOD_NONE, "00 4f"},
      {VTERM_KEY_INS, VTERM_MOD_NONE, "00 52"},
      {VTERM_KEY_DEL, VTERM_MOD_NONE, "00 53"},
      {static_cast<VTermKey>(VTERM_KEY_FUNCTION_0 + 1), VTERM_MOD_NONE, "00 3b"},
      {static_cast<VTermKey>(VTERM_KEY_FUNCTION_0 + 10), VTERM_MOD_NONE, "00 44"},
      {static_cast<VTermKey>(VTERM_KEY_FUNCTION_0 + 12), VTERM_MOD_NONE, "00 86"},
      {VTERM_KEY_ENTER, VTERM_MOD_NONE, "0d"},
      {VTERM_KEY_BACKSPACE, VTERM_MOD_NONE, "08"},
      {VTERM_KEY_ESCAPE, VTERM_MOD_NONE, "1b"},
      {VTERM_KEY_UP, VTERM_MOD_CTRL, "00 48"},
  };
  for (const KeyCase& c : cases) {
    terminal_.SendKey(c.key, c.modifiers);
    ASSERT_TRUE(Logged(c.hex)) << c.hex;
  }
}

TEST_F(ConsoleE2e, CharactersAltLetterAndCtrlC) {
  const struct {
    char32_t character;
    VTermModifier modifiers;
    const char* hex;
  } cases[] = {
      {U'A', VTERM_MOD_NONE, "41"},   {U'\u00e9', VTERM_MOD_NONE, "c3 a9"},
      {U'x', VTERM_MOD_ALT, "00 2d"}, {U'c', VTERM_MOD_CTRL, "03"},
      {U'a', VTERM_MOD_ALT, "00 1e"},
  };
  for (const auto& c : cases) {
    terminal_.SendChar(c.character, c.modifiers);
    ASSERT_TRUE(Logged(c.hex)) << c.hex;
  }
}

TEST_F(ConsoleE2e, AlternativeEncodingsFromOtherTerminals) {
  const struct {
    const char* bytes;
    const char* hex;
  } cases[] = {
      {"\x1b[1~", "00 47"},
      {"\x1bOH", "00 47"},
      {"\x1b[4~", "00 4f"},
      {"\x1bOF", "00 4f"},
      {"\x1bOA", "00 48"},
      {"\x1b[1;5D", "00 4b"},
      {"\x1b[11~", "00 3b"},
      {"\x1b[[A", "00 3b"},
      {"\x7f", "08"},
      {"\n", "0d"},
      {"\x1b[99z"
       "k",
       "6b"},
  };
  for (const auto& c : cases) {
    terminal_.SendBytes(c.bytes);
    ASSERT_TRUE(Logged(c.hex)) << c.hex;
  }
}

TEST_F(ConsoleE2e, ClickAndDoubleClick) {
  terminal_.Click(7, 20);
  ASSERT_TRUE(Logged("ff ff 04 01 at 7,20"));
  terminal_.Click(7, 20);
  ASSERT_TRUE(Logged("ff ff 02 01 at 7,20"));
  // A right click gives nothing: the next Key string is the key typed after it.
  terminal_.Click(8, 3, 3);
  terminal_.SendChar(U'z');
  ASSERT_TRUE(Logged("7a"));
}

TEST_F(ConsoleE2e, X10AndSgrReportsFromOtherTerminals) {
  // X10: ESC [ M, then 32 + button, 32 + column, 32 + row.
  terminal_.SendBytes(std::string("\x1b[M") + char(32 + 0) + char(32 + 9) + char(32 + 4));
  ASSERT_TRUE(Logged("ff ff 04 01 at 4,9"));
  terminal_.SendBytes(std::string("\x1b[M") + char(32 + 3) + char(32 + 9) + char(32 + 4));
  terminal_.SendBytes("\x1b[<2;5;6M\x1b[<2;5;6m");  // right button: nothing
  terminal_.SendBytes("\x1b[<0;30;12M");
  ASSERT_TRUE(Logged("ff ff 04 01 at 12,30"));
  terminal_.SendBytes("\x1b[<0;30;12m\x1b[<0;30;12M");
  ASSERT_TRUE(Logged("ff ff 02 01 at 12,30"));
}

TEST_F(ConsoleE2e, LoneEscThenALetterIsEscAndTheLetter) {
  terminal_.SendKey(VTERM_KEY_ESCAPE);
  ASSERT_TRUE(Logged("1b"));
  terminal_.SendChar(U'x');
  ASSERT_TRUE(Logged("78"));
  terminal_.SendBytes("\x1bx");  // in one write: Alt+x
  ASSERT_TRUE(Logged("00 2d"));
}

TEST_F(ConsoleE2e, ReadLineEchoesAndTakesBack) {
  terminal_.SendChar(U'l');
  ASSERT_TRUE(Logged("6c"));
  for (const char32_t c : std::u32string(U"W1AW\u00e9")) terminal_.SendChar(c);
  ASSERT_TRUE(terminal_.WaitForText(11, "W1AW\u00e9"));
  EXPECT_TRUE(terminal_.cursor_visible());
  terminal_.SendKey(VTERM_KEY_BACKSPACE);
  terminal_.SendKey(VTERM_KEY_BACKSPACE);
  terminal_.SendChar(U'X');
  terminal_.SendKey(VTERM_KEY_ENTER);
  ASSERT_TRUE(terminal_.WaitForText(12, "line [W1AX]"));
  EXPECT_FALSE(terminal_.cursor_visible());
}

TEST_F(ConsoleE2e, SmallTerminalShowsANoticeAndKeysStillArrive) {
  terminal_.Resize(30, 60);
  ASSERT_TRUE(terminal_.WaitForScreenText("at least 66 x 43"));
  EXPECT_TRUE(terminal_.WaitForScreenText("60 x 30"));
  EXPECT_EQ(terminal_.Screen().find("Console driver"), std::string::npos);
  terminal_.SendChar(U'k');
  terminal_.Resize(43, 66);
  ASSERT_TRUE(terminal_.WaitForText(1, "Console driver"));
  EXPECT_TRUE(Logged("6b"));
  EXPECT_TRUE(terminal_.WaitForText(43, "bottom" + std::string(60, '.')));
}

TEST_F(ConsoleE2e, LargerTerminalIsRepaintedAtTheTopLeft) {
  terminal_.Resize(50, 80);
  ASSERT_TRUE(terminal_.WaitUntil(
      [&] {
        return terminal_.Row(43).substr(0, 6) == "bottom" && terminal_.Row(1).find("Console") == 0;
      },
      "the screen repainted"));
  EXPECT_EQ(terminal_.Row(44), std::string(80, ' '));
  terminal_.Click(44, 5);  // outside the program's screen: nothing
  terminal_.Click(43, 66);
  EXPECT_TRUE(Logged("ff ff 04 01 at 43,66"));
}

TEST_F(ConsoleE2e, ModesRestoredAfterNormalExit) {
  terminal_.SendChar(U'q');
  const std::optional<e2e::ExitStatus> status = terminal_.WaitExit();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(status->exited);
  EXPECT_EQ(status->code, 0);
  ExpectRestored();
}

class ConsoleE2eSignal : public ConsoleE2e, public ::testing::WithParamInterface<int> {};

TEST_P(ConsoleE2eSignal, RestoresTheTerminalAndEndsWithTheSignal) {
  terminal_.Signal(GetParam());
  const std::optional<e2e::ExitStatus> status = terminal_.WaitExit();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(status->signalled);
  EXPECT_EQ(status->signal, GetParam());
  ExpectRestored();
}

INSTANTIATE_TEST_SUITE_P(Signals, ConsoleE2eSignal, ::testing::Values(SIGTERM, SIGHUP, SIGINT),
                         [](const auto& param_info) {
                           return std::string(sigabbrev_np(param_info.param));
                         });

TEST_F(ConsoleE2e, ClosedTerminalEndsTheProgramAsSighupDoes) {
  terminal_.Hangup();
  const std::optional<e2e::ExitStatus> status = terminal_.WaitExit();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(status->signalled);
  EXPECT_EQ(status->signal, SIGHUP);
}

// A terminal type with eight colours: the bright half of the palette is the dark half in
// bold, and the other colours are still the right ones.
TEST(ConsoleE2eEightColours, BrightColoursBecomeBold) {
  VtermHarness terminal;
  ASSERT_TRUE(terminal.Start(CONSOLE_DRIVER, {}, {"TERM=xterm"}));
  ASSERT_TRUE(terminal.WaitForText(43, "bottom"));
  for (int colour = 0; colour < 16; ++colour) {
    EXPECT_EQ(terminal.ConsoleForeground(3, 1 + colour), colour & 7) << colour;
    EXPECT_EQ(terminal.Bold(3, 1 + colour), colour >= 8) << colour;
    EXPECT_EQ(terminal.ConsoleBackground(3, 1 + colour), 1) << colour;
  }
  EXPECT_EQ(terminal.Row(2).substr(0, 10), " \u2500\u2500\u2500");
  terminal.SendChar(U'q');
  const std::optional<e2e::ExitStatus> status = terminal.WaitExit();
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->code, 0);
}

TEST(ConsoleE2eRedirected, UsesTheTerminalWhenStandardStreamsAreRedirected) {
  VtermHarness terminal;
  ASSERT_TRUE(terminal.Start(
      "/bin/sh", {"-c", "exec \"$0\" </dev/null >/dev/null 2>/dev/null", CONSOLE_DRIVER}));
  ASSERT_TRUE(terminal.WaitForText(43, "bottom"));
  terminal.SendKey(VTERM_KEY_LEFT);
  ASSERT_TRUE(terminal.WaitForText(10, "#1 00 4b "));
  terminal.SendChar(U'q');
  const std::optional<e2e::ExitStatus> status = terminal.WaitExit();
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->code, 0);
  EXPECT_FALSE(terminal.alternate_screen());
}

TEST(ConsoleE2eErrors, UnknownTerminalTypeIsOneLineAndExitStatusOne) {
  VtermHarness terminal;
  // ncurses keeps a little memory of a failed newterm for good; that is not this test's
  // business, and a leak report would be more lines on the terminal.
  ASSERT_TRUE(terminal.Start(CONSOLE_DRIVER, {},
                             {"TERM=no-such-terminal-type", "ASAN_OPTIONS=detect_leaks=0"}));
  const std::optional<e2e::ExitStatus> status = terminal.WaitExit();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(status->exited);
  EXPECT_EQ(status->code, 1);
  const std::string& output = terminal.output();
  EXPECT_NE(output.find("unknown terminal type"), std::string::npos) << output;
  EXPECT_NE(output.find("no-such-terminal-type"), std::string::npos) << output;
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
  EXPECT_EQ(output.back(), '\n') << output;
  EXPECT_EQ(output.find('\x1b'), std::string::npos) << "the terminal was touched: " << output;
}

TEST(ConsoleE2eErrors, NoControllingTerminalIsOneLineAndExitStatusOne) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setsid();  // a new session has no controlling terminal
    const int null_fd = open("/dev/null", O_RDWR);
    dup2(null_fd, 0);
    dup2(null_fd, 1);
    dup2(pipe_fds[1], 2);
    close(pipe_fds[0]);
    execl(CONSOLE_DRIVER, CONSOLE_DRIVER, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_fds[1]);
  std::string error;
  char buffer[512];
  for (ssize_t n; (n = read(pipe_fds[0], buffer, sizeof buffer)) > 0;) error.append(buffer, n);
  close(pipe_fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(error.find("/dev/tty"), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), error.size() - 1) << error;
}

}  // namespace
