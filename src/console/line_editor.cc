#include "console/line_editor.h"

#include "console/text.h"

namespace console {

std::string ReadLine(Console& console) {
  const bool was_visible = console.cursor_visible();
  console.SetCursorVisible(true);
  std::u32string line;
  for (;;) {
    const std::string key = console.ReadKey();
    // The input is gone (the terminal hung up): the line ends here instead of spinning.
    if (key.empty()) break;
    if (key[0] == '\0') continue;  // a key without a character
    const char32_t character = DecodeFirstCharacter(key).character;
    if (character == static_cast<char32_t>(kKeyEnter)) break;
    if (character == static_cast<char32_t>(kKeyBackspace)) {
      if (line.empty()) continue;
      line.pop_back();
      console.EraseBackward();
      continue;
    }
    // Control characters (DEL among them) are not text.
    if (character < 32 || character == 127) continue;
    if (line.size() >= kMaxLineCharacters) continue;
    console.WriteCharacter(character);
    line.push_back(character);
  }
  console.EndLine();
  console.SetCursorVisible(was_visible);
  return EncodeText(line);
}

}  // namespace console
