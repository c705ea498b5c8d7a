// A small program for the console's end-to-end tests: it sets the console up as the real
// program does (title, 43 x 66, Normal colours, hidden cursor, left-button presses and
// double-clicks), draws a known screen (among it a panel in black on bright white, as the
// country pager draws its lists) and shows every Key string it reads in hex on row 10,
// numbered, until it reads "q". "l" reads a line with the line editor and shows it on
// row 12.
#include <clocale>
#include <memory>
#include <string>

#include "console/backend_ncurses.h"
#include "console/console.h"
#include "console/line_editor.h"

namespace {

std::string Hex(const std::string& key) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const char c : key) {
    const auto byte = static_cast<unsigned char>(c);
    if (!text.empty()) text += ' ';
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text.empty() ? "(none)" : text;
}

void WriteRow(console::Console& console, int row, const std::string& text) {
  console.MoveCursor(row, 1);
  std::string padded = text;
  if (padded.size() < 66) padded.resize(66, ' ');
  console.WriteText(padded.substr(0, 66));
}

void DrawScreen(console::Console& console) {
  console.SetColors(15, 1);
  console.ClearScreen();
  console.WriteText("Console driver");
  console.MoveCursor(2, 2);
  console.WriteText(console::HorizontalRule(63));
  // Row 3: the sixteen foreground colours on blue; row 4: the sixteen backgrounds under
  // bright white; row 5 text that is not ASCII.
  for (int colour = 0; colour < 16; ++colour) {
    console.MoveCursor(3, 1 + colour);
    console.SetColors(colour, 1);
    console.WriteText(std::string(1, "0123456789ABCDEF"[colour]));
    console.MoveCursor(4, 1 + colour);
    console.SetColors(15, colour);
    console.WriteText("#");
  }
  console.SetColors(14, 4);
  console.MoveCursor(5, 1);
  console.WriteText("K\xc3\xa9 \xe2\x82\xac");
  // Rows 6 to 8, columns 3 to 32: numbered names padded with blanks to the panel's width.
  console.SetColors(0, 15);
  const char* const kNames[] = {"AFGHANISTAN", "ALAND ISLANDS", "ALASKA"};
  for (int entry = 1; entry <= 3; ++entry) {
    std::string line = "  " + std::to_string(entry) + " " + kNames[entry - 1];
    line.resize(30, ' ');
    console.MoveCursor(5 + entry, 3);
    console.WriteText(line);
  }
  console.SetColors(15, 1);
  console.MoveCursor(43, 1);
  console.WriteText(std::string(66, '.'));  // the bottom row, with no scroll
  console.MoveCursor(43, 1);
  console.WriteText("bottom");
}

}  // namespace

int main() {
  std::setlocale(LC_ALL, "");
  base::Error error;
  const std::unique_ptr<console::TerminalBackend> backend = console::TerminalBackend::Create(error);
  if (!backend) return 1;
  console::Console console(*backend);
  console.SelectPage(1, 1);
  console.SetTitle("Console Driver");
  console.SetScreenSize(43, 66);
  console.SetCursorVisible(false);
  console.EnableMouse(console::kMouseLeft, console::kMousePressed + console::kMouseDoubleClick);
  DrawScreen(console);
  int count = 0;
  for (;;) {
    const std::string key = console.WaitKey(0);
    ++count;
    std::string line = "#" + std::to_string(count) + " " + Hex(key);
    if (console::IsMouseEvent(key)) {
      line += " at " + std::to_string(console.mouse_position().row) + "," +
              std::to_string(console.mouse_position().column);
    }
    console.SetColors(15, 1);
    WriteRow(console, 10, line);
    if (key == "q") break;
    if (key == "l") {
      console.MoveCursor(11, 1);
      const std::string typed = console::ReadLine(console);
      WriteRow(console, 12, "line [" + typed + "]");
    }
  }
  console.SetColors(7, 0);
  console.ClearScreen();
  console.Flush();
  return 0;
}
