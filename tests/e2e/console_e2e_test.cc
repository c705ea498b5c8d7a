// The console layer over the ncurses backend on a real pseudo-terminal: the console driver
// draws a known screen and logs the Key strings it reads; the screen, and the bytes the
// backend wrote, are read back through libvterm.
#include <gtest/gtest.h>
#include <signal.h>

#include <cctype>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "vterm_harness.h"

namespace {

using e2e::VtermHarness;

class ConsoleE2e : public ::testing::Test {
 protected:
  // Starts the console driver with the terminal type `term` and waits for its screen. Its
  // standard streams are redirected: the backend uses the terminal all the same.
  void StartDriver(const std::string& term = "xterm-256color") {
    terminal_ = std::make_unique<VtermHarness>();
    ASSERT_TRUE(terminal_->Start(
        "/bin/sh", {"-c", "exec \"$0\" </dev/null >/dev/null 2>/dev/null", CONSOLE_DRIVER},
        {"TERM=" + term}));
    ASSERT_TRUE(terminal_->WaitForText(43, "bottom"));
    ASSERT_TRUE(terminal_->WaitForText(8, "3 ALASKA"));
  }

  // The Key string of the next key the driver read, as it logs it on row 10.
  ::testing::AssertionResult Logged(const std::string& hex) {
    ++count_;
    return terminal_->WaitForText(10, "#" + std::to_string(count_) + " " + hex + " ");
  }

  // Ends the driver with "q" and checks that it ended well and gave the terminal back.
  void Quit() {
    terminal_->SendChar(U'q');
    const std::optional<e2e::ExitStatus> status = terminal_->WaitExit();
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(status->exited && status->code == 0);
    EXPECT_FALSE(terminal_->alternate_screen());
    EXPECT_FALSE(terminal_->mouse_reporting());
    EXPECT_TRUE(terminal_->cursor_visible());
  }

  // The looks of the cells in rows `top` to `bottom`, columns `left` to `right`, each as
  // "FOREGROUND/BACKGROUND" in console numbers with " bold" and " blink" when set: one look
  // for a run drawn in one colour pair.
  std::set<std::string> Looks(int top, int bottom, int left, int right) const {
    std::set<std::string> looks;
    for (int row = top; row <= bottom; ++row) {
      for (int column = left; column <= right; ++column) {
        looks.insert(std::to_string(terminal_->ConsoleForeground(row, column)) + "/" +
                     std::to_string(terminal_->ConsoleBackground(row, column)) +
                     (terminal_->Bold(row, column) ? " bold" : "") +
                     (terminal_->Blink(row, column) ? " blink" : ""));
      }
    }
    return looks;
  }

  std::unique_ptr<VtermHarness> terminal_;  // a new one for each start
  int count_ = 0;
};

// The erase sequences (ECH, EL, ED) in `output` that come while bold or blink is on. A
// terminal fills erased cells with the colours alone, so cells erased then would not
// carry the attributes that the rest of their run has.
std::vector<std::string> FindErasesWhileBoldOrBlink(const std::string& output) {
  std::vector<std::string> erases;
  bool bold = false;
  bool blink = false;
  for (std::size_t at = output.find("\x1b["); at != std::string::npos;
       at = output.find("\x1b[", at + 1)) {
    std::size_t end = at + 2;
    while (end < output.size() && (std::isdigit(static_cast<unsigned char>(output[end])) ||
                                   output[end] == ';' || output[end] == '?')) {
      ++end;
    }
    if (end >= output.size()) break;
    const std::string parameters = output.substr(at + 2, end - at - 2);
    const char final_byte = output[end];
    if (final_byte == 'm') {
      std::vector<int> values;
      for (std::size_t start = 0, semicolon; start <= parameters.size(); start = semicolon + 1) {
        semicolon = parameters.find(';', start);
        if (semicolon == std::string::npos) semicolon = parameters.size();
        values.push_back(std::atoi(parameters.substr(start, semicolon - start).c_str()));
      }
      for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] == 38 || values[i] == 48) {  // an indexed or RGB colour follows
          i += i + 1 < values.size() && values[i + 1] == 2 ? 4 : 2;
        } else if (values[i] == 0 || values[i] == 1 || values[i] == 22) {
          bold = values[i] == 1;
          blink = blink && values[i] != 0;
        } else if (values[i] == 5 || values[i] == 25) {
          blink = values[i] == 5;
        }
      }
    } else if ((final_byte == 'X' || final_byte == 'K' || final_byte == 'J') &&
               (parameters.empty() || parameters[0] != '?') && (bold || blink)) {
      erases.push_back(parameters + final_byte);
    }
  }
  return erases;
}

TEST_F(ConsoleE2e, DrawsCharactersAndColourIndexes) {
  StartDriver();
  EXPECT_EQ(terminal_->Row(1).substr(0, 15), "Console driver ");
  EXPECT_EQ(terminal_->Row(2).substr(0, 10), " \u2500\u2500\u2500");
  EXPECT_EQ(terminal_->Row(5).substr(0, 8), "K\u00e9 \u20ac ");
  EXPECT_EQ(terminal_->Row(43), "bottom" + std::string(60, '.'));
  for (int colour = 0; colour < 16; ++colour) {
    EXPECT_EQ(terminal_->ConsoleForeground(3, 1 + colour), colour) << colour;
    EXPECT_EQ(terminal_->ConsoleBackground(3, 1 + colour), 1) << colour;
    EXPECT_EQ(terminal_->ConsoleForeground(4, 1 + colour), 15) << colour;
    EXPECT_EQ(terminal_->ConsoleBackground(4, 1 + colour), colour) << colour;
  }
  EXPECT_EQ(terminal_->ConsoleForeground(5, 1), 14);
  EXPECT_EQ(terminal_->ConsoleBackground(5, 1), 4);
  EXPECT_EQ(terminal_->title(), "Console Driver");
  EXPECT_TRUE(terminal_->alternate_screen());
  EXPECT_TRUE(terminal_->mouse_reporting());
  EXPECT_FALSE(terminal_->cursor_visible());
  Quit();
}

// Keys and clicks as an xterm sends them, and encodings of other terminals that reach the
// backend as they are (a sequence it does not know is dropped whole), each with the
// Windows Key string it gives; a right click gives nothing: the next Key string is the key
// after it. The decoding itself is pinned by the unit tests of the keys.
TEST_F(ConsoleE2e, TerminalInputGivesWindowsKeyStrings) {
  StartDriver();
  const auto key = [&](VTermKey k, VTermModifier modifiers = VTERM_MOD_NONE) {
    return [this, k, modifiers] { terminal_->SendKey(k, modifiers); };
  };
  const auto function = [&](int n) { return key(static_cast<VTermKey>(VTERM_KEY_FUNCTION_0 + n)); };
  const auto character = [&](char32_t c, VTermModifier modifiers = VTERM_MOD_NONE) {
    return [this, c, modifiers] { terminal_->SendChar(c, modifiers); };
  };
  const auto bytes = [&](std::string text) { return [this, text] { terminal_->SendBytes(text); }; };
  const auto click = [&](int row, int column, int button = 1) {
    return [this, row, column, button] { terminal_->Click(row, column, button); };
  };
  const struct {
    std::function<void()> send;
    const char* hex;  // nullptr: nothing is logged
  } cases[] = {
      {key(VTERM_KEY_UP), "00 48"},
      {key(VTERM_KEY_DOWN), "00 50"},
      {key(VTERM_KEY_LEFT), "00 4b"},
      {key(VTERM_KEY_RIGHT), "00 4d"},
      {key(VTERM_KEY_PAGEUP), "00 49"},
      {key(VTERM_KEY_PAGEDOWN), "00 51"},
      {key(VTERM_KEY_HOME), "00 47"},
      {key(VTERM_KEY_END), "00 4f"},
      {key(VTERM_KEY_INS), "00 52"},
      {key(VTERM_KEY_DEL), "00 53"},
      {function(1), "00 3b"},
      {function(10), "00 44"},
      {function(12), "00 86"},
      {key(VTERM_KEY_ENTER), "0d"},
      {key(VTERM_KEY_BACKSPACE), "08"},
      {key(VTERM_KEY_ESCAPE), "1b"},  // a lone Esc, then a letter: Esc and the letter
      {character(U'x'), "78"},
      {bytes("\x1bx"), "00 2d"},  // in one write: Alt+x
      {key(VTERM_KEY_UP, VTERM_MOD_CTRL), "00 48"},
      {character(U'A'), "41"},
      {character(U'\u00e9'), "c3 a9"},
      {character(U'x', VTERM_MOD_ALT), "00 2d"},
      {character(U'c', VTERM_MOD_CTRL), "03"},
      {character(U'a', VTERM_MOD_ALT), "00 1e"},
      {bytes("\x1b[1;5D"), "00 4b"},
      {bytes("\n"), "0d"},
      {bytes("\x1b[99z"
             "k"),
       "6b"},
      {click(7, 20), "ff ff 04 01 at 7,20"},
      {click(7, 20), "ff ff 02 01 at 7,20"},
      {click(8, 3, 3), nullptr},
      {character(U'z'), "7a"},
  };
  for (const auto& c : cases) {
    c.send();
    if (c.hex != nullptr) {
      ASSERT_TRUE(Logged(c.hex)) << c.hex;
    }
  }
  Quit();
}

TEST_F(ConsoleE2e, ReadLineEchoesAndTakesBack) {
  StartDriver();
  terminal_->SendChar(U'l');
  ASSERT_TRUE(Logged("6c"));
  for (const char32_t c : std::u32string(U"W1AW\u00e9")) terminal_->SendChar(c);
  ASSERT_TRUE(terminal_->WaitForText(11, "W1AW\u00e9"));
  EXPECT_TRUE(terminal_->cursor_visible());
  terminal_->SendKey(VTERM_KEY_BACKSPACE);
  terminal_->SendKey(VTERM_KEY_BACKSPACE);
  terminal_->SendChar(U'X');
  terminal_->SendKey(VTERM_KEY_ENTER);
  ASSERT_TRUE(terminal_->WaitForText(12, "line [W1AX]"));
  EXPECT_FALSE(terminal_->cursor_visible());
}

TEST_F(ConsoleE2e, LargerTerminalIsRepaintedAtTheTopLeft) {
  StartDriver();
  terminal_->Resize(50, 80);
  ASSERT_TRUE(terminal_->WaitUntil(
      [&] {
        return terminal_->Row(43).substr(0, 6) == "bottom" &&
               terminal_->Row(1).find("Console") == 0;
      },
      "the screen repainted"));
  EXPECT_EQ(terminal_->Row(44), std::string(80, ' '));
  terminal_->Click(44, 5);  // outside the program's screen: nothing
  terminal_->Click(43, 66);
  EXPECT_TRUE(Logged("ff ff 04 01 at 43,66"));
}

TEST_F(ConsoleE2e, ClosedTerminalEndsTheProgramAsSighupDoes) {
  StartDriver();
  terminal_->Hangup();
  const std::optional<e2e::ExitStatus> status = terminal_->WaitExit();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(status->signalled && status->signal == SIGHUP);
}

// Eight colours on a terminal other than the Linux console: the bright half of the
// foregrounds is the dark half in bold, nothing blinks, a bright background shows as its
// dark partner, and every cell of a run drawn in one colour pair looks alike, blanks
// included: the panel in black on bright white, and the title row in bright white on
// blue, whose blanks are written in bold, never erased. The Linux console shows blink as a
// bright background: a bright background is dark plus blink there, in every cell of the
// panel, blanks included, so that it shows one shade.
TEST_F(ConsoleE2e, EightColourTerminalsShowTheBrightHalfAsBoldOrBlink) {
  for (const bool linux_console : {false, true}) {
    SCOPED_TRACE(linux_console ? "linux" : "xterm");
    StartDriver(linux_console ? "linux" : "xterm");
    for (int colour = 0; colour < 16; ++colour) {
      EXPECT_EQ(terminal_->ConsoleForeground(3, 1 + colour), colour & 7) << colour;
      EXPECT_EQ(terminal_->Bold(3, 1 + colour), colour >= 8) << colour;
      EXPECT_EQ(terminal_->ConsoleBackground(3, 1 + colour), 1) << colour;
      EXPECT_EQ(terminal_->ConsoleBackground(4, 1 + colour), colour & 7) << colour;
      EXPECT_EQ(terminal_->Blink(4, 1 + colour), linux_console && colour >= 8) << colour;
    }
    bool blinks = false;
    for (const std::string& look : Looks(1, terminal_->rows(), 1, terminal_->columns())) {
      blinks = blinks || look.ends_with(" blink");
    }
    EXPECT_EQ(blinks, linux_console);
    EXPECT_EQ(Looks(6, 8, 3, 32), std::set<std::string>{linux_console ? "0/7 blink" : "0/7"});
    EXPECT_EQ(Looks(1, 1, 1, 66), std::set<std::string>{"7/1 bold"});
    EXPECT_EQ(terminal_->Row(2).substr(0, 10), " \u2500\u2500\u2500");
    EXPECT_EQ(FindErasesWhileBoldOrBlink(terminal_->output()), std::vector<std::string>{});
    Quit();
  }
}

}  // namespace
