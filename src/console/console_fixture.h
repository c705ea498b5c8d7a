// The console tests' screen: a 43 x 66 console over a memory backend, in the UTF-8 locale
// the tests run in, with helpers that read rows back and count scrolls.
#ifndef STATEKEEPER_CONSOLE_CONSOLE_FIXTURE_H_
#define STATEKEEPER_CONSOLE_CONSOLE_FIXTURE_H_

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "console/backend_memory.h"
#include "console/console.h"
#include "console/text.h"

namespace console {

inline constexpr int kRows = 43;
inline constexpr int kColumns = 66;

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
    ASSERT_EQ(EncodeCharacter(U'\u00E9'), "\xC3\xA9")
        << "the tests need UTF-8 text: LC_ALL=C.UTF-8, and on Windows the program's manifest";
  }

  // The characters of `row` on the output page.
  std::u32string Row(int row) const {
    std::u32string text;
    for (int column = 1; column <= console_.columns(); ++column) {
      text += console_.cell(row, column).character;
    }
    return text;
  }
  // Row `row` as the first characters hold it, up to the first blank.
  std::u32string RowStart(int row) const { return Row(row).substr(0, Row(row).find(U' ')); }

  // Writes the row's number at the start of every row, so that scrolls can be counted.
  void NumberRows() {
    for (int row = 1; row <= kRows; ++row) {
      console_.MoveCursor(row, 1);
      console_.WriteText(std::to_string(row));
    }
  }
  // How many rows the numbered screen has moved up.
  int CountScrolls() const {
    for (int shift = 0; shift < kRows; ++shift) {
      if (RowStart(1) == ToU32(std::to_string(1 + shift))) return shift;
    }
    return -1;
  }
  static std::u32string ToU32(const std::string& ascii) {
    return std::u32string(ascii.begin(), ascii.end());
  }

  MemoryBackend backend_{{kRows, kColumns}};
  Console console_{backend_};
};

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_CONSOLE_FIXTURE_H_
