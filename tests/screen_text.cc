#include "screen_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "test_util.h"

namespace test {
namespace {

// The mark for a run of cells in `attribute`, or "" for the Normal colours.
std::string MarkOf(std::uint8_t attribute) {
  if (attribute == 0x1F) return "";
  if (attribute == 0x4E) return "h";
  if (attribute == 0x1E) return "y";
  if (attribute == 0xF0) return "p";
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", attribute);
  return hex;
}

}  // namespace

std::vector<std::string> ScreenText(const console::Grid& grid) {
  std::vector<std::string> rows;
  for (int row = 0; row < grid.rows; ++row) {
    std::string text;
    std::string open_mark;
    for (int column = 0; column < grid.columns; ++column) {
      const console::Cell& cell = grid.at(row, column);
      const std::string mark = MarkOf(cell.attribute);
      if (mark != open_mark) {
        if (!open_mark.empty()) text += '}';
        if (!mark.empty()) text += '{' + mark + ':';
        open_mark = mark;
      }
      text += EncodeUtf8(cell.character);
    }
    if (!open_mark.empty()) text += '}';
    rows.push_back(text);
  }
  return rows;
}

void ExpectGoldenScreen(const console::Grid& grid, const std::string& name) {
  std::string actual;
  for (const std::string& row : ScreenText(grid)) actual += row + "\r\n";
  const std::string golden =
      (std::filesystem::path(__FILE__).parent_path() / "golden" / name).string();
  const std::string expected = ReadFile(golden + ".txt").value_or("");
  if (expected == actual) return;
  std::error_code error;
  std::filesystem::create_directories("failed", error);
  WriteFile("failed/" + name + ".txt", actual);
  EXPECT_EQ(expected, actual) << golden << ".txt differs; the screen is in failed/" << name
                              << ".txt";
}

}  // namespace test
