#include "screen_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <string_view>

#include "test_util.h"

namespace test {
namespace {

// The mark for a run of cells in `attribute`, or "" for the Normal colours.
std::string MarkOf(std::uint8_t attribute) {
  switch (attribute) {
    case kNormalAttribute:
      return "";
    case 0x4E:
      return "h";
    case 0x1E:
      return "y";
    case 0xF0:
      return "p";
    default: {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", attribute);
      return hex;
    }
  }
}

std::string RowText(const console::Grid& grid, int row) {
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
  return text;
}

console::Grid GridOf(const console::Console& console) {
  console::Grid grid;
  grid.rows = console.rows();
  grid.columns = console.columns();
  grid.cells.reserve(static_cast<size_t>(grid.rows * grid.columns));
  for (int row = 1; row <= grid.rows; ++row) {
    for (int column = 1; column <= grid.columns; ++column) {
      grid.cells.push_back(console.cell(row, column));
    }
  }
  return grid;
}

std::string CurrentTestName() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  if (info == nullptr) return "unknown";
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  std::replace(name.begin(), name.end(), '/', '_');
  return name;
}

std::string JoinRows(const std::vector<std::string>& rows, std::string_view line_end) {
  std::string text;
  for (const std::string& row : rows) {
    text += row;
    text += line_end;
  }
  return text;
}

// Writes failed/<name>.txt in the current folder and returns its path.
std::string WriteFailedScreen(const std::string& name, const std::vector<std::string>& rows) {
  std::error_code error;
  std::filesystem::create_directories("failed", error);
  const std::string path = "failed/" + name + ".txt";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << JoinRows(rows, "\r\n");
  return path;
}

// Both screens with a '>' in front of each row that differs.
std::string Comparison(const std::vector<std::string>& actual,
                       const std::vector<std::string>& expected) {
  const size_t rows = std::max(actual.size(), expected.size());
  std::ostringstream out;
  auto print = [&](const char* title, const std::vector<std::string>& screen) {
    out << title << '\n';
    for (size_t row = 0; row < rows; ++row) {
      const bool differs =
          row >= actual.size() || row >= expected.size() || actual[row] != expected[row];
      out << (differs ? '>' : ' ') << std::setw(2) << row + 1 << ' ';
      out << (row < screen.size() ? "|" + screen[row] + "|" : std::string("(no row)")) << '\n';
    }
  };
  print("Expected screen:", expected);
  print("Actual screen:", actual);
  return out.str();
}

}  // namespace

std::vector<std::string> ScreenText(const console::Grid& grid) {
  std::vector<std::string> rows;
  for (int row = 0; row < grid.rows; ++row) rows.push_back(RowText(grid, row));
  return rows;
}

std::vector<std::string> ScreenText(const console::Console& console) {
  return ScreenText(GridOf(console));
}

void ExpectScreen(const console::Grid& grid, const std::vector<std::string>& expected) {
  const std::vector<std::string> actual = ScreenText(grid);
  if (actual == expected) return;
  const std::string path = WriteFailedScreen(CurrentTestName(), actual);
  ADD_FAILURE() << "The screen differs (written to " << path << ").\n"
                << Comparison(actual, expected);
}

void ExpectScreen(const console::Console& console, const std::vector<std::string>& expected) {
  ExpectScreen(GridOf(console), expected);
}

void ExpectGoldenScreen(const console::Console& console, const std::string& name) {
  const std::vector<std::string> actual = ScreenText(console);
  const std::string actual_text = JoinRows(actual, "\r\n");
  const std::filesystem::path golden =
      std::filesystem::path(__FILE__).parent_path() / "golden" / (name + ".txt");
  std::ifstream in(golden, std::ios::binary);
  std::ostringstream golden_text;
  if (in) golden_text << in.rdbuf();
  if (in && golden_text.str() == actual_text) return;

  std::error_code error;
  std::filesystem::create_directories("failed", error);
  const std::string path = "failed/" + name + ".txt";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << actual_text;
  if (!in) {
    ADD_FAILURE() << "No golden file " << golden << "; the screen was written to " << path << ":\n"
                  << JoinRows(actual, "\n");
    return;
  }
  std::vector<std::string> expected;
  std::string text = golden_text.str();
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    expected.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  ADD_FAILURE() << "The screen differs from " << golden << " (written to " << path << ").\n"
                << Comparison(actual, expected);
}

ScreenBuilder::ScreenBuilder(int rows, int columns) {
  grid_.rows = rows;
  grid_.columns = columns;
  grid_.cells.assign(static_cast<size_t>(rows * columns), console::Cell{U' ', kNormalAttribute});
}

ScreenBuilder& ScreenBuilder::Put(int row, int column, const std::string& text,
                                  std::uint8_t attribute) {
  int at = column - 1;
  for (char32_t character : DecodeUtf8(text)) {
    if (at >= grid_.columns) break;
    grid_.at(row - 1, at++) = console::Cell{character, attribute};
  }
  return *this;
}

std::u32string DecodeUtf8(const std::string& text) {
  std::u32string characters;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t character = length == 1   ? lead
                         : length == 2 ? lead & 0x1F
                         : length == 3 ? lead & 0x0F
                                       : lead & 0x07;
    for (int k = 1; k < length && i + k < text.size(); ++k) {
      character = (character << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    characters += character;
    i += length;
  }
  return characters;
}

std::string Rule(int count) {
  std::string rule;
  for (int i = 0; i < count; ++i) rule += "\u2500";
  return rule;
}

void PrepareViewScreen(console::Console& console) {
  std::setlocale(LC_ALL, "C.UTF-8");
  console.SetScreenSize(43, 66);
  console.SetColors(15, 1);
  console.ClearScreen();
}

}  // namespace test
