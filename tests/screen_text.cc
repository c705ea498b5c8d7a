#include "screen_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

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
  const std::vector<std::string> actual = ScreenText(grid);
  std::string actual_text;
  for (const std::string& row : actual) actual_text += row + "\r\n";
  const std::filesystem::path golden =
      std::filesystem::path(__FILE__).parent_path() / "golden" / (name + ".txt");
  std::ifstream in(golden, std::ios::binary);
  std::ostringstream golden_text;
  golden_text << in.rdbuf();
  if (in && golden_text.str() == actual_text) return;

  std::error_code error;
  std::filesystem::create_directories("failed", error);
  const std::string path = "failed/" + name + ".txt";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << actual_text;
  std::ostringstream differences;
  std::istringstream expected(golden_text.str());
  std::string line;
  for (size_t row = 0; row < actual.size(); ++row) {
    if (!std::getline(expected, line)) line.clear();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line != actual[row]) {
      differences << "row " << row + 1 << "\n  golden: |" << line << "|\n  actual: |" << actual[row]
                  << "|\n";
    }
  }
  ADD_FAILURE() << "The screen differs from " << golden << " (written to " << path << ").\n"
                << differences.str();
}

}  // namespace test
