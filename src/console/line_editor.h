// The console's line editor, with which the operator types the answers of the first run:
// what is typed is echoed at the cursor, Backspace takes back the last character, other
// control characters and keys without a character are dropped, and Enter ends the line.
#ifndef STATEKEEPER_CONSOLE_LINE_EDITOR_H_
#define STATEKEEPER_CONSOLE_LINE_EDITOR_H_

#include <cstddef>
#include <string>

#include "console/console.h"

namespace console {

// The longest line the editor takes; further characters are dropped (Backspace still
// works).
inline constexpr std::size_t kMaxLineCharacters = 10000;

// Reads one line at the cursor of `console` (borrowed for the call) and returns it in the
// locale's encoding, a typed byte that starts no valid character as U+FFFD. The cursor is
// shown while the line is typed and as it was afterwards; the line ends at Enter, or when
// the input is gone, with the cursor at column 1 of the next row.
std::string ReadLine(Console& console);

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_LINE_EDITOR_H_
