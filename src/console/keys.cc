#include "console/keys.h"

#include <array>
#include <utility>

namespace console {
namespace {

constexpr char kEsc = 27;
// Longest escape sequence kept waiting for its end; anything longer is swallowed.
constexpr std::size_t kMaxSequence = 32;

enum Scan : unsigned char {
  kHome = 71,
  kUp = 72,
  kPageUp = 73,
  kLeft = 75,
  kRight = 77,
  kEnd = 79,
  kDown = 80,
  kPageDown = 81,
  kInsert = 82,
  kDelete = 83,
  kF1 = 59,
  kF5 = 63,
  kF6 = 64,
  kF10 = 68,
  kF11 = 133,
  kF12 = 134,
};

InputEvent KeyEvent(std::string key) {
  InputEvent event;
  event.key = std::move(key);
  return event;
}

InputEvent ExtendedKey(unsigned char scan_code) {
  return KeyEvent(std::string{'\0', static_cast<char>(scan_code)});
}

// The PC scan code of a letter key, 0 for anything else.
unsigned char LetterScanCode(char c) {
  static constexpr std::string_view kRows[] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
  static constexpr unsigned char kFirst[] = {16, 30, 44};
  if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  for (std::size_t row = 0; row < 3; ++row) {
    const std::size_t at = kRows[row].find(c);
    if (at != std::string_view::npos) return static_cast<unsigned char>(kFirst[row] + at);
  }
  return 0;
}

// The key of a CSI or SS3 sequence ending in a letter (\e[A, \eOA, \e[1;5A ...).
unsigned char LetterFinalScanCode(char final_byte) {
  switch (final_byte) {
    case 'A':
      return kUp;
    case 'B':
      return kDown;
    case 'C':
      return kRight;
    case 'D':
      return kLeft;
    case 'H':
      return kHome;
    case 'F':
      return kEnd;
    case 'P':
      return kF1;
    case 'Q':
      return kF1 + 1;
    case 'R':
      return kF1 + 2;
    case 'S':
      return kF1 + 3;
    default:
      return 0;
  }
}

// The key of a "\e[N~" sequence.
unsigned char TildeScanCode(int number) {
  switch (number) {
    case 1:
    case 7:
      return kHome;
    case 4:
    case 8:
      return kEnd;
    case 2:
      return kInsert;
    case 3:
      return kDelete;
    case 5:
      return kPageUp;
    case 6:
      return kPageDown;
    case 11:
    case 12:
    case 13:
    case 14:
      return static_cast<unsigned char>(kF1 + number - 11);
    case 15:
      return kF5;
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
      return static_cast<unsigned char>(kF6 + number - 17);
    case 23:
      return kF11;
    case 24:
      return kF12;
    default:
      return 0;
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Splits "b;x;y" into numbers; false unless it is exactly `count` decimal numbers.
template <std::size_t N>
bool ParseNumbers(std::string_view text, std::array<int, N>& numbers) {
  std::size_t index = 0;
  int value = 0;
  bool have_digit = false;
  for (char c : text) {
    if (IsDigit(c)) {
      if (value > 100000) return false;
      value = value * 10 + (c - '0');
      have_digit = true;
    } else if (c == ';' && have_digit && index + 1 < N) {
      numbers[index++] = value;
      value = 0;
      have_digit = false;
    } else {
      return false;
    }
  }
  if (!have_digit || index + 1 != N) return false;
  numbers[index] = value;
  return true;
}

// The leading number of CSI parameters ("5;3" -> 5), 1 when there is none, -1 when the
// parameters are not plain numbers.
int FirstParameter(std::string_view parameters) {
  if (parameters.empty() || parameters[0] == ';') return 1;
  int value = 0;
  for (char c : parameters) {
    if (c == ';') break;
    if (!IsDigit(c) || value > 1000) return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// How a mouse report says that a button went up: the SGR form says so in its final byte;
// the X10 form has a button number for "released" instead.
enum class ReleaseMark { kNone, kSgrRelease };

// A mouse event from the protocol's button number; nothing for the wheel and for the
// extra buttons, which the program does not use.
std::optional<InputEvent> MakeMouseEvent(int code, ReleaseMark release, int row, int column) {
  if (code & (64 | 128)) return std::nullopt;
  static constexpr int kButtons[] = {kMouseLeft, kMouseMiddle, kMouseRight, 0};
  InputEvent event;
  event.type = InputEvent::Type::kMouse;
  event.mouse_button = kButtons[code & 3];
  if (code & 32) {
    event.mouse_kind = kMouseMoved;
  } else if (release == ReleaseMark::kSgrRelease || event.mouse_button == 0) {
    event.mouse_kind = kMouseReleased;
  } else {
    event.mouse_kind = kMousePressed;
  }
  event.row = row;
  event.column = column;
  if (row < 1 || column < 1) return std::nullopt;
  return event;
}

}  // namespace

void KeyDecoder::Feed(std::string_view bytes, std::int64_t now_ms) {
  Drain(now_ms);
  // A CR LF pasted from a clipboard is one Enter, also when a read ends between the two.
  if (last_feed_ended_in_cr_ && now_ms - last_feed_ms_ < kEscapeTimeoutMs &&
      bytes.starts_with('\n')) {
    bytes.remove_prefix(1);
  }
  last_feed_ended_in_cr_ = bytes.ends_with('\r');
  pending_.append(bytes);
  last_feed_ms_ = now_ms;
  Drain(now_ms);
}

std::optional<InputEvent> KeyDecoder::Next(std::int64_t now_ms) {
  Drain(now_ms);
  if (ready_.empty()) return std::nullopt;
  InputEvent event = std::move(ready_.front());
  ready_.pop_front();
  return event;
}

std::optional<std::int64_t> KeyDecoder::Deadline() const {
  if (pending_.empty()) return std::nullopt;
  return last_feed_ms_ + kEscapeTimeoutMs;
}

void KeyDecoder::Drain(std::int64_t now_ms) {
  std::size_t start = 0;
  while (start < pending_.size()) {
    if (dropping_sequence_) {
      const auto b = static_cast<unsigned char>(pending_[start]);
      if (b >= 0x20 && b <= 0x7e) ++start;
      dropping_sequence_ = b >= 0x20 && b <= 0x3f;
      continue;
    }
    const std::string_view rest = std::string_view(pending_).substr(start);
    std::optional<Parsed> parsed = ParseOne(rest);
    if (!parsed) {
      if (now_ms - last_feed_ms_ < kEscapeTimeoutMs) break;
      parsed = ParseTimedOut(rest);
    }
    start += parsed->length;
    dropping_sequence_ = parsed->runaway;
    if (!parsed->event) continue;
    if (parsed->event->type == InputEvent::Type::kMouse) {
      QueueMouse(std::move(*parsed->event), last_feed_ms_);
    } else {
      ready_.push_back(std::move(*parsed->event));
    }
  }
  pending_.erase(0, start);
}

void KeyDecoder::QueueMouse(InputEvent event, std::int64_t now_ms) {
  if (event.mouse_kind == kMousePressed) {
    x10_pressed_button_ = event.mouse_button;
  } else if (event.mouse_kind == kMouseReleased && event.mouse_button == 0) {
    event.mouse_button = x10_pressed_button_;
  }
  if (event.mouse_kind == kMousePressed && event.mouse_button == kMouseLeft) {
    if (left_press_armed_ && now_ms - left_press_ms_ <= kDoubleClickMs &&
        event.row == left_press_row_ && event.column == left_press_column_) {
      event.mouse_kind = kMouseDoubleClick;
      left_press_armed_ = false;
    } else {
      left_press_armed_ = true;
      left_press_ms_ = now_ms;
      left_press_row_ = event.row;
      left_press_column_ = event.column;
    }
  }
  if (event.mouse_button == 0) return;  // a release or movement with no button known
  ready_.push_back(std::move(event));
}

std::optional<KeyDecoder::Parsed> KeyDecoder::ParseOne(std::string_view bytes) const {
  const char c = bytes[0];
  switch (c) {
    case kEsc:
      return ParseEscape(bytes);
    case '\r':  // a CR directly followed by an LF is one Enter
      return Parsed{bytes.starts_with("\r\n") ? 2U : 1U, KeyEvent("\r")};
    case '\n':
      return Parsed{1, KeyEvent("\r")};
    case 8:
    case 127:
      return Parsed{1, KeyEvent("\b")};
    case '\0':
      return Parsed{1, std::nullopt};  // would read as the start of an extended key
    default:
      break;
  }
  if (static_cast<unsigned char>(c) < 0x80 || encoding_ == InputEncoding::kSingleByte) {
    return Parsed{1, KeyEvent(std::string(1, c))};
  }
  return ParseUtf8(bytes);
}

KeyDecoder::Parsed KeyDecoder::ParseTimedOut(std::string_view bytes) {
  if (bytes[0] != kEsc) return Parsed{1, std::nullopt};  // a UTF-8 character cut short
  if (bytes.size() == 1) return Parsed{1, KeyEvent(std::string(1, kEsc))};
  if (bytes.size() == 2 && bytes[1] == 'O') return Parsed{2, ExtendedKey(LetterScanCode('o'))};
  if (bytes.size() == 2) return Parsed{1, KeyEvent(std::string(1, kEsc))};  // then the '['
  return Parsed{bytes.size(), std::nullopt};  // a sequence that never ended
}

std::optional<KeyDecoder::Parsed> KeyDecoder::ParseEscape(std::string_view bytes) const {
  if (bytes.size() < 2) return std::nullopt;
  const char second = bytes[1];
  if (second == '[') return ParseCsi(bytes);
  if (second == 'O') {
    if (bytes.size() < 3) return std::nullopt;
    const unsigned char scan = LetterFinalScanCode(bytes[2]);
    if (scan != 0) return Parsed{3, ExtendedKey(scan)};
    const auto third = static_cast<unsigned char>(bytes[2]);
    if (third >= 0x40 && third <= 0x7e) return Parsed{3, std::nullopt};  // unknown SS3 key
    return Parsed{2, ExtendedKey(LetterScanCode('o'))};                  // Alt+O, then more
  }
  const unsigned char scan = LetterScanCode(second);
  if (scan != 0) return Parsed{2, ExtendedKey(scan)};
  return Parsed{1, KeyEvent(std::string(1, kEsc))};  // Esc, then whatever follows
}

std::optional<KeyDecoder::Parsed> KeyDecoder::ParseCsi(std::string_view bytes) const {
  // bytes starts with ESC '['.
  if (bytes.size() < 3) return std::nullopt;
  if (bytes[2] == 'M') return ParseX10Mouse(bytes);
  if (bytes[2] == '[') {  // the Linux console's F1 to F5: \e[[A .. \e[[E
    if (bytes.size() < 4) return std::nullopt;
    const char letter = bytes[3];
    if (letter >= 'A' && letter <= 'E') {
      return Parsed{4, ExtendedKey(static_cast<unsigned char>(kF1 + (letter - 'A')))};
    }
    return Parsed{4, std::nullopt};
  }
  // Parameter bytes 0x30-0x3F, intermediate bytes 0x20-0x2F, one final byte 0x40-0x7E.
  std::size_t end = 2;
  while (end < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[end]);
    if (b >= 0x40 && b <= 0x7e) break;
    if (b < 0x20 || b > 0x3f) return Parsed{end, std::nullopt};  // broken off: drop it
    if (end >= kMaxSequence) return Parsed{end, std::nullopt, true};
    ++end;
  }
  if (end == bytes.size()) return std::nullopt;
  const std::size_t length = end + 1;
  const char final_byte = bytes[end];
  const std::string_view parameters = bytes.substr(2, end - 2);
  if (!parameters.empty() && parameters[0] == '<' && (final_byte == 'M' || final_byte == 'm')) {
    std::array<int, 3> numbers{};
    if (!ParseNumbers(parameters.substr(1), numbers)) return Parsed{length, std::nullopt};
    const ReleaseMark release = final_byte == 'm' ? ReleaseMark::kSgrRelease : ReleaseMark::kNone;
    return Parsed{length, MakeMouseEvent(numbers[0], release, numbers[2], numbers[1])};
  }
  const int first = FirstParameter(parameters);
  if (first < 0) return Parsed{length, std::nullopt};  // private or intermediate bytes
  if (final_byte == '~') {
    const unsigned char scan = TildeScanCode(first);
    if (scan != 0) return Parsed{length, ExtendedKey(scan)};
    return Parsed{length, std::nullopt};
  }
  const unsigned char scan = LetterFinalScanCode(final_byte);
  if (scan != 0 && first == 1) return Parsed{length, ExtendedKey(scan)};
  return Parsed{length, std::nullopt};
}

std::optional<KeyDecoder::Parsed> KeyDecoder::ParseX10Mouse(std::string_view bytes) const {
  // ESC [ M, then button, column and row, each 32 more than its value (cells from 1).
  if (bytes.size() < 6) return std::nullopt;
  const int code = static_cast<unsigned char>(bytes[3]) - 32;
  const int column = static_cast<unsigned char>(bytes[4]) - 32;
  const int row = static_cast<unsigned char>(bytes[5]) - 32;
  if (code < 0) return Parsed{6, std::nullopt};
  return Parsed{6, MakeMouseEvent(code, ReleaseMark::kNone, row, column)};
}

std::optional<KeyDecoder::Parsed> KeyDecoder::ParseUtf8(std::string_view bytes) const {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xbf;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;   // no overlong forms
    if (lead == 0xed) high = 0x9f;  // no surrogates
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;  // nothing above U+10FFFF
  } else {
    return Parsed{1, std::nullopt};  // a stray continuation byte or an invalid lead
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (i >= bytes.size()) return std::nullopt;
    const auto b = static_cast<unsigned char>(bytes[i]);
    const unsigned char min = i == 1 ? low : 0x80;
    const unsigned char max = i == 1 ? high : 0xbf;
    if (b < min || b > max) return Parsed{i, std::nullopt};  // drop the broken part
  }
  return Parsed{length, KeyEvent(std::string(bytes.substr(0, length)))};
}

}  // namespace console
