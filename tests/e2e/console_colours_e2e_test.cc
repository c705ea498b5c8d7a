// How the console's colours reach terminals with eight colours, on a real pseudo-terminal:
// the console driver draws its known screen under TERM=xterm and TERM=linux, and the
// cells and the bytes the backend wrote are read back through libvterm.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "vterm_harness.h"

namespace {

using e2e::VtermHarness;

// Starts the console driver with the terminal type `term` and waits for its screen.
::testing::AssertionResult StartDriver(VtermHarness& terminal, const std::string& term) {
  ::testing::AssertionResult started = terminal.Start(CONSOLE_DRIVER, {}, {"TERM=" + term});
  if (!started) return started;
  ::testing::AssertionResult drawn = terminal.WaitForText(43, "bottom");
  if (!drawn) return drawn;
  return terminal.WaitForText(8, "3 ALASKA");
}

// Ends the driver with "q" and checks that it ended well.
void QuitDriver(VtermHarness& terminal) {
  terminal.SendChar(U'q');
  const std::optional<e2e::ExitStatus> status = terminal.WaitExit();
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->code, 0);
}

// The looks of the cells in rows `top` to `bottom`, columns `left` to `right`, each as
// "FOREGROUND/BACKGROUND" in console numbers with " bold" and " blink" when set: one look
// for a run drawn in one colour pair.
std::set<std::string> CollectLooks(const VtermHarness& terminal, int top, int bottom, int left,
                                   int right) {
  std::set<std::string> looks;
  for (int row = top; row <= bottom; ++row) {
    for (int column = left; column <= right; ++column) {
      looks.insert(std::to_string(terminal.ConsoleForeground(row, column)) + "/" +
                   std::to_string(terminal.ConsoleBackground(row, column)) +
                   (terminal.Bold(row, column) ? " bold" : "") +
                   (terminal.Blink(row, column) ? " blink" : ""));
    }
  }
  return looks;
}

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
      std::size_t start = 0;
      for (std::size_t semicolon; start <= parameters.size(); start = semicolon + 1) {
        semicolon = parameters.find(';', start);
        if (semicolon == std::string::npos) semicolon = parameters.size();
        values.push_back(std::atoi(parameters.substr(start, semicolon - start).c_str()));
      }
      for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] == 38 || values[i] == 48) {  // an indexed or RGB colour follows
          i += i + 1 < values.size() && values[i + 1] == 2 ? 4 : 2;
        } else if (values[i] == 0) {
          bold = blink = false;
        } else if (values[i] == 1) {
          bold = true;
        } else if (values[i] == 22) {
          bold = false;
        } else if (values[i] == 5) {
          blink = true;
        } else if (values[i] == 25) {
          blink = false;
        }
      }
    } else if ((final_byte == 'X' || final_byte == 'K' || final_byte == 'J') &&
               (parameters.empty() || parameters[0] != '?') && (bold || blink)) {
      erases.push_back(parameters + final_byte);
    }
  }
  return erases;
}

// Eight colours on a terminal other than the Linux console: nothing blinks, a bright
// background shows as its dark partner, and every cell of a run drawn in one colour pair
// looks alike, blanks included: the panel in black on bright white, and the title row in
// bright white on blue, whose blanks are written in bold, never erased.
TEST(ConsoleE2eEightColours, NothingBlinksAndARunLooksAlikeBlanksIncluded) {
  VtermHarness terminal;
  ASSERT_TRUE(StartDriver(terminal, "xterm"));
  std::string blinking;
  for (int row = 1; row <= terminal.rows(); ++row) {
    for (int column = 1; column <= terminal.columns(); ++column) {
      if (terminal.Blink(row, column)) {
        blinking += " " + std::to_string(row) + "," + std::to_string(column);
      }
    }
  }
  EXPECT_EQ(blinking, "") << "cells that blink";
  for (int colour = 0; colour < 16; ++colour) {
    EXPECT_EQ(terminal.ConsoleBackground(4, 1 + colour), colour & 7) << colour;
  }
  EXPECT_EQ(CollectLooks(terminal, 6, 8, 3, 32), std::set<std::string>{"0/7"});
  EXPECT_EQ(CollectLooks(terminal, 1, 1, 1, 66), std::set<std::string>{"7/1 bold"});
  EXPECT_EQ(FindErasesWhileBoldOrBlink(terminal.output()), std::vector<std::string>{});
  QuitDriver(terminal);
}

// The Linux console shows blink as a bright background: a bright background is dark plus
// blink there, in every cell of the panel, blanks included (written, never erased), so
// that it shows one shade.
TEST(ConsoleE2eLinuxConsole, BlinkBrightensTheBackgroundOfEveryCellOfAPanel) {
  VtermHarness terminal;
  ASSERT_TRUE(StartDriver(terminal, "linux"));
  EXPECT_EQ(CollectLooks(terminal, 6, 8, 3, 32), std::set<std::string>{"0/7 blink"});
  EXPECT_EQ(CollectLooks(terminal, 1, 1, 1, 66), std::set<std::string>{"7/1 bold"});
  EXPECT_EQ(FindErasesWhileBoldOrBlink(terminal.output()), std::vector<std::string>{});
  for (int colour = 0; colour < 16; ++colour) {
    EXPECT_EQ(terminal.ConsoleBackground(4, 1 + colour), colour & 7) << colour;
    EXPECT_EQ(terminal.Blink(4, 1 + colour), colour >= 8) << colour;
  }
  QuitDriver(terminal);
}

}  // namespace
